#include <gtest/gtest.h>

#include "position/CPositionPassThrough.h"
#include "position/PositionFakes.h"

namespace {

constexpr HRESULT kUpstreamResult = static_cast<HRESULT>(0x00040123);

class PassThroughTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CTrackedObject::LiveObjectCount(), 0);
    HRESULT hr = S_OK;
    m_object = new CPositionPassThrough("CPositionPassThrough", nullptr, &hr, &m_pin);
    EXPECT_EQ(hr, S_OK);
    m_object->InnerUnknown()->AddRef();
    ASSERT_EQ(
        m_object->InnerQueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_seeking)),
        S_OK);
    ASSERT_EQ(
        m_object->InnerQueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&m_position)),
        S_OK);
  }
  void TearDown() override {
    m_seeking->Release();
    m_position->Release();
    EXPECT_EQ(m_object->InnerUnknown()->Release(), 0u);
    EXPECT_EQ(CTrackedObject::LiveObjectCount(), 0);
    // Every upstream reference taken for a call was given back.
    EXPECT_EQ(m_upstream.references, 1);
    EXPECT_EQ(m_pin.references, 1);
  }

  void Connect() { m_pin.peer = &m_upstream; }

  ForwardingPin m_pin;
  RecordingUpstreamPin m_upstream;
  CPositionPassThrough* m_object = nullptr;
  IMediaSeeking* m_seeking = nullptr;
  IMediaPosition* m_position = nullptr;
};

TEST_F(PassThroughTest, SeekingQueriesReachTheUpstreamPinWithTheirResults) {
  Connect();
  DWORD capabilities = 0;
  EXPECT_EQ(m_seeking->GetCapabilities(&capabilities), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "GetCapabilities");
  EXPECT_EQ(capabilities, 0x25u);

  capabilities = 0x07;
  EXPECT_EQ(m_seeking->CheckCapabilities(&capabilities), kUpstreamResult);
  EXPECT_EQ(m_upstream.seenDword, 0x07u);
  EXPECT_EQ(capabilities, 0x01u);

  GUID format = {};
  EXPECT_EQ(m_seeking->QueryPreferredFormat(&format), kUpstreamResult);
  EXPECT_TRUE(IsEqualGUID(format, TIME_FORMAT_FRAME));
  EXPECT_EQ(m_seeking->GetTimeFormat(&format), kUpstreamResult);
  EXPECT_TRUE(IsEqualGUID(format, TIME_FORMAT_BYTE));

  LONGLONG value = 0;
  EXPECT_EQ(m_seeking->GetDuration(&value), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "GetDuration");
  EXPECT_EQ(value, 123456789012LL);
  EXPECT_EQ(m_seeking->GetStopPosition(&value), kUpstreamResult);
  EXPECT_EQ(value, -7);
  EXPECT_EQ(m_seeking->GetCurrentPosition(&value), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "GetCurrentPosition");
  EXPECT_EQ(value, 0x7FFFFFFFFFFFFFFFLL);
  EXPECT_EQ(m_seeking->GetPreroll(&value), kUpstreamResult);
  EXPECT_EQ(value, 5000);

  LONGLONG current = 0;
  LONGLONG stop = 0;
  EXPECT_EQ(m_seeking->GetPositions(&current, &stop), kUpstreamResult);
  EXPECT_EQ(current, 11);
  EXPECT_EQ(stop, 22);
  EXPECT_EQ(m_seeking->GetAvailable(&current, &stop), kUpstreamResult);
  EXPECT_EQ(current, -1);
  EXPECT_EQ(stop, 99);

  double rate = 0.0;
  EXPECT_EQ(m_seeking->GetRate(&rate), kUpstreamResult);
  EXPECT_EQ(rate, 1.25);
  // One ConnectedTo per call: nothing upstream is remembered between calls.
  EXPECT_EQ(m_pin.connectedToCalls, m_upstream.calls);
}

