// The event wait: one EC_COMPLETE for the application once every sink has
// signalled, aborts that end the wait at once, time-outs, and the event queue.
#include <platform/GraphEvents.h>

#include <thread>

#include "GraphTestSupport.h"

namespace graph_test {
namespace {

class GraphCompletionTest : public GraphTest {
 protected:
  // A source feeding two sinks.
  void SetUp() override {
    GraphTest::SetUp();
    source = Add("source");
    audio = Add("audio");
    video = Add("video");
    Link(source, audio);
    Link(source, video);
  }

  // Events the application can take now, codes only.
  std::vector<LONG> QueuedCodes() {
    std::vector<LONG> codes;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
      codes.push_back(code);
      events->FreeEventParams(code, p1, p2);
    }
    return codes;
  }

  FakeFilter* source = nullptr;
  FakeFilter* audio = nullptr;
  FakeFilter* video = nullptr;
};

TEST_F(GraphCompletionTest, CompletesOnlyOnceEverySinkHasSignalled) {
  CComHolder<platform::IGraphRendering> rendering;
  ASSERT_EQ(S_OK, builder->QueryInterface(platform::IID_IGraphRendering,
                                          rendering.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(2u, rendering->SinkCount());
  ASSERT_EQ(S_OK, control->Run());
  LONG code = -1;
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(0, &code));
  EXPECT_EQ(0, code);

  ASSERT_EQ(S_OK, audio->Signal(EC_COMPLETE, S_OK));
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(0, &code));
  // A filter that feeds others has rendered nothing: its word does not count.
  ASSERT_EQ(S_OK, source->Signal(EC_COMPLETE, S_OK));
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(0, &code));
  // A sink that says it again still counts once.
  ASSERT_EQ(S_OK, audio->Signal(EC_COMPLETE, S_OK));
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(0, &code));
  EXPECT_TRUE(QueuedCodes().empty()) << "a single sink's completion reached the application";

  ASSERT_EQ(S_OK, video->Signal(EC_COMPLETE, S_OK));
  EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
  EXPECT_EQ(EC_COMPLETE, code);
  // The wait leaves the event for GetEvent, which sees exactly one.
  LONG_PTR p1 = -1, p2 = -1;
  ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
  EXPECT_EQ(EC_COMPLETE, code);
  EXPECT_EQ(S_OK, static_cast<HRESULT>(p1));
  EXPECT_TRUE(QueuedCodes().empty());
}

TEST_F(GraphCompletionTest, ASinksFailureStatusTravelsInTheOneCompletion) {
  ASSERT_EQ(S_OK, control->Run());
  audio->Signal(EC_COMPLETE, VFW_E_SAMPLE_TIME_NOT_SET);
  video->Signal(EC_COMPLETE, S_OK);
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
  EXPECT_EQ(EC_COMPLETE, code);
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, static_cast<HRESULT>(p1));
}

TEST_F(GraphCompletionTest, AWaiterOnAnotherThreadWakesWhenTheLastSinkSignals) {
  ASSERT_EQ(S_OK, control->Run());
  HRESULT waited = E_FAIL;
  LONG code = 0;
  std::thread waiter([&] { waited = events->WaitForCompletion(-1, &code); });
  std::thread renderer([&] {
    audio->Signal(EC_COMPLETE, S_OK);
    video->Signal(EC_COMPLETE, S_OK);
  });
  renderer.join();
  waiter.join();
  EXPECT_EQ(S_OK, waited);
  EXPECT_EQ(EC_COMPLETE, code);
}

TEST_F(GraphCompletionTest, ErrorAndUserAbortEndTheWaitAtOnceWithTheirCode) {
  for (LONG abortCode : {EC_ERRORABORT, EC_USERABORT}) {
    ASSERT_EQ(S_OK, control->Run());
    HRESULT waited = E_FAIL;
    LONG code = 0;
    std::thread waiter([&] { waited = events->WaitForCompletion(-1, &code); });
    ASSERT_EQ(S_OK, source->Signal(abortCode, VFW_E_INVALIDMEDIATYPE));
    waiter.join();
    EXPECT_EQ(S_OK, waited);
    EXPECT_EQ(abortCode, code);
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(abortCode, code);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, static_cast<HRESULT>(p1));
    // A completion afterwards does not change the verdict.
    audio->Signal(EC_COMPLETE, S_OK);
    video->Signal(EC_COMPLETE, S_OK);
    EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
    EXPECT_EQ(abortCode, code);
    ASSERT_EQ(S_OK, control->Stop());
    QueuedCodes();
  }
}

