// Leaving Stopped when an output's buffers cannot be committed: found by the
// allocation sweep, where Pause answered S_OK and the stream then delivered
// nothing but its end-of-stream.
#include <gtest/gtest.h>
#include <platform/Faults.h>

#include "HardeningKit.h"

using hardening::SplitterGraph;

namespace {

class PauseFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    m_writer = hardening::InterleavedMovie(3, 3, 300, 200);
    ASSERT_EQ(m_graph.Build(m_writer.Build(), nullptr, 7), S_OK);
  }

  void TearDown() override {
    platform::ResetAllocationFaults();
    EXPECT_TRUE(m_graph.TearDown()) << "an object of the module outlived the test";
    CoUninitialize();
  }

  FILTER_STATE SplitterState() {
    FILTER_STATE state = State_Running;
    EXPECT_EQ(m_graph.Splitter()->GetState(0, &state), S_OK);
    return state;
  }

  // After a refused Pause the filter must still play the whole file.
  void ExpectWholeFilePlays() {
    ASSERT_EQ(m_graph.Pause(), S_OK);
    ASSERT_EQ(m_graph.Run(), S_OK);
    m_graph.AudioInput()->WaitForEndOfStream();
    m_graph.VideoInput()->WaitForEndOfStream();
    const filmwriter::FilmExpectation expect = m_writer.Expect();
    EXPECT_EQ(CheckDelivery(expect, filmwriter::Stream::Audio, m_graph.AudioInput()->Records(),
                            Delivered::Exactly),
              "");
    EXPECT_EQ(CheckDelivery(expect, filmwriter::Stream::Video, m_graph.VideoInput()->Records(),
                            Delivered::Exactly),
              "");
    EXPECT_EQ(m_graph.Stop(), S_OK);
  }

  filmwriter::FilmWriter m_writer;
  SplitterGraph m_graph;
};

TEST_F(PauseFailureTest, PauseReportsBuffersThatCannotBeCommittedAndStaysStopped) {
  // Every heap allocation fails: the output allocators cannot commit.
  platform::FailAllocationsFrom(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(m_graph.Splitter()->Pause(), E_OUTOFMEMORY);
  platform::ResetAllocationFaults();
  EXPECT_EQ(SplitterState(), State_Stopped);
  EXPECT_EQ(m_graph.AudioInput()->ReceiveCount(), 0);
  EXPECT_EQ(m_graph.AudioInput()->EndOfStreamCount(), 0);
  EXPECT_EQ(m_graph.VideoInput()->EndOfStreamCount(), 0);
  ExpectWholeFilePlays();
}

TEST_F(PauseFailureTest, RunFromStoppedReportsTheFailedPause) {
  platform::FailAllocationsFrom(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(m_graph.Splitter()->Run(0), E_OUTOFMEMORY);
  platform::ResetAllocationFaults();
  EXPECT_EQ(SplitterState(), State_Stopped);
  ExpectWholeFilePlays();
}

// The second output's commit fails after the first committed: the first is
// given back, so a later Pause starts from clean allocators.
TEST_F(PauseFailureTest, AFailedSecondCommitReleasesTheFirst) {
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 3);
  EXPECT_EQ(m_graph.Splitter()->Pause(), E_OUTOFMEMORY);
  platform::ResetAllocationFaults();
  EXPECT_EQ(SplitterState(), State_Stopped);
  ExpectWholeFilePlays();
}

}  // namespace
