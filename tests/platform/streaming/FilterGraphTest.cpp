// The filter graph: membership and names, connections, the default clock, events.
#include <platform/GraphEvents.h>

#include <string>
#include <thread>

#include "StreamingTestSupport.h"
#include "support/FakeFilter.h"

namespace streaming_test {
namespace {

constexpr LONG kUserEvent = 0x8000;

class FilterGraphTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    graph = Create<IFilterGraph>(CLSID_FilterGraph, IID_IFilterGraph);
    ASSERT_NE(nullptr, graph.Get());
    a = FakeFilter::New();
    b = FakeFilter::New();
    c = FakeFilter::New();
  }
  void TearDown() override {
    graph.Reset();
    // With the graph gone, only the test's own reference may remain.
    for (FakeFilter* filter : {a, b, c}) {
      EXPECT_EQ(1u, filter->Count());
      filter->Release();
    }
    ComTest::TearDown();
  }

  CComHolder<IFilterGraph> graph;
  FakeFilter* a = nullptr;
  FakeFilter* b = nullptr;
  FakeFilter* c = nullptr;
};

TEST_F(FilterGraphTest, AnswersItsInterfaces) {
  CComHolder<IMediaEventSink> sink;
  EXPECT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventSink, sink.ReleaseAndGetVoidAddressOf()));
  CComHolder<platform::IGraphEventQueue> queue;
  EXPECT_EQ(S_OK, graph->QueryInterface(platform::IID_IGraphEventQueue,
                                        queue.ReleaseAndGetVoidAddressOf()));
  CComHolder<IUnknown> viaSink, viaGraph;
  sink->QueryInterface(IID_IUnknown, viaSink.ReleaseAndGetVoidAddressOf());
  graph->QueryInterface(IID_IUnknown, viaGraph.ReleaseAndGetVoidAddressOf());
  EXPECT_EQ(viaGraph.Get(), viaSink.Get());
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, graph->QueryInterface(IID_IBaseFilter, &none));
  EXPECT_EQ(nullptr, none);
}

TEST_F(FilterGraphTest, AddFilterJoinsTheFilterUnderItsNameAndKeepsOneReference) {
  const ULONG graphCount = RefCount(graph.Get());
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"Source"));
  ASSERT_EQ(1u, a->joins.size());
  EXPECT_EQ(graph.Get(), a->joins[0].graph);
  EXPECT_EQ(u"Source", a->joins[0].name);
  EXPECT_EQ(2u, a->Count());
  EXPECT_EQ(graphCount, RefCount(graph.Get()));  // the graph is held by nobody it owns

  EXPECT_EQ(E_INVALIDARG, graph->AddFilter(a, u"Again"));
  EXPECT_EQ(E_POINTER, graph->AddFilter(nullptr, u"None"));
  EXPECT_EQ(1u, a->joins.size());
  EXPECT_EQ(2u, a->Count());
}

TEST_F(FilterGraphTest, TakenNamesAreNumberedAndMissingNamesAreGenerated) {
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"Splitter"));
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b, u"Splitter"));
  EXPECT_EQ(u"Splitter 0001", b->joins[0].name);
  EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(c, u"Splitter"));
  EXPECT_EQ(u"Splitter 0002", c->joins[0].name);

  FakeFilter* d = FakeFilter::New();
  FakeFilter* e = FakeFilter::New();
  EXPECT_EQ(S_OK, graph->AddFilter(d, nullptr));
  EXPECT_TRUE(d->joins[0].named);
  EXPECT_EQ(u"0001", d->joins[0].name);
  EXPECT_EQ(S_OK, graph->AddFilter(e, u""));
  EXPECT_EQ(u"0002", e->joins[0].name);
  d->Release();
  e->Release();
}

TEST_F(FilterGraphTest, LongNamesAreCutToFitTheFilterInfo) {
  std::u16string longName(200, u'x');
  ASSERT_EQ(S_OK, graph->AddFilter(a, longName.c_str()));
  EXPECT_EQ(std::u16string(MAX_FILTER_NAME - 1, u'x'), a->joins[0].name);
  ASSERT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b, longName.c_str()));
  EXPECT_EQ(size_t{MAX_FILTER_NAME - 1}, b->joins[0].name.size());
  EXPECT_EQ(u" 0001", b->joins[0].name.substr(MAX_FILTER_NAME - 6));
}

TEST_F(FilterGraphTest, AFilterThatRefusesToJoinIsNotKept) {
  a->joinResult = E_FAIL;
  EXPECT_EQ(E_FAIL, graph->AddFilter(a, u"Refuser"));
  EXPECT_EQ(1u, a->Count());
  CComHolder<IBaseFilter> found;
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(u"Refuser", found.ReleaseAndGetAddressOf()));
  // Its name is free again.
  EXPECT_EQ(S_OK, graph->AddFilter(b, u"Refuser"));
}

