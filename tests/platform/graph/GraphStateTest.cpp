// State control: the order filters change state in, the clock handed out
// before the first Pause, the stream-time base of Run, and failures.
#include <algorithm>
#include <string>
#include <vector>

#include "GraphTestSupport.h"

namespace graph_test {
namespace {

using Names = std::vector<std::string>;

size_t IndexOf(const Names& names, const std::string& name) {
  return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

class GraphStateTest : public GraphTest {
 protected:
  // source -> transform -> sink, added upstream first so that insertion order
  // is the wrong order for a state change.
  void BuildChain() {
    source = Add("source");
    transform = Add("transform");
    sink = Add("sink");
    Link(source, transform);
    Link(transform, sink);
    log->Take();
  }

  FakeFilter* source = nullptr;
  FakeFilter* transform = nullptr;
  FakeFilter* sink = nullptr;
};

TEST_F(GraphStateTest, PauseRunAndStopReachSinksBeforeTheFiltersFeedingThem) {
  BuildChain();
  ASSERT_EQ(S_OK, control->Pause());
  EXPECT_EQ((Names{"sink", "transform", "source"}), log->Take("Pause"));
  ASSERT_EQ(S_OK, control->Run());
  EXPECT_EQ((Names{"sink", "transform", "source"}), log->Take("Run"));
  ASSERT_EQ(S_OK, control->Stop());
  EXPECT_EQ((Names{"sink", "transform", "source"}), log->Take("Stop"));
}

TEST_F(GraphStateTest, BranchesAndLooseFiltersAreAllOrderedDownstreamFirst) {
  // A splitter feeding two sinks, one through a decoder; a filter on its own.
  FakeFilter* loose = Add("loose");
  FakeFilter* splitter = Add("splitter");
  FakeFilter* decoder = Add("decoder");
  FakeFilter* audio = Add("audio");
  FakeFilter* video = Add("video");
  Link(splitter, audio);
  Link(splitter, decoder);
  Link(decoder, video);
  log->Take();
  ASSERT_EQ(S_OK, control->Pause());
  Names order = log->Take("Pause");
  ASSERT_EQ(5u, order.size());
  EXPECT_LT(IndexOf(order, "audio"), IndexOf(order, "splitter"));
  EXPECT_LT(IndexOf(order, "video"), IndexOf(order, "decoder"));
  EXPECT_LT(IndexOf(order, "decoder"), IndexOf(order, "splitter"));
  EXPECT_NE(order.size(), IndexOf(order, "loose"));
  (void)loose;
  (void)audio;
  (void)video;
}

TEST_F(GraphStateTest, EveryFilterGetsTheSystemClockBeforeTheFirstPause) {
  BuildChain();
  ASSERT_EQ(nullptr, source->Clock());
  ASSERT_EQ(S_OK, control->Pause());
  Names calls = log->Take();
  ASSERT_EQ(6u, calls.size());
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(0u, calls[i].rfind("Sync:", 0)) << calls[i];
  ASSERT_NE(nullptr, source->Clock());
  EXPECT_EQ(source->Clock(), transform->Clock());
  EXPECT_EQ(source->Clock(), sink->Clock());
  REFERENCE_TIME now = -1;
  EXPECT_EQ(S_OK, source->Clock()->GetTime(&now));
  EXPECT_GE(now, 0);

  // The same clock stays; only a newcomer makes the graph hand it out again.
  ASSERT_EQ(S_OK, control->Stop());
  log->Take();
  IReferenceClock* first = source->Clock();
  ASSERT_EQ(S_OK, control->Pause());
  EXPECT_TRUE(log->Take("Sync").empty());
  ASSERT_EQ(S_OK, control->Stop());
  FakeFilter* late = Add("late");
  log->Take();
  ASSERT_EQ(S_OK, control->Pause());
  EXPECT_EQ(4u, log->Take("Sync").size());
  EXPECT_EQ(first, late->Clock());
  EXPECT_EQ(first, source->Clock());
}

TEST_F(GraphStateTest, RunFromStoppedPausesFirstAndGivesEveryFilterOneFutureBase) {
  BuildChain();
  ASSERT_EQ(S_OK, control->Run());
  Names calls = log->Take();
  Names pauses, runs;
  for (const std::string& call : calls) {
    if (call.rfind("Pause:", 0) == 0) pauses.push_back(call);
    if (call.rfind("Run:", 0) == 0) {
      runs.push_back(call);
      EXPECT_EQ(3u, pauses.size()) << "a filter ran before every filter had paused";
    }
  }
  EXPECT_EQ(3u, runs.size());
  ASSERT_EQ(1u, source->runStarts.size());
  const REFERENCE_TIME base = source->runStarts[0];
  EXPECT_EQ(base, transform->runStarts.at(0));
  EXPECT_EQ(base, sink->runStarts.at(0));
  REFERENCE_TIME now = 0;
  ASSERT_EQ(S_OK, source->Clock()->GetTime(&now));
  // The base lies a little ahead of the clock when Run was called.
  EXPECT_GT(base, 0);
  EXPECT_LE(base, now + 10 * 10000);

  // Resuming from a pause moves the base on by at least the pause.
  ASSERT_EQ(S_OK, control->Pause());
  ASSERT_EQ(S_OK, control->Run());
  ASSERT_EQ(2u, source->runStarts.size());
  EXPECT_GE(source->runStarts[1], base);
  EXPECT_EQ(source->runStarts[1], sink->runStarts.at(1));
}

TEST_F(GraphStateTest, RunWhileRunningAndStopWhileStoppedChangeNothing) {
  BuildChain();
  ASSERT_EQ(S_OK, control->Run());
  log->Take();
  EXPECT_EQ(S_OK, control->Run());
  EXPECT_TRUE(log->Take().empty());
  OAFilterState state = -1;
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  EXPECT_EQ(State_Running, state);
  ASSERT_EQ(S_OK, control->Stop());
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);
}

TEST_F(GraphStateTest, OneFailingFilterIsReportedWhileTheOthersStillChange) {
  BuildChain();
  transform->pauseResult = E_FAIL;
  EXPECT_EQ(E_FAIL, control->Pause());
  EXPECT_EQ((Names{"sink", "transform", "source"}), log->Take("Pause"));
  OAFilterState state = -1;
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);