TEST_F(GraphCompletionTest, TimingOutIsEAbortAndWaitingOnAStoppedGraphIsWrongState) {
  LONG code = -1;
  EXPECT_EQ(VFW_E_WRONG_STATE, events->WaitForCompletion(0, &code));
  EXPECT_EQ(E_POINTER, events->WaitForCompletion(0, nullptr));
  ASSERT_EQ(S_OK, control->Run());
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(20, &code));
  EXPECT_EQ(0, code);
}

TEST_F(GraphCompletionTest, StopWakesAWaiterAndTheNextRunCountsAfresh) {
  ASSERT_EQ(S_OK, control->Run());
  audio->Signal(EC_COMPLETE, S_OK);
  HRESULT waited = S_OK;
  std::thread waiter([&] {
    LONG code = 0;
    waited = events->WaitForCompletion(-1, &code);
  });
  // The waiter may start before or after Stop: either way it must not hang.
  ASSERT_EQ(S_OK, control->Stop());
  waiter.join();
  EXPECT_EQ(VFW_E_WRONG_STATE, waited);

  ASSERT_EQ(S_OK, control->Run());
  video->Signal(EC_COMPLETE, S_OK);
  LONG code = 0;
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(0, &code)) << "audio's earlier signal still counted";
  audio->Signal(EC_COMPLETE, S_OK);
  EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
  EXPECT_EQ(EC_COMPLETE, code);
}

TEST_F(GraphCompletionTest, SinksThatFinishWhilePausedCountWhenTheGraphRuns) {
  ASSERT_EQ(S_OK, control->Pause());
  audio->Signal(EC_COMPLETE, S_OK);
  video->Signal(EC_COMPLETE, S_OK);
  ASSERT_EQ(S_OK, control->Run());
  LONG code = 0;
  EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
  EXPECT_EQ(EC_COMPLETE, code);
  // Renderers signal again on Run; the application still hears one completion.
  audio->Signal(EC_COMPLETE, S_OK);
  video->Signal(EC_COMPLETE, S_OK);
  EXPECT_EQ(std::vector<LONG>{EC_COMPLETE}, QueuedCodes());
}

TEST_F(GraphCompletionTest, CancelledDefaultHandlingPassesEverySinksCompletionThrough) {
  EXPECT_EQ(S_OK, events->CancelDefaultHandling(EC_COMPLETE));
  EXPECT_EQ(S_FALSE, events->CancelDefaultHandling(EC_USERABORT));
  ASSERT_EQ(S_OK, control->Run());
  audio->Signal(EC_COMPLETE, S_OK);
  video->Signal(EC_COMPLETE, S_OK);
  EXPECT_EQ((std::vector<LONG>{EC_COMPLETE, EC_COMPLETE}), QueuedCodes());
  EXPECT_EQ(S_OK, events->RestoreDefaultHandling(EC_COMPLETE));
}

TEST_F(GraphCompletionTest, EventHandleIsSignalledWhileEventsWait) {
  OAEVENT handle = 0;
  ASSERT_EQ(S_OK, events->GetEventHandle(&handle));
  ASSERT_NE(0, handle);
  HANDLE event = reinterpret_cast<HANDLE>(handle);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  source->Signal(0x8000, 1);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
  EXPECT_EQ(std::vector<LONG>{0x8000}, QueuedCodes());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

TEST_F(GraphCompletionTest, NoNotifyDropsEventsButStillEndsTheWait) {
  ASSERT_EQ(S_OK, events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY));
  LONG flags = 0;
  EXPECT_EQ(S_OK, events->GetNotifyFlags(&flags));
  EXPECT_EQ(AM_MEDIAEVENT_NONOTIFY, flags);
  EXPECT_EQ(E_INVALIDARG, events->SetNotifyFlags(4));
  ASSERT_EQ(S_OK, control->Run());
  audio->Signal(EC_COMPLETE, S_OK);
  video->Signal(EC_COMPLETE, S_OK);
  LONG code = 0;
  EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
  EXPECT_TRUE(QueuedCodes().empty());
  EXPECT_EQ(S_OK, events->SetNotifyFlags(0));
}

class EmptyGraphCompletionTest : public GraphTest {};

TEST_F(EmptyGraphCompletionTest, AGraphWithoutSinksCompletesAsSoonAsItRuns) {
  Add("alone");
  ASSERT_EQ(S_OK, control->Run());
  LONG code = 0;
  EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
  EXPECT_EQ(EC_COMPLETE, code);
}

}  // namespace
}  // namespace graph_test