TEST_F(PassThroughTest, SeekingCommandsPassTheirArgumentsUnchanged) {
  Connect();
  EXPECT_EQ(m_seeking->IsFormatSupported(&TIME_FORMAT_SAMPLE), kUpstreamResult);
  EXPECT_EQ(m_upstream.seenFormat, &TIME_FORMAT_SAMPLE);
  EXPECT_EQ(m_seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "IsUsingTimeFormat");
  EXPECT_EQ(m_upstream.seenFormat, &TIME_FORMAT_MEDIA_TIME);
  EXPECT_EQ(m_seeking->SetTimeFormat(&TIME_FORMAT_FRAME), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "SetTimeFormat");
  EXPECT_EQ(m_upstream.seenFormat, &TIME_FORMAT_FRAME);

  LONGLONG target = 0;
  EXPECT_EQ(m_seeking->ConvertTimeFormat(&target, &TIME_FORMAT_FRAME, -4000000000LL,
                                         &TIME_FORMAT_MEDIA_TIME),
            kUpstreamResult);
  EXPECT_EQ(m_upstream.seenFormat, &TIME_FORMAT_FRAME);
  EXPECT_EQ(m_upstream.seenSecondFormat, &TIME_FORMAT_MEDIA_TIME);
  EXPECT_EQ(m_upstream.seenLonglong, -4000000000LL);
  EXPECT_EQ(target, -8000000000LL);

  LONGLONG current = 10;
  LONGLONG stop = 20;
  EXPECT_EQ(m_seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop,
                                    AM_SEEKING_NoPositioning | AM_SEEKING_ReturnTime),
            kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "SetPositions");
  EXPECT_EQ(m_upstream.seenPointer, &current);
  EXPECT_EQ(m_upstream.seenSecondPointer, &stop);
  EXPECT_EQ(m_upstream.seenDword, static_cast<DWORD>(AM_SEEKING_AbsolutePositioning));
  EXPECT_EQ(m_upstream.seenSecondDword, static_cast<DWORD>(AM_SEEKING_ReturnTime));

  EXPECT_EQ(m_seeking->SetRate(-0.5), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "SetRate");
  EXPECT_EQ(m_upstream.seenDouble, -0.5);
}

TEST_F(PassThroughTest, PositionMethodsReachTheUpstreamPin) {
  Connect();
  REFTIME time = 0.0;
  EXPECT_EQ(m_position->get_Duration(&time), kUpstreamResult);
  EXPECT_EQ(time, 90.5);
  EXPECT_EQ(m_position->get_CurrentPosition(&time), kUpstreamResult);
  EXPECT_EQ(time, 12.75);
  EXPECT_EQ(m_position->get_StopTime(&time), kUpstreamResult);
  EXPECT_EQ(time, 80.0);
  EXPECT_EQ(m_position->get_PrerollTime(&time), kUpstreamResult);
  EXPECT_EQ(time, 0.5);
  EXPECT_EQ(m_position->get_Rate(&time), kUpstreamResult);
  EXPECT_EQ(time, -2.0);

  EXPECT_EQ(m_position->put_CurrentPosition(3.5), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "put_CurrentPosition");
  EXPECT_EQ(m_upstream.seenDouble, 3.5);
  EXPECT_EQ(m_position->put_StopTime(7.25), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "put_StopTime");
  EXPECT_EQ(m_upstream.seenDouble, 7.25);
  EXPECT_EQ(m_position->put_PrerollTime(0.125), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "put_PrerollTime");
  EXPECT_EQ(m_upstream.seenDouble, 0.125);
  EXPECT_EQ(m_position->put_Rate(2.0), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "put_Rate");
  EXPECT_EQ(m_upstream.seenDouble, 2.0);

  LONG canSeek = OATRUE;
  EXPECT_EQ(m_position->CanSeekForward(&canSeek), kUpstreamResult);
  EXPECT_EQ(canSeek, OAFALSE);
  canSeek = OATRUE;
  EXPECT_EQ(m_position->CanSeekBackward(&canSeek), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "CanSeekBackward");
  EXPECT_EQ(canSeek, OAFALSE);
}

TEST_F(PassThroughTest, UpstreamFailuresComeBackUnchanged) {
  Connect();
  m_upstream.result = VFW_E_WRONG_STATE;
  LONGLONG value = 0;
  EXPECT_EQ(m_seeking->GetDuration(&value), VFW_E_WRONG_STATE);
  EXPECT_EQ(m_position->put_CurrentPosition(1.0), VFW_E_WRONG_STATE);
}

TEST_F(PassThroughTest, UnconnectedPinAnswersNotImplementedAndLeavesOutputsAlone) {
  LONGLONG value = 42;
  DWORD capabilities = 42;
  REFTIME time = 4.2;
  LONG canSeek = 42;
  EXPECT_EQ(m_seeking->GetCapabilities(&capabilities), E_NOTIMPL);
  EXPECT_EQ(m_seeking->GetDuration(&value), E_NOTIMPL);
  EXPECT_EQ(m_seeking->GetCurrentPosition(&value), E_NOTIMPL);
  EXPECT_EQ(m_seeking->SetPositions(&value, 0, &value, 0), E_NOTIMPL);
  EXPECT_EQ(m_seeking->SetRate(1.0), E_NOTIMPL);
  EXPECT_EQ(m_position->get_Duration(&time), E_NOTIMPL);
  EXPECT_EQ(m_position->put_Rate(1.0), E_NOTIMPL);
  EXPECT_EQ(m_position->CanSeekForward(&canSeek), E_NOTIMPL);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(capabilities, 42u);
  EXPECT_EQ(time, 4.2);
  EXPECT_EQ(canSeek, 42);
  EXPECT_EQ(m_upstream.calls, 0);
}