  sink->stopResult = VFW_E_WRONG_STATE;
  EXPECT_EQ(VFW_E_WRONG_STATE, control->Stop());
  EXPECT_EQ((Names{"sink", "transform", "source"}), log->Take("Stop"));
}

TEST_F(GraphStateTest, RunDoesNotRunWhenThePauseBeforeItFailed) {
  BuildChain();
  source->pauseResult = VFW_E_NOT_CONNECTED;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, control->Run());
  EXPECT_TRUE(log->Take("Run").empty());
  OAFilterState state = -1;
  control->GetState(0, &state);
  EXPECT_EQ(State_Paused, state);
}

TEST_F(GraphStateTest, GetStateReportsAFilterStillInTransition) {
  BuildChain();
  ASSERT_EQ(S_OK, control->Pause());
  transform->getStateResult = VFW_S_STATE_INTERMEDIATE;
  OAFilterState state = -1;
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(10, &state));
  EXPECT_EQ(State_Paused, state);
  transform->getStateResult = VFW_S_CANT_CUE;
  EXPECT_EQ(VFW_S_CANT_CUE, control->GetState(10, &state));
  transform->getStateResult = E_FAIL;
  EXPECT_EQ(E_FAIL, control->GetState(10, &state));
  EXPECT_EQ(E_POINTER, control->GetState(0, nullptr));
}

TEST_F(GraphStateTest, StopWhenReadyCuesAndStops) {
  BuildChain();
  EXPECT_EQ(S_OK, control->StopWhenReady());
  Names calls = log->Take();
  EXPECT_EQ(3, std::count_if(calls.begin(), calls.end(),
                             [](const std::string& c) { return c.rfind("Pause:", 0) == 0; }));
  EXPECT_EQ(0u, calls.back().rfind("Stop:", 0));
  OAFilterState state = -1;
  control->GetState(0, &state);
  EXPECT_EQ(State_Stopped, state);
}

TEST_F(GraphStateTest, ReleasingARunningGraphStopsItsFilters) {
  BuildChain();
  ASSERT_EQ(S_OK, control->Run());
  log->Take();
  control.Reset();
  events.Reset();
  builder.Reset();
  EXPECT_EQ((Names{"sink", "transform", "source"}), log->Take("Stop"));
  EXPECT_EQ(1u, source->Count());
}

TEST_F(GraphStateTest, TheGraphHasNoTypeLibraryForLateBinding) {
  CComHolder<IDispatch> dispatch;
  ASSERT_EQ(S_OK, builder->QueryInterface(IID_IDispatch, dispatch.ReleaseAndGetVoidAddressOf()));
  UINT count = 7;
  EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
  EXPECT_EQ(0u, count);
  EXPECT_EQ(E_NOTIMPL,
            dispatch->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
  CComHolder<IUnknown> a, b;
  control->QueryInterface(IID_IUnknown, a.ReleaseAndGetVoidAddressOf());
  events->QueryInterface(IID_IUnknown, b.ReleaseAndGetVoidAddressOf());
  EXPECT_EQ(a.Get(), b.Get());
}

}  // namespace
}  // namespace graph_test
