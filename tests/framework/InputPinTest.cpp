// The input pin: reception checks, sample properties, rejected type changes,
// flushing, Deactivate, the allocator hand-over and ReceiveCanBlock.
#include "framework/FrameworkTestKit.h"

namespace {

// Answers Receive from a script, to show ReceiveMultiple goes through the
// published interface.
class ScriptedInputPin : public RecordingInputPin {
 public:
  explicit ScriptedInputPin(TestFilterBase* owner) : RecordingInputPin(owner, WIDE("Scripted")) {}
  STDMETHODIMP Receive(IMediaSample* sample) override {
    seen.push_back(sample);
    return answers[seen.size() - 1];
  }
  std::vector<HRESULT> answers;
  std::vector<IMediaSample*> seen;
};

class InputPinTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    sink = Make<RecordingSinkFilter>();
    input = sink->Input();
    sink->JoinFilterGraph(&graph, WIDE("sink"));
  }
  void TearDown() override {
    sink->Stop();
    sink->JoinFilterGraph(nullptr, nullptr);
    sink.Reset();
    FrameworkTest::TearDown();
  }

  IMemInputPin* Memory() { return input; }

  FakeGraph graph;
  CComHolder<RecordingSinkFilter> sink;
  RecordingInputPin* input = nullptr;
};

TEST_F(InputPinTest, ReceptionNeedsARunningFilterWithoutFlushOrError) {
  PlainSample sample;
  EXPECT_EQ(Memory()->Receive(&sample), VFW_E_WRONG_STATE);
  EXPECT_EQ(Memory()->Receive(nullptr), E_POINTER);
  ASSERT_EQ(sink->Pause(), S_OK);
  EXPECT_EQ(Memory()->Receive(&sample), S_OK);

  EXPECT_EQ(static_cast<IPin*>(input)->BeginFlush(), S_OK);
  EXPECT_EQ(Memory()->Receive(&sample), S_FALSE);
  EXPECT_EQ(static_cast<IPin*>(input)->EndFlush(), S_OK);
  EXPECT_EQ(Memory()->Receive(&sample), S_OK);
  EXPECT_EQ(input->Received().size(), 2u);
  EXPECT_EQ(sample.references, 0);
}

TEST_F(InputPinTest, PlainSamplePropertiesAreReadOneByOne) {
  ASSERT_EQ(sink->Pause(), S_OK);
  PlainSample sample;
  sample.discontinuity = sample.preroll = sample.syncPoint = true;
  sample.timeSet = true;
  sample.start = 10;
  sample.stop = 20;
  sample.actual = 7;
  ASSERT_EQ(Memory()->Receive(&sample), S_OK);
  const AM_SAMPLE2_PROPERTIES& props = input->LastSampleProperties();
  EXPECT_EQ(props.cbData, sizeof(AM_SAMPLE2_PROPERTIES));
  EXPECT_EQ(props.dwSampleFlags,
            static_cast<DWORD>(AM_SAMPLE_DATADISCONTINUITY | AM_SAMPLE_PREROLL |
                               AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID));
  EXPECT_EQ(props.tStart, 10);
  EXPECT_EQ(props.tStop, 20);
  EXPECT_EQ(props.lActual, 7);
  EXPECT_EQ(props.cbBuffer, 64);
  EXPECT_EQ(props.pbBuffer, sample.data);
  EXPECT_EQ(props.pMediaType, nullptr);

  PlainSample bare;
  ASSERT_EQ(Memory()->Receive(&bare), S_OK);
  EXPECT_EQ(input->LastSampleProperties().dwSampleFlags, 0u);
}

