// Allocator negotiation of the output pin, activation, and the delivery
// operations on connected and unconnected pins.
#include "framework/FrameworkTestKit.h"

namespace {

bool SameRequest(const ALLOCATOR_PROPERTIES& a, const ALLOCATOR_PROPERTIES& b) {
  return a.cBuffers == b.cBuffers && a.cbBuffer == b.cbBuffer && a.cbAlign == b.cbAlign &&
         a.cbPrefix == b.cbPrefix;
}

class AllocatorTest : public FrameworkTest {
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

  HRESULT ConnectAudio() {
    CMediaTypeRecord type = AudioPcm();
    return Connect(source.Get(), sink.Get(), &type);
  }

  CComHolder<TestSourceFilter> source;
  CComHolder<RecordingSinkFilter> sink;
  TestOutputPin* output = nullptr;
  RecordingInputPin* input = nullptr;
  LONG sourceCount = 0;
  LONG sinkCount = 0;
};

TEST_F(AllocatorTest, DownstreamAllocatorIsTakenWhenItFits) {
  input->requirements = ALLOCATOR_PROPERTIES{3, 1000, 0, 16};
  ASSERT_EQ(ConnectAudio(), S_OK);

  IMemAllocator* downstream = input->Allocator();
  ASSERT_NE(downstream, nullptr);
  EXPECT_EQ(output->Allocator(), downstream);
  EXPECT_EQ(output->createAllocatorCalls, 0);
  ASSERT_EQ(output->sizeCalls.size(), 1u);
  EXPECT_EQ(output->sizeCalls[0].allocator, downstream);
  EXPECT_TRUE(SameRequest(output->sizeCalls[0].request, {3, 1000, 1, 16}));
  EXPECT_EQ(input->notifiedAllocators, (std::vector<IMemAllocator*>{downstream}));
  EXPECT_EQ(input->notifiedReadOnly, (std::vector<BOOL>{FALSE}));

  ALLOCATOR_PROPERTIES actual = {};
  ASSERT_EQ(downstream->GetProperties(&actual), S_OK);
  EXPECT_EQ(actual.cBuffers, 3);
  EXPECT_GE(actual.cbBuffer, 4096);
}

TEST_F(AllocatorTest, MissingRequirementsGiveAZeroRecordWithAlignmentOne) {
  ASSERT_EQ(ConnectAudio(), S_OK);
  ASSERT_EQ(output->sizeCalls.size(), 1u);
  EXPECT_TRUE(SameRequest(output->sizeCalls[0].request, {0, 0, 1, 0}));
}

TEST_F(AllocatorTest, SizeBuffersRefusalFallsBackToOwnAllocatorWithTheSameRecord) {
  input->requirements = ALLOCATOR_PROPERTIES{2, 500, 4, 0};
  output->sizeBuffersResult = E_INVALIDARG;
  output->sizeFailures = 1;
  output->requestEdit = [](ALLOCATOR_PROPERTIES& request) { request.cbBuffer += 100; };
  ASSERT_EQ(ConnectAudio(), S_OK);

  ASSERT_EQ(output->sizeCalls.size(), 2u);
  IMemAllocator* own = output->Allocator();
  ASSERT_NE(own, nullptr);
  EXPECT_NE(output->sizeCalls[0].allocator, own);
  EXPECT_EQ(output->sizeCalls[1].allocator, own);
  // The second sizing sees the record as the first one left it.
  EXPECT_TRUE(SameRequest(output->sizeCalls[1].request, {2, 600, 4, 0}));
  EXPECT_EQ(output->createAllocatorCalls, 1);
  EXPECT_EQ(input->notifiedAllocators, (std::vector<IMemAllocator*>{own}));
  EXPECT_EQ(input->Allocator(), own);
}

TEST_F(AllocatorTest, NotifyRefusalOfTheDownstreamAllocatorFallsBackToOwn) {
  input->notifyAllocatorAnswer = [this](IMemAllocator* offered) {
    return offered == input->Allocator() ? E_FAIL : S_OK;
  };
  ASSERT_EQ(ConnectAudio(), S_OK);
  ASSERT_EQ(input->notifiedAllocators.size(), 2u);
  IMemAllocator* own = output->Allocator();
  EXPECT_NE(input->notifiedAllocators[0], own);
  EXPECT_EQ(input->notifiedAllocators[1], own);
  EXPECT_EQ(input->notifiedReadOnly, (std::vector<BOOL>{FALSE, FALSE}));
  ASSERT_EQ(output->sizeCalls.size(), 2u);
  EXPECT_TRUE(SameRequest(output->sizeCalls[0].request, output->sizeCalls[1].request));
}

TEST_F(AllocatorTest, FailingGetAllocatorGetsASizedSystemAllocator) {
  input->getAllocatorResult = E_NOTIMPL;
  ASSERT_EQ(ConnectAudio(), S_OK);
  EXPECT_EQ(input->getAllocatorCalls, 1);
  EXPECT_EQ(output->createAllocatorCalls, 1);
  ASSERT_EQ(output->sizeCalls.size(), 1u);
  IMemAllocator* own = output->Allocator();
  EXPECT_EQ(output->sizeCalls[0].allocator, own);
  EXPECT_EQ(input->notifiedAllocators, (std::vector<IMemAllocator*>{own}));

  // It is a working allocator: the filter's Pause commits it.
  ASSERT_EQ(source->Pause(), S_OK);
  CComHolder<IMediaSample> sample;
  EXPECT_EQ(output->GetOutputSample(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_GE(sample->GetSize(), 4096);
}

TEST_F(AllocatorTest, NoAllocatorAtAllFailsTheConnectionAndKeepsNothing) {
  input->getAllocatorResult = E_NOTIMPL;
  output->createAllocatorResult = E_OUTOFMEMORY;
  EXPECT_EQ(ConnectAudio(), E_OUTOFMEMORY);
  EXPECT_EQ(output->Allocator(), nullptr);
  EXPECT_EQ(output->PeerInput(), nullptr);
  EXPECT_EQ(sink->ReferenceCount(), sinkCount);
  EXPECT_EQ(source->ReferenceCount(), sourceCount);
}

TEST_F(AllocatorTest, RefusedFallbackReleasesBothAllocators) {
  input->notifyAllocatorAnswer = [](IMemAllocator*) { return E_ACCESSDENIED; };
  // Hold the downstream allocator to see how many references remain on it.
  CComHolder<IMemAllocator> downstream;
  ASSERT_EQ(input->GetAllocator(downstream.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(CountOf(downstream.Get()), 2);

  EXPECT_EQ(ConnectAudio(), E_ACCESSDENIED);
  EXPECT_EQ(input->notifiedAllocators.size(), 2u);
  // The sink, disconnected again, gave its allocator up; only ours is left.
  EXPECT_EQ(CountOf(downstream.Get()), 1);
  EXPECT_EQ(input->Allocator(), nullptr);
  EXPECT_EQ(output->Allocator(), nullptr);
  EXPECT_EQ(sink->ReferenceCount(), sinkCount);
  EXPECT_EQ(source->ReferenceCount(), sourceCount);
}

TEST_F(AllocatorTest, DisconnectDropsTheAllocatorReferences) {
  ASSERT_EQ(ConnectAudio(), S_OK);
  CComHolder<IMemAllocator> shared(output->Allocator());
  EXPECT_EQ(CountOf(shared.Get()), 3);  // the test, the source and the sink
  ASSERT_EQ(static_cast<IPin*>(output)->Disconnect(), S_OK);
  EXPECT_EQ(CountOf(shared.Get()), 2);
  ASSERT_EQ(static_cast<IPin*>(input)->Disconnect(), S_OK);
  EXPECT_EQ(CountOf(shared.Get()), 1);
  EXPECT_EQ(input->Allocator(), nullptr);
}

TEST_F(AllocatorTest, UnconnectedOutputRefusesActivationAndDelivery) {
  EXPECT_EQ(output->Activate(), VFW_E_NO_ALLOCATOR);
  EXPECT_EQ(output->Deactivate(), VFW_E_NO_ALLOCATOR);
  IMediaSample* sample = reinterpret_cast<IMediaSample*>(1);
  EXPECT_EQ(output->GetOutputSample(&sample, nullptr, nullptr, 0), E_NOINTERFACE);
  PlainSample plain;
  EXPECT_EQ(output->SendSample(&plain), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(output->SendEndOfStream(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(output->SendBeginFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(output->SendEndFlush(), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(output->SendNewSegment(0, 1, 1.0), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(plain.references, 0);
}

TEST_F(AllocatorTest, StopDecommitsSoNoFurtherBufferIsHandedOut) {
  ASSERT_EQ(ConnectAudio(), S_OK);
  ASSERT_EQ(source->Pause(), S_OK);
  CComHolder<IMediaSample> sample;
  ASSERT_EQ(output->GetOutputSample(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  sample.Reset();
  ASSERT_EQ(source->Stop(), S_OK);
  EXPECT_TRUE(
      FAILED(output->GetOutputSample(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0)));
  EXPECT_EQ(sample.Get(), nullptr);
}

TEST_F(AllocatorTest, NoticesPassDownstreamUnchanged) {
  ASSERT_EQ(ConnectAudio(), S_OK);
  EXPECT_EQ(output->SendNewSegment(100, 900, 0.5), S_OK);
  EXPECT_EQ(input->SegmentStart(), 100);
  EXPECT_EQ(input->SegmentStop(), 900);
  EXPECT_EQ(input->SegmentRate(), 0.5);
  EXPECT_EQ(output->SegmentStart(), 0);

  EXPECT_EQ(output->SendBeginFlush(), S_OK);
  EXPECT_TRUE(input->Flushing());
  EXPECT_EQ(output->SendEndFlush(), S_OK);
  EXPECT_FALSE(input->Flushing());
  EXPECT_EQ(output->SendEndOfStream(), S_FALSE);
  EXPECT_EQ(input->EndOfStreamCount(), 1);
}

}  // namespace