TEST_F(PassThroughTest, UpstreamWithoutTheInterfaceAnswersNotImplemented) {
  Connect();
  m_upstream.offersSeeking = false;
  LONGLONG value = 0;
  EXPECT_EQ(m_seeking->GetDuration(&value), E_NOTIMPL);
  REFTIME time = 0.0;
  EXPECT_EQ(m_position->get_Duration(&time), kUpstreamResult);

  m_upstream.offersSeeking = true;
  m_upstream.offersPosition = false;
  EXPECT_EQ(m_position->get_Duration(&time), E_NOTIMPL);
  EXPECT_EQ(m_seeking->GetDuration(&value), kUpstreamResult);
}

TEST_F(PassThroughTest, ReconnectionUpstreamNeedsNothingHere) {
  LONGLONG value = 0;
  EXPECT_EQ(m_seeking->GetDuration(&value), E_NOTIMPL);
  Connect();
  EXPECT_EQ(m_seeking->GetDuration(&value), kUpstreamResult);
  m_pin.peer = nullptr;
  EXPECT_EQ(m_seeking->GetDuration(&value), E_NOTIMPL);
}

TEST_F(PassThroughTest, RateZeroIsRefusedWithoutAskingUpstream) {
  Connect();
  EXPECT_EQ(m_seeking->SetRate(0.0), E_INVALIDARG);
  EXPECT_EQ(m_seeking->SetRate(-0.0), E_INVALIDARG);
  EXPECT_EQ(m_position->put_Rate(0.0), E_INVALIDARG);
  EXPECT_EQ(m_position->put_Rate(-0.0), E_INVALIDARG);
  EXPECT_EQ(m_upstream.calls, 0);
  EXPECT_EQ(m_pin.connectedToCalls, 0);

  m_pin.peer = nullptr;
  EXPECT_EQ(m_seeking->SetRate(0.0), E_INVALIDARG);
  EXPECT_EQ(m_position->put_Rate(-0.0), E_INVALIDARG);
}

TEST_F(PassThroughTest, CurrentPositionIsForwardedBecauseTheOwnTimeIsUnknown) {
  LONGLONG current = 0;
  EXPECT_EQ(m_object->CurrentMediaTime(&current, nullptr), E_FAIL);
  Connect();
  EXPECT_EQ(m_seeking->GetCurrentPosition(&current), kUpstreamResult);
  EXPECT_EQ(m_upstream.lastCall, "GetCurrentPosition");
}

// A filter that knows where it is answers the current position itself.
class CKnowsItsTime : public CPositionPassThrough {
 public:
  CKnowsItsTime(HRESULT* hr, IPin* pin) : CPositionPassThrough("CKnowsItsTime", nullptr, hr, pin) {}
  HRESULT CurrentMediaTime(LONGLONG* current, LONGLONG* stop) override {
    *current = 777;
    return S_OK;
  }
};

TEST(PassThroughHook, OwnCurrentTimeAnswersWithoutTheUpstream) {
  ForwardingPin pin;
  RecordingUpstreamPin upstream;
  pin.peer = &upstream;
  HRESULT hr = S_OK;
  auto* object = new CKnowsItsTime(&hr, &pin);
  object->InnerUnknown()->AddRef();
  LONGLONG current = 0;
  EXPECT_EQ(object->GetCurrentPosition(&current), S_OK);
  EXPECT_EQ(current, 777);
  EXPECT_EQ(upstream.calls, 0);
  LONGLONG duration = 0;
  EXPECT_EQ(object->GetDuration(&duration), kUpstreamResult);
  object->InnerUnknown()->Release();
  EXPECT_EQ(upstream.references, 1);
}

TEST_F(PassThroughTest, AnswersSeekingPositionAndIdentityButNotDispatch) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(m_object->InnerQueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(m_object->InnerQueryInterface(IID_IMediaSeeking, nullptr), E_POINTER);

  IUnknown* identity = nullptr;
  ASSERT_EQ(m_seeking->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, m_object->InnerUnknown());
  IMediaPosition* position = nullptr;
  ASSERT_EQ(m_seeking->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)),
            S_OK);
  EXPECT_EQ(position, m_position);
  IMediaSeeking* seeking = nullptr;
  ASSERT_EQ(m_position->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)),
            S_OK);
  EXPECT_EQ(seeking, m_seeking);
  seeking->Release();
  position->Release();
  identity->Release();
}

TEST(PassThroughConstruction, NullPinIsReportedAndEveryCallStaysSafe) {
  HRESULT hr = S_OK;
  auto* object = new CPositionPassThrough("CPositionPassThrough", nullptr, &hr, nullptr);
  EXPECT_EQ(hr, E_POINTER);
  object->InnerUnknown()->AddRef();
  LONGLONG value = 0;
  EXPECT_EQ(object->GetDuration(&value), E_NOTIMPL);
  EXPECT_EQ(object->put_CurrentPosition(1.0), E_NOTIMPL);
  EXPECT_EQ(object->SetRate(0.0), E_INVALIDARG);
  EXPECT_EQ(object->InnerUnknown()->Release(), 0u);
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), 0);
}

}  // namespace
