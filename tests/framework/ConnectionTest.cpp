// The connection protocol: type negotiation, the two-sided handshake, undo
// after failure, and the pin queries that depend on the connection.
#include <atomic>
#include <thread>

#include "framework/FrameworkTestKit.h"

namespace {

// An input pin that offers no memory transport.
class PinWithoutTransport : public RecordingInputPin {
 public:
  explicit PinWithoutTransport(TestFilterBase* owner) : RecordingInputPin(owner, WIDE("Bare")) {}
  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && IsEqualGUID(riid, IID_IMemInputPin)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return RecordingInputPin::InnerQueryInterface(riid, ppv);
  }
};

class ConnectionTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    source = Make<TestSourceFilter>();
    sink = Make<RecordingSinkFilter>();
    output = source->Output();
    input = sink->Input();
    sourceCount = source->ReferenceCount();
    sinkCount = sink->ReferenceCount();
  }
  void TearDown() override {
    source->Stop();
    sink->Stop();
    static_cast<IPin*>(output)->Disconnect();
    static_cast<IPin*>(input)->Disconnect();
    source.Reset();
    sink.Reset();
    FrameworkTest::TearDown();
  }

  // Both pins unconnected, neither holding a reference on the other filter.
  void ExpectNothingKept() {
    IPin* peer = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(static_cast<IPin*>(output)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    EXPECT_EQ(static_cast<IPin*>(input)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(output->PeerInput(), nullptr);
    EXPECT_EQ(output->Allocator(), nullptr);
    EXPECT_EQ(source->ReferenceCount(), sourceCount);
    EXPECT_EQ(sink->ReferenceCount(), sinkCount);
  }

  HRESULT ConnectWith(const AM_MEDIA_TYPE* type) { return Connect(source.Get(), sink.Get(), type); }

  CComHolder<TestSourceFilter> source;
  CComHolder<RecordingSinkFilter> sink;
  TestOutputPin* output = nullptr;
  RecordingInputPin* input = nullptr;
  LONG sourceCount = 0;
  LONG sinkCount = 0;
};

TEST_F(ConnectionTest, CompleteTypeMakesExactlyOneAttemptWithoutAskingForTypeLists) {
  input->offeredTypes = {VideoA(), VideoB()};
  output->offeredTypes = {AudioPcm()};
  CMediaTypeRecord complete = AudioPcm();

  EXPECT_EQ(ConnectWith(&complete), S_OK);
  EXPECT_EQ(output->enumMediaTypesCalls, 0);
  EXPECT_EQ(input->enumMediaTypesCalls, 0);
  ASSERT_EQ(output->testedTypes.size(), 1u);
  ASSERT_EQ(input->testedTypes.size(), 1u);
  EXPECT_TRUE(SameTypes(input->testedTypes[0], complete));

  IPin* peer = nullptr;
  EXPECT_EQ(static_cast<IPin*>(output)->ConnectedTo(&peer), S_OK);
  EXPECT_EQ(peer, static_cast<IPin*>(input));
  peer->Release();
  // The source holds the sink's IPin and its IMemInputPin.
  EXPECT_EQ(sink->ReferenceCount(), sinkCount + 2);
  EXPECT_EQ(source->ReferenceCount(), sourceCount + 1);

  AM_MEDIA_TYPE agreed;
  EXPECT_EQ(static_cast<IPin*>(input)->ConnectionMediaType(&agreed), S_OK);
  EXPECT_TRUE(SameTypes(agreed, complete));
  EXPECT_NE(agreed.pbFormat, complete.pbFormat);  // a copy the caller owns
  ReleaseMediaTypeContents(agreed);
}

TEST_F(ConnectionTest, RefusedCompleteTypeFailsWithoutTryingOthers) {
  output->offeredTypes = {VideoA()};
  input->typeTest = [](const AM_MEDIA_TYPE&) { return S_FALSE; };
  CMediaTypeRecord complete = AudioPcm();
  EXPECT_EQ(ConnectWith(&complete), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(input->testedTypes.size(), 1u);
  EXPECT_EQ(output->enumMediaTypesCalls, 0);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, PatternWalksReceiverTypesBeforeOwnAndSkipsNonMatching) {
  input->offeredTypes = {AudioPcm(), VideoA(), StreamType()};
  output->offeredTypes = {VideoB(), AudioPcm()};
  output->typeTest = [](const AM_MEDIA_TYPE&) { return S_FALSE; };
  CMediaTypeRecord pattern(&MEDIATYPE_Video);  // format type GUID_NULL: a pattern

  EXPECT_EQ(ConnectWith(&pattern), VFW_E_NO_ACCEPTABLE_TYPES);
  ASSERT_EQ(output->testedTypes.size(), 2u);
  EXPECT_TRUE(SameTypes(output->testedTypes[0], VideoA()));
  EXPECT_TRUE(SameTypes(output->testedTypes[1], VideoB()));
  EXPECT_EQ(input->enumMediaTypesCalls, 1);
  EXPECT_EQ(output->enumMediaTypesCalls, 1);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, NoTypeTriesEveryTypeAndConnectsWithTheFirstAccepted) {
  input->offeredTypes = {AudioPcm(), VideoA()};
  output->offeredTypes = {VideoB()};
  input->typeTest = [](const AM_MEDIA_TYPE& type) {
    return SameTypes(type, VideoB()) ? S_OK : E_FAIL;
  };
  EXPECT_EQ(ConnectWith(nullptr), S_OK);
  ASSERT_EQ(input->testedTypes.size(), 3u);
  EXPECT_TRUE(SameTypes(input->testedTypes[0], AudioPcm()));
  EXPECT_TRUE(SameTypes(input->testedTypes[1], VideoA()));
  EXPECT_TRUE(SameTypes(output->ConnectionType(), VideoB()));
  EXPECT_EQ(sink->ReferenceCount(), sinkCount + 2);
}

TEST_F(ConnectionTest, PatternWithFormatTypeRequiresTheSameFormatBlock) {
  input->offeredTypes = {VideoA(), VideoB()};
  CMediaTypeRecord pattern = VideoB();
  pattern.majortype = GUID_NULL;  // still a pattern, but its format must match
  EXPECT_EQ(ConnectWith(&pattern), S_OK);
  ASSERT_EQ(output->testedTypes.size(), 1u);
  EXPECT_TRUE(SameTypes(output->testedTypes[0], VideoB()));
}

TEST_F(ConnectionTest, OnlyPlainRefusalsGiveNoAcceptableTypes) {
  input->offeredTypes = {AudioPcm(), VideoA()};
  input->typeTest = [](const AM_MEDIA_TYPE& type) {
    return SameTypes(type, AudioPcm()) ? E_INVALIDARG : S_FALSE;
  };
  EXPECT_EQ(ConnectWith(nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_EQ(input->testedTypes.size(), 2u);
  EXPECT_EQ(input->releasePeerCalls, 2);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, FirstSpecificErrorIsReported) {
  input->offeredTypes = {AudioPcm(), VideoA(), StreamType()};
  output->offeredTypes = {VideoB()};
  input->typeTest = [](const AM_MEDIA_TYPE& type) {
    if (SameTypes(type, VideoA())) {
      return E_OUTOFMEMORY;
    }
    return SameTypes(type, StreamType()) ? E_ABORT : S_FALSE;
  };
  EXPECT_EQ(ConnectWith(nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(input->testedTypes.size(), 4u);
  ExpectNothingKept();

  // A specific error from the pin's own list does not replace it either.
  output->offeredTypes = {VideoB(), StreamType()};
  EXPECT_EQ(ConnectWith(nullptr), E_OUTOFMEMORY);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, FailedAllocatorNegotiationDisconnectsTheReceiver) {
  input->offeredTypes = {AudioPcm(), VideoA()};
  output->sizeBuffersResult = E_OUTOFMEMORY;
  EXPECT_EQ(ConnectWith(nullptr), E_OUTOFMEMORY);
  // Each type reached the receiver, which was connected and then let go.
  EXPECT_EQ(input->testedTypes.size(), 2u);
  EXPECT_EQ(output->finishCalls, 2);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, ReceiverFinishFailureUndoesTheConnectorToo) {
  input->finishResult = E_ABORT;
  CMediaTypeRecord complete = AudioPcm();
  EXPECT_EQ(ConnectWith(&complete), E_ABORT);
  EXPECT_EQ(input->releasePeerCalls, 1);
  EXPECT_EQ(output->finishCalls, 0);
  EXPECT_EQ(output->releasePeerCalls, 2);  // the attempt's undo and Connect's
  ExpectNothingKept();
}

TEST_F(ConnectionTest, SuccessOtherThanOkEndsTheNegotiation) {
  input->offeredTypes = {AudioPcm(), VideoA()};
  output->finishSuccess = S_FALSE;
  EXPECT_EQ(ConnectWith(nullptr), S_OK);
  EXPECT_EQ(input->testedTypes.size(), 1u);
  EXPECT_EQ(sink->ReferenceCount(), sinkCount + 2);
  EXPECT_NE(output->Allocator(), nullptr);
}

TEST_F(ConnectionTest, PinsOfOneDirectionDoNotConnect) {
  auto other = Make<RecordingSinkFilter>();
  LONG otherCount = other->ReferenceCount();
  CMediaTypeRecord complete = AudioPcm();
  EXPECT_EQ(static_cast<IPin*>(input)->Connect(other->Input(), &complete), VFW_E_INVALID_DIRECTION);
  EXPECT_EQ(other->Input()->testedTypes.size(), 0u);
  EXPECT_EQ(other->ReferenceCount(), otherCount);

  auto otherSource = Make<TestSourceFilter>();
  EXPECT_EQ(static_cast<IPin*>(output)->Connect(otherSource->Output(), &complete),
            VFW_E_INVALID_DIRECTION);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, ReceiverWithoutMemInputPinIsRefused) {
  auto other = Make<RecordingSinkFilter>();
  PinWithoutTransport* bare = new PinWithoutTransport(other.Get());
  other->AddPin(bare);
  LONG otherCount = other->ReferenceCount();
  CMediaTypeRecord complete = AudioPcm();
  EXPECT_EQ(static_cast<IPin*>(output)->Connect(bare, &complete), E_NOINTERFACE);
  EXPECT_EQ(bare->testedTypes.size(), 0u);
  EXPECT_EQ(other->ReferenceCount(), otherCount);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, ReceiveConnectionMapsRefusalsAndRunsReleasePeer) {
  CMediaTypeRecord type = AudioPcm();
  IPin* in = input;
  for (HRESULT refusal : {S_FALSE, E_FAIL, E_INVALIDARG}) {
    input->typeTest = [refusal](const AM_MEDIA_TYPE&) { return refusal; };
    int releases = input->releasePeerCalls;
    EXPECT_EQ(in->ReceiveConnection(output, &type), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(input->releasePeerCalls, releases + 1);
  }
  input->typeTest = [](const AM_MEDIA_TYPE&) { return E_OUTOFMEMORY; };
  EXPECT_EQ(in->ReceiveConnection(output, &type), E_OUTOFMEMORY);
  EXPECT_EQ(in->ReceiveConnection(nullptr, &type), E_POINTER);
  EXPECT_EQ(in->ReceiveConnection(output, nullptr), E_POINTER);
  ExpectNothingKept();
}

TEST_F(ConnectionTest, ConnectedPinRefusesSecondConnectionAndStoppedIsRequired) {
  CMediaTypeRecord type = AudioPcm();
  ASSERT_EQ(ConnectWith(&type), S_OK);
  auto other = Make<RecordingSinkFilter>();
  EXPECT_EQ(static_cast<IPin*>(output)->Connect(other->Input(), &type), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(static_cast<IPin*>(input)->ReceiveConnection(output, &type), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(static_cast<IPin*>(output)->Connect(nullptr, &type), E_POINTER);

  ASSERT_EQ(sink->Pause(), S_OK);
  EXPECT_EQ(static_cast<IPin*>(input)->Disconnect(), VFW_E_NOT_STOPPED);
  IPin* peer = nullptr;
  EXPECT_EQ(static_cast<IPin*>(input)->ConnectedTo(&peer), S_OK);
  peer->Release();

  auto otherSource = Make<TestSourceFilter>();
  ASSERT_EQ(otherSource->Pause(), S_OK);
  EXPECT_EQ(static_cast<IPin*>(otherSource->Output())->Connect(other->Input(), &type),
            VFW_E_NOT_STOPPED);
  auto pausedSink = Make<RecordingSinkFilter>();
  pausedSink->Pause();
  EXPECT_EQ(static_cast<IPin*>(pausedSink->Input())->ReceiveConnection(output, &type),
            VFW_E_NOT_STOPPED);
  otherSource->Stop();
  pausedSink->Stop();
}

TEST_F(ConnectionTest, DisconnectReleasesThePeerButKeepsTheTypeUnreported) {
  CMediaTypeRecord type = AudioPcm();
  ASSERT_EQ(ConnectWith(&type), S_OK);
  EXPECT_EQ(static_cast<IPin*>(output)->Disconnect(), S_OK);
  EXPECT_EQ(output->PeerInput(), nullptr);
  EXPECT_EQ(output->Allocator(), nullptr);
  EXPECT_EQ(sink->ReferenceCount(), sinkCount);
  EXPECT_EQ(static_cast<IPin*>(output)->Disconnect(), S_FALSE);
  EXPECT_EQ(output->SendSample(nullptr), VFW_E_NOT_CONNECTED);

  AM_MEDIA_TYPE reported;
  std::memset(&reported, 0x77, sizeof(reported));
  EXPECT_EQ(static_cast<IPin*>(output)->ConnectionMediaType(&reported), VFW_E_NOT_CONNECTED);
  EXPECT_TRUE(IsEqualGUID(reported.majortype, GUID_NULL));
  EXPECT_EQ(reported.bFixedSizeSamples, TRUE);
  EXPECT_EQ(reported.lSampleSize, 1u);
  EXPECT_EQ(reported.cbFormat, 0u);
  EXPECT_EQ(reported.pbFormat, nullptr);
  EXPECT_EQ(reported.pUnk, nullptr);
  EXPECT_EQ(static_cast<IPin*>(output)->ConnectionMediaType(nullptr), E_POINTER);
  EXPECT_TRUE(SameTypes(output->ConnectionType(), type));

  EXPECT_EQ(static_cast<IPin*>(input)->Disconnect(), S_OK);
  EXPECT_EQ(source->ReferenceCount(), sourceCount);
}

TEST_F(ConnectionTest, ConnectedToOnAnotherThreadNeverMeetsAReleasedPeer) {
  CMediaTypeRecord type = AudioPcm();
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      IPin* peer = nullptr;
      if (static_cast<IPin*>(output)->ConnectedTo(&peer) == S_OK) {
        peer->Release();
      }
    }
  });
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(ConnectWith(&type), S_OK);
    static_cast<IPin*>(output)->Disconnect();
    static_cast<IPin*>(input)->Disconnect();
  }
  done = true;
  reader.join();
}

TEST_F(ConnectionTest, QueryAcceptTurnsErrorsIntoFalse) {
  CMediaTypeRecord type = AudioPcm();
  IPin* in = input;
  input->typeTest = [](const AM_MEDIA_TYPE&) { return E_OUTOFMEMORY; };
  EXPECT_EQ(in->QueryAccept(&type), S_FALSE);
  input->typeTest = [](const AM_MEDIA_TYPE&) { return S_FALSE; };
  EXPECT_EQ(in->QueryAccept(&type), S_FALSE);
  input->typeTest = [](const AM_MEDIA_TYPE&) { return S_OK; };
  EXPECT_EQ(in->QueryAccept(&type), S_OK);
  EXPECT_EQ(in->QueryAccept(nullptr), E_POINTER);
}

TEST_F(ConnectionTest, PinInfoAndIdentity) {
  PIN_INFO info;
  ASSERT_EQ(static_cast<IPin*>(output)->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(source.Get()));
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_EQ(WideCompare(info.achName, WIDE("Out")), 0);
  EXPECT_EQ(source->ReferenceCount(), sourceCount + 1);
  info.pFilter->Release();

  LPWSTR id = nullptr;
  ASSERT_EQ(static_cast<IPin*>(input)->QueryId(&id), S_OK);
  EXPECT_EQ(WideCompare(id, WIDE("In")), 0);
  CoTaskMemFree(id);
  EXPECT_EQ(static_cast<IPin*>(input)->QueryId(nullptr), E_POINTER);
  platform::FailNthAllocation(platform::AllocationKind::TaskMemory, 1);
  EXPECT_EQ(static_cast<IPin*>(input)->QueryId(&id), E_OUTOFMEMORY);
  platform::ResetAllocationFaults();

  PIN_DIRECTION direction = PINDIR_OUTPUT;
  EXPECT_EQ(static_cast<IPin*>(input)->QueryDirection(&direction), S_OK);
  EXPECT_EQ(direction, PINDIR_INPUT);
  EXPECT_EQ(static_cast<IPin*>(input)->QueryPinInfo(nullptr), E_POINTER);
  EXPECT_EQ(static_cast<IPin*>(input)->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(static_cast<IQualityControl*>(input)->SetSink(nullptr), S_OK);
}

TEST_F(ConnectionTest, NamelessPinHasEmptyNameThatFindPinStillFinds) {
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  TestOutputPin* nameless = new TestOutputPin(source.Get(), WIDE("Lost"));
  platform::ResetAllocationFaults();
  source->AddPin(nameless);

  PIN_INFO info;
  ASSERT_EQ(static_cast<IPin*>(nameless)->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], 0);
  info.pFilter->Release();
  LPWSTR id = nullptr;
  ASSERT_EQ(static_cast<IPin*>(nameless)->QueryId(&id), S_OK);
  EXPECT_EQ(id[0], 0);
  IPin* found = nullptr;
  EXPECT_EQ(source->FindPin(id, &found), S_OK);
  EXPECT_EQ(found, static_cast<IPin*>(nameless));
  found->Release();
  CoTaskMemFree(id);
}

TEST_F(ConnectionTest, OutputPinRefusesDataFlowCalls) {
  IPin* out = output;
  EXPECT_EQ(out->EndOfStream(), E_UNEXPECTED);
  EXPECT_EQ(out->BeginFlush(), E_UNEXPECTED);
  EXPECT_EQ(out->EndFlush(), E_UNEXPECTED);
  Quality quality = {};
  EXPECT_EQ(static_cast<IQualityControl*>(output)->Notify(source.Get(), quality), E_NOTIMPL);
  EXPECT_EQ(out->NewSegment(5, 10, 2.0), S_OK);
  EXPECT_EQ(output->SegmentStart(), 5);
}

TEST_F(ConnectionTest, MediaTypeEnumeratorCannotBeAllocated) {
  IEnumMediaTypes* types = reinterpret_cast<IEnumMediaTypes*>(1);
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(static_cast<IPin*>(output)->EnumMediaTypes(&types), E_OUTOFMEMORY);
  platform::ResetAllocationFaults();
  EXPECT_EQ(types, nullptr);
  EXPECT_EQ(static_cast<IPin*>(output)->EnumMediaTypes(nullptr), E_POINTER);
  EXPECT_EQ(source->ReferenceCount(), sourceCount);
}

}  // namespace
