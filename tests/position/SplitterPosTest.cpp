#include <gtest/gtest.h>

#include "com/CountingUnknown.h"
#include "position/CCpkSplitterPos.h"
#include "position/PositionFakes.h"

namespace {

class SplitterPosTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CTrackedObject::LiveObjectCount(), 0);
    HRESULT hr = S_OK;
    m_object = new CCpkSplitterPos(&m_filter, &hr, &m_inputPin, m_movie);
    ASSERT_EQ(hr, S_OK);
  }
  void TearDown() override {
    // The filter deletes its position object directly, whatever its own count.
    delete m_object;
    EXPECT_EQ(CTrackedObject::LiveObjectCount(), 0);
    EXPECT_EQ(m_filter.references, 0);
    EXPECT_EQ(m_upstream.references, 1);
  }

  IMediaPosition* Position() {
    IMediaPosition* position = nullptr;
    EXPECT_EQ(
        m_object->InnerQueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)),
        S_OK);
    return position;
  }

  REFTIME DurationFor(REFERENCE_TIME units) {
    m_movie.duration = units;
    REFTIME duration = -1.0;
    EXPECT_EQ(m_object->get_Duration(&duration), S_OK);
    return duration;
  }

  CountingUnknown m_filter;
  ForwardingPin m_inputPin;
  RecordingUpstreamPin m_upstream;
  FakeMovieSeeking m_movie;
  CCpkSplitterPos* m_object = nullptr;
};

// The splitter's own duration, the one its pins report, in seconds; a
// movie without a measurable length lasts no time.
TEST_F(SplitterPosTest, DurationIsTheFiltersInSeconds) {
  EXPECT_EQ(DurationFor(25000000), 2.5);
  EXPECT_EQ(DurationFor(0), 0.0);
  EXPECT_EQ(DurationFor(21474836480000000LL), 2147483648.0);
  EXPECT_EQ(DurationFor(42949672950000000LL), 4294967295.0);
  EXPECT_EQ(DurationFor(1), 1e-7);
  // The upstream is never asked, even when it could answer.
  m_inputPin.peer = &m_upstream;
  EXPECT_EQ(DurationFor(50000000), 5.0);
  EXPECT_EQ(m_upstream.calls, 0);
}

// Seconds become 100-ns units to the nearest unit, halves away from zero,
// for the start and the stop alike.
TEST_F(SplitterPosTest, PositionsInSecondsRoundToTheNearestUnit) {
  const struct {
    REFTIME seconds;
    REFERENCE_TIME units;
  } cases[] = {
      {1.23456789, 12345679}, {1.5e-7, 2}, {1.4e-7, 1}, {-1.23456789, -12345679}, {0.3, 3000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(m_object->put_CurrentPosition(c.seconds), S_OK);
    EXPECT_EQ(m_movie.segmentStart, c.units);
    EXPECT_EQ(m_object->put_StopTime(c.seconds), S_OK);
    EXPECT_EQ(m_movie.segmentStop, c.units);
  }
}

TEST_F(SplitterPosTest, NullOutPointersAreRefused) {
  EXPECT_EQ(m_object->get_Duration(nullptr), E_POINTER);
  EXPECT_EQ(m_object->CanSeekForward(nullptr), E_POINTER);
  EXPECT_EQ(m_object->CanSeekBackward(nullptr), E_POINTER);
}

TEST_F(SplitterPosTest, SeeksBothWaysWhateverTheUpstreamSays) {
  LONG forward = 0;
  LONG backward = 0;
  EXPECT_EQ(m_object->CanSeekForward(&forward), S_OK);
  EXPECT_EQ(m_object->CanSeekBackward(&backward), S_OK);
  EXPECT_EQ(forward, OATRUE);
  EXPECT_EQ(backward, OATRUE);

  m_inputPin.peer = &m_upstream;  // which answers OAFALSE
  forward = backward = 0;
  EXPECT_EQ(m_object->CanSeekForward(&forward), S_OK);
  EXPECT_EQ(m_object->CanSeekBackward(&backward), S_OK);
  EXPECT_EQ(forward, OATRUE);
  EXPECT_EQ(backward, OATRUE);
  EXPECT_EQ(m_upstream.calls, 0);
}

TEST_F(SplitterPosTest, OtherRequestsGoThroughTheInputPin) {
  REFTIME time = 0.0;
  EXPECT_EQ(m_object->get_PrerollTime(&time), E_NOTIMPL);
  LONGLONG duration = 0;
  EXPECT_EQ(m_object->GetDuration(&duration), E_NOTIMPL);

  m_inputPin.peer = &m_upstream;
  // IMediaSeeking's duration is the upstream's, not the splitter's.
  m_movie.duration = 10000000;
  EXPECT_EQ(m_object->GetDuration(&duration), static_cast<HRESULT>(0x00040123));
  EXPECT_EQ(duration, 123456789012LL);
  EXPECT_EQ(m_upstream.calls, 1);
}

TEST_F(SplitterPosTest, ReferencesCountOnTheFilter) {
  IMediaPosition* position = Position();
  ASSERT_NE(position, nullptr);
  EXPECT_EQ(m_filter.references, 1);
  position->AddRef();
  EXPECT_EQ(m_filter.references, 2);

  // QueryInterface through the interface is the filter's to answer.
  IUnknown* identity = nullptr;
  EXPECT_EQ(position->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&m_filter));
  EXPECT_EQ(m_filter.references, 3);
  IMediaSeeking* seeking = nullptr;
  EXPECT_EQ(position->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)),
            E_NOINTERFACE);
  EXPECT_EQ(seeking, nullptr);

  identity->Release();
  position->Release();
  position->Release();
  EXPECT_EQ(m_filter.references, 0);
  // Still alive: only the filter's destructor ends it.
  REFTIME duration = -1.0;
  EXPECT_EQ(position->get_Duration(&duration), S_OK);
}

TEST(SplitterPosConstruction, WithoutAnInputPinTheFailureIsReported) {
  CountingUnknown filter;
  HRESULT hr = S_OK;
  FakeMovieSeeking movie;
  auto* object = new CCpkSplitterPos(&filter, &hr, nullptr, movie);
  EXPECT_EQ(hr, E_POINTER);
  REFTIME time = 0.0;
  EXPECT_EQ(object->get_PrerollTime(&time), E_NOTIMPL);
  EXPECT_EQ(object->get_Duration(&time), S_OK);
  delete object;
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), 0);
}

}  // namespace