TEST_F(FilterGraphTest, FindFilterByNameMatchesExactlyAndAddsAReference) {
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"Audio"));
  CComHolder<IBaseFilter> found;
  ASSERT_EQ(S_OK, graph->FindFilterByName(u"Audio", found.ReleaseAndGetAddressOf()));
  EXPECT_EQ(static_cast<IBaseFilter*>(a), found.Get());
  EXPECT_EQ(3u, a->Count());
  IBaseFilter* none = a;
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(u"audio", &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_POINTER, graph->FindFilterByName(u"Audio", nullptr));
}

TEST_F(FilterGraphTest, RemoveFilterLeavesTheGraphAndDropsTheReference) {
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->RemoveFilter(a));
  ASSERT_EQ(2u, a->joins.size());
  EXPECT_EQ(nullptr, a->joins[1].graph);
  EXPECT_FALSE(a->joins[1].named);
  EXPECT_EQ(1u, a->Count());
  EXPECT_EQ(VFW_E_NOT_FOUND, graph->RemoveFilter(a));
  EXPECT_EQ(E_POINTER, graph->RemoveFilter(nullptr));
}

TEST_F(FilterGraphTest, ReleasingTheGraphReleasesEveryFilter) {
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->AddFilter(b, u"B"));
  graph.Reset();
  for (FakeFilter* filter : {a, b}) {
    ASSERT_EQ(2u, filter->joins.size());
    EXPECT_EQ(nullptr, filter->joins[1].graph);
  }
}

TEST_F(FilterGraphTest, EnumFiltersWalksTheMembersAndNoticesChanges) {
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->AddFilter(b, u"B"));
  CComHolder<IEnumFilters> filters;
  ASSERT_EQ(S_OK, graph->EnumFilters(filters.ReleaseAndGetAddressOf()));

  IBaseFilter* got[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(E_POINTER, filters->Next(2, got, nullptr));
  ASSERT_EQ(S_FALSE, filters->Next(3, got, &fetched));
  ASSERT_EQ(2u, fetched);
  EXPECT_EQ(static_cast<IBaseFilter*>(a), got[0]);
  EXPECT_EQ(static_cast<IBaseFilter*>(b), got[1]);
  got[0]->Release();
  got[1]->Release();

  ASSERT_EQ(S_OK, filters->Reset());
  EXPECT_EQ(S_OK, filters->Skip(1));
  CComHolder<IEnumFilters> clone;
  ASSERT_EQ(S_OK, filters->Clone(clone.ReleaseAndGetAddressOf()));
  ASSERT_EQ(S_OK, clone->Next(1, got, nullptr));
  EXPECT_EQ(static_cast<IBaseFilter*>(b), got[0]);
  got[0]->Release();
  EXPECT_EQ(S_FALSE, filters->Skip(5));
  EXPECT_EQ(S_FALSE, filters->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);

  ASSERT_EQ(S_OK, graph->AddFilter(c, u"C"));
  EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, filters->Next(1, got, &fetched));
  EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, filters->Skip(1));
  ASSERT_EQ(S_OK, filters->Reset());
  ASSERT_EQ(S_OK, filters->Skip(2));
  ASSERT_EQ(S_OK, filters->Next(1, got, nullptr));
  EXPECT_EQ(static_cast<IBaseFilter*>(c), got[0]);
  got[0]->Release();
}

TEST_F(FilterGraphTest, ConnectDirectConnectsPinsOfMembersInTheRightDirection) {
  FakePin* out = a->AddPin(PINDIR_OUTPUT, u"Out");
  FakePin* in = b->AddPin(PINDIR_INPUT, u"In");
  FakePin* stranger = c->AddPin(PINDIR_INPUT, u"In");
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->AddFilter(b, u"B"));

  EXPECT_EQ(E_POINTER, graph->ConnectDirect(out, nullptr, nullptr));
  EXPECT_EQ(VFW_E_NOT_IN_GRAPH, graph->ConnectDirect(out, stranger, nullptr));
  EXPECT_EQ(VFW_E_INVALID_DIRECTION, graph->ConnectDirect(in, out, nullptr));
  EXPECT_TRUE(out->connectTypes.empty());

  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Stream;
  ASSERT_EQ(S_OK, graph->ConnectDirect(out, in, &type));
  ASSERT_EQ(1u, out->connectTypes.size());
  EXPECT_EQ(&type, out->connectTypes[0]);
  EXPECT_EQ(static_cast<IPin*>(in), out->Peer());
  EXPECT_EQ(static_cast<IPin*>(out), in->Peer());

  in->receiveResult = VFW_E_TYPE_NOT_ACCEPTED;
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->ConnectDirect(out, in, nullptr));
}

TEST_F(FilterGraphTest, DisconnectAndReconnectWorkThroughThePins) {
  FakePin* out = a->AddPin(PINDIR_OUTPUT, u"Out");
  FakePin* in = b->AddPin(PINDIR_INPUT, u"In");
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->AddFilter(b, u"B"));
  ASSERT_EQ(S_OK, graph->ConnectDirect(out, in, nullptr));

  ASSERT_EQ(S_OK, graph->Reconnect(in));
  ASSERT_EQ(2u, out->connectTypes.size());
  EXPECT_EQ(nullptr, out->connectTypes[1]);
  EXPECT_EQ(static_cast<IPin*>(in), out->Peer());

  EXPECT_EQ(S_OK, graph->Disconnect(out));
  EXPECT_EQ(nullptr, out->Peer());
  EXPECT_EQ(static_cast<IPin*>(out), in->Peer());
  EXPECT_EQ(S_OK, graph->Disconnect(in));
  EXPECT_EQ(S_FALSE, graph->Disconnect(in));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, graph->Reconnect(in));
  EXPECT_EQ(E_POINTER, graph->Disconnect(nullptr));
}

