// The generic filter: identity, states, clock, graph membership, pin lookup.
#include <atomic>
#include <string>
#include <thread>

#include "framework/FrameworkTestKit.h"

namespace {

class FilterBaseTest : public FrameworkTest {
 protected:
  static HRESULT ConnectAudio(TestSourceFilter* source, RecordingSinkFilter* sink) {
    CMediaTypeRecord type = AudioPcm();
    return Connect(source, sink, &type);
  }
};

TEST_F(FilterBaseTest, NewFilterIsStoppedWithoutClockNameOrGraph) {
  auto source = Make<TestSourceFilter>();
  FILTER_STATE state = State_Running;
  EXPECT_EQ(source->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);

  IReferenceClock* clock = reinterpret_cast<IReferenceClock*>(1);
  EXPECT_EQ(source->GetSyncSource(&clock), S_OK);
  EXPECT_EQ(clock, nullptr);

  FILTER_INFO info;
  std::memset(&info, 0x55, sizeof(info));
  EXPECT_EQ(source->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], 0);
  EXPECT_EQ(info.pGraph, nullptr);

  CLSID classId = {};
  EXPECT_EQ(source->GetClassID(&classId), S_OK);
  EXPECT_TRUE(IsEqualGUID(classId, CLSID_TessalyTestFilter));
  EXPECT_EQ(source->GetClassID(nullptr), E_POINTER);
  EXPECT_EQ(source->GetState(0, nullptr), E_POINTER);
  EXPECT_EQ(source->QueryVendorInfo(nullptr), E_NOTIMPL);
}