TEST_F(InputPinTest, AcceptedTypeChangeIsKeptUntilTheNextSample) {
  ASSERT_EQ(sink->Pause(), S_OK);
  PlainSample changed;
  changed.typeChanged = true;
  changed.mediaType = VideoA();
  ASSERT_EQ(Memory()->Receive(&changed), S_OK);
  const AM_SAMPLE2_PROPERTIES& props = input->LastSampleProperties();
  EXPECT_TRUE(props.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
  ASSERT_NE(props.pMediaType, nullptr);
  EXPECT_TRUE(SameTypes(*props.pMediaType, VideoA()));
  // The next sample replaces the copy; the sanitizer sees that it is freed.
  PlainSample plain;
  ASSERT_EQ(Memory()->Receive(&plain), S_OK);
  EXPECT_EQ(input->LastSampleProperties().pMediaType, nullptr);
  ASSERT_EQ(Memory()->Receive(&changed), S_OK);
}

TEST_F(InputPinTest, UnreadablePropertiesLeaveNoTypePointerBehind) {
  ASSERT_EQ(sink->Pause(), S_OK);
  PlainSample changed;
  changed.typeChanged = true;
  changed.mediaType = VideoA();
  ASSERT_EQ(Memory()->Receive(&changed), S_OK);
  PlainSample unreadable;
  unreadable.offersSample2 = true;
  EXPECT_EQ(Memory()->Receive(&unreadable), E_FAIL);
  EXPECT_EQ(input->LastSampleProperties().pMediaType, nullptr);
  EXPECT_EQ(input->LastSampleProperties().dwSampleFlags, 0u);
}

TEST_F(InputPinTest, RejectedTypeChangeEndsTheStreamAndReportsAnAbort) {
  ASSERT_EQ(sink->Pause(), S_OK);
  input->typeTest = [](const AM_MEDIA_TYPE& type) {
    return IsEqualGUID(type.majortype, MEDIATYPE_Video) ? S_FALSE : S_OK;
  };
  PlainSample changed;
  changed.typeChanged = true;
  changed.mediaType = VideoA();
  EXPECT_EQ(Memory()->Receive(&changed), VFW_E_INVALIDMEDIATYPE);
  EXPECT_TRUE(input->RuntimeError());
  EXPECT_EQ(input->EndOfStreamCount(), 1);
  ASSERT_EQ(graph.Events().size(), 1u);
  EXPECT_EQ(graph.Events()[0].code, EC_ERRORABORT);
  EXPECT_EQ(graph.Events()[0].parameter1, VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(graph.Events()[0].parameter2, 0);

  PlainSample plain;
  EXPECT_EQ(Memory()->Receive(&plain), VFW_E_RUNTIME_ERROR);
  // Deactivate always clears the error, allocator or not.
  EXPECT_EQ(input->Deactivate(), VFW_E_NO_ALLOCATOR);
  EXPECT_FALSE(input->RuntimeError());
  EXPECT_EQ(Memory()->Receive(&plain), S_OK);
}

TEST_F(InputPinTest, RejectedTypeChangeOutsideAGraphStillFails) {
  sink->JoinFilterGraph(nullptr, nullptr);
  ASSERT_EQ(sink->Pause(), S_OK);
  input->typeTest = [](const AM_MEDIA_TYPE&) { return E_FAIL; };
  PlainSample changed;
  changed.typeChanged = true;
  EXPECT_EQ(Memory()->Receive(&changed), VFW_E_INVALIDMEDIATYPE);
  EXPECT_TRUE(graph.Events().empty());
}

TEST_F(InputPinTest, SystemSamplePropertiesComeThroughIMediaSample2) {
  CComHolder<IMemAllocator> allocator;
  ASSERT_EQ(Memory()->GetAllocator(allocator.ReleaseAndGetAddressOf()), S_OK);
  ALLOCATOR_PROPERTIES request = {1, 256, 1, 0};
  ALLOCATOR_PROPERTIES actual = {};
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  CComHolder<IMediaSample> sample;
  ASSERT_EQ(allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  REFERENCE_TIME start = 30;
  REFERENCE_TIME stop = 40;
  sample->SetTime(&start, &stop);
  sample->SetActualDataLength(5);
  CMediaTypeRecord type = VideoA();
  ASSERT_EQ(sample->SetMediaType(&type), S_OK);

  ASSERT_EQ(sink->Pause(), S_OK);
  ASSERT_EQ(Memory()->Receive(sample.Get()), S_OK);
  const AM_SAMPLE2_PROPERTIES& props = input->LastSampleProperties();
  EXPECT_EQ(props.lActual, 5);
  EXPECT_EQ(props.tStart, 30);
  EXPECT_EQ(props.tStop, 40);
  EXPECT_TRUE(props.dwSampleFlags & AM_SAMPLE_TIMEVALID);
  // The type read stays readable after the sender drops the sample's own.
  ASSERT_EQ(sample->SetMediaType(nullptr), S_OK);
  ASSERT_NE(props.pMediaType, nullptr);
  EXPECT_TRUE(SameTypes(*props.pMediaType, VideoA()));
  sample.Reset();
  // Stop decommits the allocator the pin holds.
  ASSERT_EQ(sink->Stop(), S_OK);
}

TEST_F(InputPinTest, DeactivateClearsAFlushOnlyWhenAnAllocatorIsHeld) {
  ASSERT_EQ(static_cast<IPin*>(input)->BeginFlush(), S_OK);
  EXPECT_EQ(input->Deactivate(), VFW_E_NO_ALLOCATOR);
  EXPECT_TRUE(input->Flushing());

  CComHolder<IMemAllocator> allocator;
  ASSERT_EQ(Memory()->GetAllocator(allocator.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(input->Deactivate(), S_OK);
  EXPECT_FALSE(input->Flushing());
}

TEST_F(InputPinTest, AllocatorHandOverKeepsOneReference) {
  CComHolder<IMemAllocator> first;
  CComHolder<IMemAllocator> second;
  ASSERT_EQ(Memory()->GetAllocator(first.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(CountOf(first.Get()), 2);
  ASSERT_EQ(Memory()->GetAllocator(second.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(CountOf(first.Get()), 3);
  second.Reset();

  EXPECT_EQ(Memory()->NotifyAllocator(first.Get(), TRUE), S_OK);
  EXPECT_EQ(CountOf(first.Get()), 2);
  EXPECT_EQ(Memory()->NotifyAllocator(nullptr, FALSE), E_POINTER);
  EXPECT_EQ(Memory()->GetAllocator(nullptr), E_POINTER);
  ALLOCATOR_PROPERTIES props;
  EXPECT_EQ(Memory()->GetAllocatorRequirements(&props), E_NOTIMPL);

  // Disconnecting an unconnected pin keeps the allocator.
  EXPECT_EQ(static_cast<IPin*>(input)->Disconnect(), S_FALSE);
  EXPECT_EQ(input->Allocator(), first.Get());
}

TEST_F(InputPinTest, AllocatorThatCannotBeCreatedLeavesNone) {
  CoUninitialize();  // CoCreateInstance now fails
  IMemAllocator* allocator = reinterpret_cast<IMemAllocator*>(1);
  HRESULT hr = Memory()->GetAllocator(&allocator);
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(input->Allocator(), nullptr);
}

TEST_F(InputPinTest, EndOfStreamAndQualityNotices) {
  EXPECT_EQ(static_cast<IPin*>(input)->EndOfStream(), S_FALSE);
  Quality quality = {};
  IQualityControl* control = input;
  EXPECT_EQ(control->Notify(nullptr, quality), E_POINTER);
  EXPECT_EQ(control->Notify(sink.Get(), quality), S_OK);
}

TEST_F(InputPinTest, ReceiveMultipleStopsAtTheFirstAnswerOtherThanOk) {
  ScriptedInputPin* scripted = new ScriptedInputPin(sink.Get());
  sink->AddPin(scripted);
  scripted->answers = {S_OK, S_FALSE, S_OK};
  PlainSample a, b, c;
  IMediaSample* samples[] = {&a, &b, &c};
  LONG processed = -1;
  EXPECT_EQ(static_cast<IMemInputPin*>(scripted)->ReceiveMultiple(samples, 3, &processed), S_FALSE);
  EXPECT_EQ(processed, 1);
  EXPECT_EQ(scripted->seen, (std::vector<IMediaSample*>{&a, &b}));

  EXPECT_EQ(static_cast<IMemInputPin*>(scripted)->ReceiveMultiple(samples, 0, &processed), S_OK);
  EXPECT_EQ(processed, 0);
  EXPECT_EQ(static_cast<IMemInputPin*>(scripted)->ReceiveMultiple(nullptr, 1, &processed),
            E_POINTER);
  EXPECT_EQ(static_cast<IMemInputPin*>(scripted)->ReceiveMultiple(samples, 1, nullptr), E_POINTER);
}

class ReceiveCanBlockTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    middle = Make<RecordingSinkFilter>();
  }
  void TearDown() override {
    for (TestOutputPin* out : outputs) {
      static_cast<IPin*>(out)->Disconnect();
    }
    for (auto& downstream : sinks) {
      static_cast<IPin*>(downstream->Input())->Disconnect();
    }
    sinks.clear();
    middle.Reset();
    FrameworkTest::TearDown();
  }

  TestOutputPin* AddOutput() {
    TestOutputPin* out = new TestOutputPin(middle.Get(), WIDE("Out"));
    middle->AddPin(out);
    outputs.push_back(out);
    return out;
  }
  void ConnectDownstream(TestOutputPin* out, HRESULT answer) {
    sinks.push_back(Make<RecordingSinkFilter>());
    sinks.back()->Input()->canBlockAnswer = answer;
    CMediaTypeRecord type = AudioPcm();
    ASSERT_EQ(static_cast<IPin*>(out)->Connect(sinks.back()->Input(), &type), S_OK);
  }
  HRESULT CanBlock() { return static_cast<IMemInputPin*>(middle->Input())->ReceiveCanBlock(); }

  CComHolder<RecordingSinkFilter> middle;
  std::vector<TestOutputPin*> outputs;
  std::vector<CComHolder<RecordingSinkFilter>> sinks;
};

TEST_F(ReceiveCanBlockTest, WithoutConnectedOutputsReceiveMayBlock) {
  EXPECT_EQ(CanBlock(), S_OK);
  AddOutput();
  AddOutput();
  EXPECT_EQ(CanBlock(), S_OK);
}

TEST_F(ReceiveCanBlockTest, NeverBlocksOnlyWhenEveryConnectedDownstreamPinNeverBlocks) {
  TestOutputPin* first = AddOutput();
  AddOutput();  // unconnected: not asked
  TestOutputPin* third = AddOutput();
  ConnectDownstream(first, S_FALSE);
  EXPECT_EQ(CanBlock(), S_FALSE);
  ConnectDownstream(third, S_FALSE);
  EXPECT_EQ(CanBlock(), S_FALSE);
  sinks.back()->Input()->canBlockAnswer = S_OK;
  EXPECT_EQ(CanBlock(), S_OK);
  sinks.back()->Input()->canBlockAnswer = E_FAIL;
  EXPECT_EQ(CanBlock(), S_OK);
}

TEST_F(ReceiveCanBlockTest, HiddenPinsAreSkipped) {
  TestOutputPin* first = AddOutput();
  ConnectDownstream(first, S_FALSE);
  IMemInputPin* input = middle->Input();
  middle->HidePin(0);  // the input pin itself
  EXPECT_EQ(input->ReceiveCanBlock(), S_FALSE);
  middle->HidePin(-1);
}

}  // namespace