TEST_F(FilterGraphTest, RemovingOrReleasingBreaksTheConnectionsThatHoldFiltersTogether) {
  FakePin* out = a->AddPin(PINDIR_OUTPUT, u"Out");
  FakePin* in = b->AddPin(PINDIR_INPUT, u"In");
  FakePin* out2 = b->AddPin(PINDIR_OUTPUT, u"Out");
  FakePin* in2 = c->AddPin(PINDIR_INPUT, u"In");
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->AddFilter(b, u"B"));
  ASSERT_EQ(S_OK, graph->AddFilter(c, u"C"));
  ASSERT_EQ(S_OK, graph->ConnectDirect(out, in, nullptr));
  ASSERT_EQ(S_OK, graph->ConnectDirect(out2, in2, nullptr));

  ASSERT_EQ(S_OK, graph->RemoveFilter(a));
  EXPECT_EQ(nullptr, out->Peer());
  EXPECT_EQ(nullptr, in->Peer());
  EXPECT_EQ(1u, a->Count());
  // The other connection is left for the graph's end; TearDown checks the counts.
}

TEST_F(FilterGraphTest, SetDefaultSyncSourceHandsEveryFilterTheSameSystemClock) {
  ASSERT_EQ(S_OK, graph->AddFilter(a, u"A"));
  ASSERT_EQ(S_OK, graph->AddFilter(b, u"B"));
  ASSERT_EQ(S_OK, graph->SetDefaultSyncSource());
  ASSERT_EQ(1u, a->syncSources.size());
  ASSERT_EQ(1u, b->syncSources.size());
  ASSERT_NE(nullptr, a->syncSources[0]);
  EXPECT_EQ(a->syncSources[0], b->syncSources[0]);
  CComHolder<IReferenceClock> clock;
  ASSERT_EQ(S_OK, a->GetSyncSource(clock.ReleaseAndGetAddressOf()));
  REFERENCE_TIME now = 0;
  EXPECT_TRUE(SUCCEEDED(clock->GetTime(&now)));
  clock.Reset();

  b->syncResult = E_FAIL;
  EXPECT_EQ(E_FAIL, graph->SetDefaultSyncSource());
  EXPECT_EQ(2u, a->syncSources.size());  // a failure does not stop the others being told

  graph.Reset();
  EXPECT_EQ(nullptr, a->syncSources.back());
  EXPECT_EQ(nullptr, b->syncSources.back());
}

TEST_F(FilterGraphTest, EventsAreQueuedInOrderWithTheirParameters) {
  CComHolder<IMediaEventSink> sink;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventSink, sink.ReleaseAndGetVoidAddressOf()));
  CComHolder<platform::IGraphEventQueue> queue;
  ASSERT_EQ(S_OK, graph->QueryInterface(platform::IID_IGraphEventQueue,
                                        queue.ReleaseAndGetVoidAddressOf()));

  platform::GraphEvent event{};
  EXPECT_EQ(E_ABORT, queue->TakeEvent(&event, 0));
  EXPECT_EQ(E_POINTER, queue->TakeEvent(nullptr, 0));
  ASSERT_EQ(S_OK, sink->Notify(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0));
  ASSERT_EQ(S_OK, sink->Notify(EC_COMPLETE, S_OK, -7));
  EXPECT_EQ(2u, queue->PendingEventCount());

  ASSERT_EQ(S_OK, queue->TakeEvent(&event, 0));
  EXPECT_EQ(EC_ERRORABORT, event.code);
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, event.param1);
  EXPECT_EQ(0, event.param2);
  ASSERT_EQ(S_OK, queue->TakeEvent(&event, 0));
  EXPECT_EQ(EC_COMPLETE, event.code);
  EXPECT_EQ(-7, event.param2);
  EXPECT_EQ(0u, queue->PendingEventCount());
}

TEST_F(FilterGraphTest, AWaitingReaderGetsAnEventNotifiedFromAnotherThread) {
  CComHolder<IMediaEventSink> sink;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventSink, sink.ReleaseAndGetVoidAddressOf()));
  CComHolder<platform::IGraphEventQueue> queue;
  ASSERT_EQ(S_OK, graph->QueryInterface(platform::IID_IGraphEventQueue,
                                        queue.ReleaseAndGetVoidAddressOf()));
  std::thread notifier([&] {
    for (LONG i = 0; i < 100; ++i) sink->Notify(kUserEvent, i, 0);
  });
  for (LONG i = 0; i < 100; ++i) {
    platform::GraphEvent event{};
    ASSERT_EQ(S_OK, queue->TakeEvent(&event, INFINITE));
    EXPECT_EQ(i, event.param1);
  }
  notifier.join();
}

}  // namespace
}  // namespace streaming_test