TEST_F(FilterBaseTest, AnswersItsInterfacesThroughOneIdentity) {
  auto source = Make<TestSourceFilter>();
  LONG before = source->ReferenceCount();
  for (const GUID* iid : {&IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist}) {
    CComHolder<IUnknown> held;
    ASSERT_EQ(source->QueryInterface(*iid, held.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(held.Get(), static_cast<IUnknown*>(static_cast<IBaseFilter*>(source.Get())));
    EXPECT_EQ(source->ReferenceCount(), before + 1);
  }
  CComHolder<IAMovieSetup> setup;
  ASSERT_EQ(source->QueryInterface(IID_IAMovieSetup, setup.ReleaseAndGetVoidAddressOf()), S_OK);
  CComHolder<IUnknown> identity;
  ASSERT_EQ(setup->QueryInterface(IID_IUnknown, identity.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(identity.Get(), source->InnerUnknown());

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(source->QueryInterface(IID_IPin, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(source->SetupData(), nullptr);
}

TEST_F(FilterBaseTest, RunOnStoppedFilterPausesFirstThenTellsOnlyConnectedPins) {
  auto source = Make<TestSourceFilter>();
  auto sink = Make<RecordingSinkFilter>();
  TestOutputPin* unconnected = source->AddOutput(WIDE("Spare"));
  ASSERT_EQ(ConnectAudio(source.Get(), sink.Get()), S_OK);

  EXPECT_EQ(source->Run(20000000), S_OK);
  EXPECT_EQ(source->Calls(), (std::vector<std::string>{"Pause", "RunAt"}));
  EXPECT_EQ(source->Output()->runAtStarts, (std::vector<REFERENCE_TIME>{20000000}));
  EXPECT_TRUE(unconnected->runAtStarts.empty());
  FILTER_STATE state;
  source->GetState(0, &state);
  EXPECT_EQ(state, State_Running);

  // Running again only replaces the start time.
  EXPECT_EQ(source->Run(30000000), S_OK);
  EXPECT_EQ(source->Calls().size(), 2u);
  FakeClock clock;
  clock.now = 50000000;
  source->SetSyncSource(&clock);
  REFERENCE_TIME streamTime = 0;
  EXPECT_EQ(source->CurrentStreamTime(streamTime), S_OK);
  EXPECT_EQ(streamTime, 20000000);

  source->Stop();
  source->SetSyncSource(nullptr);
  ASSERT_EQ(static_cast<IPin*>(source->Output())->Disconnect(), S_OK);
  ASSERT_EQ(static_cast<IPin*>(sink->Input())->Disconnect(), S_OK);
  EXPECT_EQ(clock.references, 0);
}

TEST_F(FilterBaseTest, FailingRunAtLeavesFilterPausedWithStartTimeReplaced) {
  auto source = Make<TestSourceFilter>();
  auto sink = Make<RecordingSinkFilter>();
  ASSERT_EQ(ConnectAudio(source.Get(), sink.Get()), S_OK);
  source->Output()->runAtResult = E_ABORT;
  FakeClock clock;
  clock.now = 1000;
  source->SetSyncSource(&clock);

  EXPECT_EQ(source->Run(400), E_ABORT);
  FILTER_STATE state;
  source->GetState(0, &state);
  EXPECT_EQ(state, State_Paused);
  REFERENCE_TIME streamTime = 0;
  EXPECT_EQ(source->CurrentStreamTime(streamTime), S_OK);
  EXPECT_EQ(streamTime, 600);

  source->Stop();
  source->SetSyncSource(nullptr);
  static_cast<IPin*>(source->Output())->Disconnect();
  static_cast<IPin*>(sink->Input())->Disconnect();
}

TEST_F(FilterBaseTest, FailingPauseEndsRunWithoutTellingPins) {
  auto source = Make<TestSourceFilter>();
  auto sink = Make<RecordingSinkFilter>();
  ASSERT_EQ(ConnectAudio(source.Get(), sink.Get()), S_OK);
  source->FailPause(E_OUTOFMEMORY);
  EXPECT_EQ(source->Run(0), E_OUTOFMEMORY);
  EXPECT_TRUE(source->Output()->runAtStarts.empty());
  FILTER_STATE state;
  source->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  static_cast<IPin*>(source->Output())->Disconnect();
  static_cast<IPin*>(sink->Input())->Disconnect();
}

TEST_F(FilterBaseTest, StreamTimeNeedsAClockAndPassesItsFailure) {
  auto source = Make<TestSourceFilter>();
  REFERENCE_TIME time = 0;
  EXPECT_EQ(source->CurrentStreamTime(time), VFW_E_NO_CLOCK);
  FakeClock clock;
  clock.timeResult = E_FAIL;
  source->SetSyncSource(&clock);
  EXPECT_EQ(source->CurrentStreamTime(time), E_FAIL);
  source->SetSyncSource(nullptr);
}

TEST_F(FilterBaseTest, NameGraphAndClockMayChangeOnAnotherThreadWhileRead) {
  auto source = Make<TestSourceFilter>();
  FakeGraph graph(false);
  FakeClock clock;
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int i = 0; !done; ++i) {
      source->JoinFilterGraph((i & 1) ? &graph : nullptr, (i & 1) ? WIDE("odd") : WIDE("even"));
      source->SetSyncSource((i & 1) ? &clock : nullptr);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    FILTER_INFO info;
    EXPECT_EQ(source->QueryFilterInfo(&info), S_OK);
    if (info.pGraph != nullptr) {
      info.pGraph->Release();
    }
    REFERENCE_TIME time = 0;
    source->CurrentStreamTime(time);
  }
  done = true;
  changer.join();
  source->SetSyncSource(nullptr);
  EXPECT_EQ(clock.references, 0);
}

TEST_F(FilterBaseTest, SyncSourceHoldsOneReferenceAndSurvivesBeingSetAgain) {
  auto source = Make<TestSourceFilter>();
  FakeClock clock;
  EXPECT_EQ(source->SetSyncSource(&clock), S_OK);
  EXPECT_EQ(clock.references, 1);
  EXPECT_EQ(source->SetSyncSource(&clock), S_OK);
  EXPECT_EQ(clock.references, 1);

  IReferenceClock* out = nullptr;
  EXPECT_EQ(source->GetSyncSource(&out), S_OK);
  EXPECT_EQ(out, &clock);
  EXPECT_EQ(clock.references, 2);
  out->Release();
  EXPECT_EQ(source->GetSyncSource(nullptr), E_POINTER);

  FakeClock other;
  source->SetSyncSource(&other);
  EXPECT_EQ(clock.references, 0);
  EXPECT_EQ(other.references, 1);
  source.Reset();  // the destructor releases the clock it holds
  EXPECT_EQ(other.references, 0);
}

TEST_F(FilterBaseTest, FilterInfoCutsLongNamesAndCountsTheGraph) {
  auto source = Make<TestSourceFilter>();
  FakeGraph graph;
  std::u16string name(200, u'x');
  name[126] = u'y';
  name[127] = u'z';
  EXPECT_EQ(source->JoinFilterGraph(&graph, reinterpret_cast<LPCWSTR>(name.c_str())), S_OK);
  EXPECT_EQ(graph.references, 0);

  FILTER_INFO info;
  EXPECT_EQ(source->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
  EXPECT_EQ(graph.references, 1);
  EXPECT_EQ(info.achName[126], u'y');
  EXPECT_EQ(info.achName[127], 0);
  info.pGraph->Release();
  EXPECT_EQ(source->QueryFilterInfo(nullptr), E_POINTER);

  EXPECT_EQ(source->JoinFilterGraph(nullptr, nullptr), S_OK);
  EXPECT_EQ(source->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
  EXPECT_EQ(info.achName[0], 0);
  EXPECT_EQ(source->NotifyGraph(EC_COMPLETE, 0, 0), E_NOTIMPL);
}

TEST_F(FilterBaseTest, EventsReachTheGraphOnlyWhenItHasAnEventSink) {
  auto source = Make<TestSourceFilter>();
  FakeGraph silent(false);
  EXPECT_EQ(source->JoinFilterGraph(&silent, WIDE("quiet")), S_OK);
  EXPECT_EQ(source->NotifyGraph(EC_COMPLETE, 1, 2), E_NOTIMPL);

  FakeGraph graph;
  EXPECT_EQ(source->JoinFilterGraph(&graph, WIDE("loud")), S_OK);
  EXPECT_EQ(source->NotifyGraph(EC_COMPLETE, 1, 2), S_OK);
  ASSERT_EQ(graph.Events().size(), 1u);
  EXPECT_EQ(graph.Events()[0].code, EC_COMPLETE);
  EXPECT_EQ(graph.Events()[0].parameter2, 2);
  EXPECT_EQ(graph.references, 0);
  EXPECT_EQ(silent.references, 0);
}

TEST_F(FilterBaseTest, JoiningWithoutMemoryForTheNameStillJoins) {
  auto source = Make<TestSourceFilter>();
  FakeGraph graph;
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(source->JoinFilterGraph(&graph, WIDE("named")), S_OK);
  platform::ResetAllocationFaults();
  FILTER_INFO info;
  EXPECT_EQ(source->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.achName[0], 0);
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(&graph));
  info.pGraph->Release();
}

TEST_F(FilterBaseTest, FindPinMatchesWholeNamesWithCase) {
  auto source = Make<TestSourceFilter>();
  TestOutputPin* audio = source->AddOutput(WIDE("Audio"));
  source->AddOutput(WIDE("Video"));
  LONG before = source->ReferenceCount();

  IPin* found = nullptr;
  EXPECT_EQ(source->FindPin(WIDE("Audio"), &found), S_OK);
  EXPECT_EQ(found, static_cast<IPin*>(audio));
  EXPECT_EQ(source->ReferenceCount(), before + 1);
  found->Release();

  found = reinterpret_cast<IPin*>(1);
  EXPECT_EQ(source->FindPin(WIDE("audio"), &found), VFW_E_NOT_FOUND);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(source->FindPin(WIDE("Audi"), &found), VFW_E_NOT_FOUND);
  EXPECT_EQ(source->FindPin(WIDE("Audio"), nullptr), E_POINTER);
  EXPECT_EQ(source->ReferenceCount(), before);
}

TEST_F(FilterBaseTest, PinInterfacesCountOnTheFilter) {
  auto source = Make<TestSourceFilter>();
  auto sink = Make<RecordingSinkFilter>();
  LONG before = source->ReferenceCount();
  IPin* pin = source->Output();

  EXPECT_EQ(pin->AddRef(), static_cast<ULONG>(before + 1));
  EXPECT_EQ(source->ReferenceCount(), before + 1);
  CComHolder<IQualityControl> quality;
  ASSERT_EQ(pin->QueryInterface(IID_IQualityControl, quality.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(source->ReferenceCount(), before + 2);
  quality.Reset();
  pin->Release();
  EXPECT_EQ(source->ReferenceCount(), before);

  LONG sinkBefore = sink->ReferenceCount();
  CComHolder<IMemInputPin> input;
  ASSERT_EQ(static_cast<IPin*>(sink->Input())
                ->QueryInterface(IID_IMemInputPin, input.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(sink->ReferenceCount(), sinkBefore + 1);
  input->AddRef();
  EXPECT_EQ(sink->ReferenceCount(), sinkBefore + 2);
  input->Release();
  CComHolder<IUnknown> identity;
  ASSERT_EQ(input->QueryInterface(IID_IUnknown, identity.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(identity.Get(), sink->Input()->InnerUnknown());
  identity.Reset();
  input.Reset();
  EXPECT_EQ(sink->ReferenceCount(), sinkBefore);

  // An output pin has no IMemInputPin.
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(pin->QueryInterface(IID_IMemInputPin, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
}

TEST_F(FilterBaseTest, PinHeldAfterTheLastFilterReferenceKeepsTheFilterAlive) {
  LONG live = CTrackedObject::LiveObjectCount();
  IPin* pin = nullptr;
  {
    auto source = Make<TestSourceFilter>();
    ASSERT_EQ(source->FindPin(WIDE("Out"), &pin), S_OK);
  }
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), live + 2);
  PIN_DIRECTION direction;
  EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
  pin->Release();
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), live);
}

}  // namespace
