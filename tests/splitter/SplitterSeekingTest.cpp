#include <gtest/gtest.h>

#include <thread>

#include "SplitterTestKit.h"

using filmwriter::FilmWriter;

namespace {

// 12 frames of 40 ticks at 600 a second (666,666 units each), a key frame
// every fourth; between them 1,470-byte audio chunks of 666,666 units at
// 22,050 bytes a second.
constexpr REFERENCE_TIME kFrame = 666666;
constexpr int kFrames = 12;

FilmWriter SeekMovie(bool audio, bool video) {
  FilmWriter writer;
  for (int i = 0; i < kFrames; ++i) {
    if (audio) {
      writer.AddAudio(Pattern(1470, static_cast<uint8_t>(i)));
    }
    if (video) {
      writer.AddVideo(Pattern(100, static_cast<uint8_t>(100 + i)), 40, i % 4 == 0);
    }
  }
  return writer;
}

class SplitterSeekingTest : public SplitterGraphTest {
 protected:
  CComHolder<IMediaSeeking> Seeking(const WCHAR* pin) {
    CComHolder<IMediaSeeking> seeking;
    EXPECT_EQ(
        SplitterPin(pin)->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddressOf()),
        S_OK);
    return seeking;
  }
  HRESULT SeekTo(const WCHAR* pin, REFERENCE_TIME start) {
    return Seeking(pin)->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                      AM_SEEKING_NoPositioning);
  }
  void WaitForEnds(int count) {
    for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
      if (sink != nullptr) {
        ASSERT_TRUE(sink->Input()->WaitForEndOfStream(count));
      }
    }
  }
  // The samples after the last flush, checked as one segment from start:
  // running times relative to it, preroll exactly for what ends by it.
  static void ExpectSegment(const std::vector<ReceivedSample>& all, int flushes,
                            REFERENCE_TIME start, REFERENCE_TIME firstMediaStart, size_t count) {
    std::vector<ReceivedSample> samples;
    for (const ReceivedSample& sample : all) {
      if (sample.flushes == flushes) {
        samples.push_back(sample);
      }
    }
    ASSERT_EQ(samples.size(), count);
    if (count == 0) {
      return;
    }
    EXPECT_EQ(samples.front().mediaStart, firstMediaStart);
    for (const ReceivedSample& sample : samples) {
      EXPECT_EQ(sample.start, sample.mediaStart - start);
      EXPECT_EQ(sample.stop, sample.mediaStop - start);
      EXPECT_EQ(sample.preroll, sample.mediaStop <= start && sample.mediaStart < start);
    }
  }
};

TEST_F(SplitterSeekingTest, EachTargetStartsVideoAtItsKeyFrameAndAudioAtItsChunk) {
  struct Target {
    REFERENCE_TIME time;
    REFERENCE_TIME keyFrame;  // -1: past the end
    size_t frames;
  };
  const Target targets[] = {
      {0, 0, 12},                        // the first frame
      {6 * kFrame + 5, 4 * kFrame, 8},   // between two key frames
      {8 * kFrame, 8 * kFrame, 4},       // exactly on a key frame
      {12 * kFrame - 1, 8 * kFrame, 4},  // inside the last frame
      {12 * kFrame, -1, 0},              // past the end
  };
  for (const Target& target : targets) {
    SCOPED_TRACE(target.time);
    LoadAndConnectAll(SeekMovie(true, true));
    // While stopped it says where the next Pause starts.
    ASSERT_EQ(SeekTo(WIDE("Video"), target.time), S_OK);
    PauseGraph();
    WaitForEnds(1);
    ExpectSegment(m_videoSink->Input()->Received(), 0, target.time, target.keyFrame, target.frames);
    const REFERENCE_TIME chunk = target.time / kFrame * kFrame;
    ExpectSegment(m_audioSink->Input()->Received(), 0, target.time, chunk,
                  target.keyFrame < 0 ? 0 : size_t(kFrames - chunk / kFrame));
    EXPECT_EQ(m_videoSink->Input()->SegmentStart(), target.time);
    TearDown();
    SetUp();
  }
}

TEST_F(SplitterSeekingTest, SeeksWhilePausedAndRunningFlushOnceAndRestartBothStreams) {
  LoadAndConnectAll(SeekMovie(true, true));
  m_audioSink->Input()->KeepSamples(true);
  m_videoSink->Input()->KeepSamples(true);
  PauseGraph();
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  ASSERT_TRUE(m_audioSink->Input()->WaitForReceived(1));
  // The graph seeks every renderer in turn: the second call moves nothing.
  const REFERENCE_TIME target = 5 * kFrame;
  ASSERT_EQ(SeekTo(WIDE("Audio"), target), S_OK);
  ASSERT_EQ(SeekTo(WIDE("Video"), target), S_OK);
  EXPECT_EQ(m_videoSink->Input()->FlushCount(), 1);
  EXPECT_EQ(m_audioSink->Input()->FlushCount(), 1);
  m_audioSink->Input()->KeepSamples(false);
  m_videoSink->Input()->KeepSamples(false);
  m_audioSink->Input()->DropKept();
  m_videoSink->Input()->DropKept();
  WaitForEnds(1);
  ExpectSegment(m_videoSink->Input()->Received(), 1, target, 4 * kFrame, 8);
  ExpectSegment(m_audioSink->Input()->Received(), 1, target, target, 7);

  // Running, back to the start: nothing of the old place after the flush.
  RunGraph();
  ASSERT_EQ(SeekTo(WIDE("Video"), 0), S_OK);
  WaitForEnds(2);
  ExpectSegment(m_videoSink->Input()->Received(), 2, 0, 0, 12);
  ExpectSegment(m_audioSink->Input()->Received(), 2, 0, 0, 12);
  LONGLONG current = -1;
  EXPECT_EQ(Seeking(WIDE("Audio"))->GetCurrentPosition(&current), S_OK);
  EXPECT_EQ(current, 0);
}

TEST_F(SplitterSeekingTest, AStopPositionEndsEachStreamAtItsFirstSamplePastIt) {
  LoadAndConnectAll(SeekMovie(true, true));
  LONGLONG stop = 3 * kFrame + 1;
  ASSERT_EQ(
      Seeking(WIDE("Audio"))
          ->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning),
      S_OK);
  PauseGraph();
  WaitForEnds(1);
  EXPECT_EQ(m_videoSink->Input()->Received().size(), 4u);
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 4u);
  LONGLONG reported = 0;
  EXPECT_EQ(Seeking(WIDE("Video"))->GetStopPosition(&reported), S_OK);
  EXPECT_EQ(reported, stop);
}

TEST_F(SplitterSeekingTest, DurationAndPositionAgreeForAudioOnlyAndVideoOnlyMovies) {
  for (bool video : {false, true}) {
    SCOPED_TRACE(video ? "video only" : "audio only");
    LoadAndConnectAll(SeekMovie(!video, video));
    {
      const WCHAR* pin = video ? WIDE("Video") : WIDE("Audio");
      // Video: 480 ticks at 600 a second; audio: twelve chunks of 666,666.
      const LONGLONG expected = video ? 8000000 : kFrames * kFrame;
      LONGLONG duration = 0;
      EXPECT_EQ(Seeking(pin)->GetDuration(&duration), S_OK);
      EXPECT_EQ(duration, expected);
      CComHolder<IMediaPosition> position;
      ASSERT_EQ(
          m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
          S_OK);
      REFTIME seconds = 0;
      EXPECT_EQ(position->get_Duration(&seconds), S_OK);
      EXPECT_NEAR(seconds, expected / 1e7, 1e-6);
      EXPECT_EQ(position->put_CurrentPosition(0.5), S_OK);
      LONGLONG current = 0;
      EXPECT_EQ(Seeking(pin)->GetCurrentPosition(&current), S_OK);
      EXPECT_EQ(current, 5000000);
      EXPECT_EQ(Seeking(pin)->SetRate(2.0), E_INVALIDARG);
    }
    TearDown();
    SetUp();
  }
}

TEST_F(SplitterSeekingTest, ASampleOfTheOldPlaceKeepsItsOwnSegmentAndACutRunSendsNoEnd) {
  FilmWriter writer = SeekMovie(true, true);
  const std::vector<uint8_t> file = writer.Build();
  ASSERT_EQ(Load(file), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  // The video worker waits inside its first frame; the audio flush is slow,
  // so the seek stays between its start and the video flush.
  m_source->HoldReadsAt(ChunkPosition(file, 1));
  m_audioSink->Input()->HoldBeginFlush();
  PauseGraph();
  m_source->WaitUntilHeld();
  const REFERENCE_TIME target = 5 * kFrame;
  std::thread seeker([&] { EXPECT_EQ(SeekTo(WIDE("Audio"), target), S_OK); });
  m_audioSink->Input()->WaitUntilFlushHeld();
  m_source->ReleaseHeld();
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  // The frame read before the seek went out with the segment of its run.
  const ReceivedSample early = m_videoSink->Input()->Received().front();
  EXPECT_EQ(early.flushes, 0);
  EXPECT_EQ(early.mediaStart, 0);
  EXPECT_EQ(early.start, 0);
  EXPECT_FALSE(early.preroll);
  m_audioSink->Input()->ReleaseFlush();
  seeker.join();
  WaitForEnds(1);
  // The run the seek cut short sent none: the one end of stream is the new run's.
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamFlushes(), std::vector<int>{1});
  ExpectSegment(m_videoSink->Input()->Received(), 1, target, 4 * kFrame, 8);
}

TEST_F(SplitterSeekingTest, OnlyTheOtherOutputsCallForTheSameSeekJoinsIt) {
  LoadAndConnectAll(SeekMovie(true, true));
  PauseGraph();
  WaitForEnds(1);
  CComHolder<IMediaPosition> position;
  ASSERT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
            S_OK);
  const REFERENCE_TIME target = 5000000;
  ASSERT_EQ(position->put_CurrentPosition(0.5), S_OK);
  WaitForEnds(2);
  // The graph's seek to the same place after the run ended: the first
  // renderer's call seeks, the second's joins it. The sinks hold the new
  // run's first samples meanwhile, as paused renderers do.
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    sink->Input()->KeepSamples(true);
  }
  ASSERT_EQ(SeekTo(WIDE("Audio"), target), S_OK);
  ASSERT_EQ(SeekTo(WIDE("Video"), target), S_OK);
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    ASSERT_EQ(sink->Input()->FlushCount(), 2);
    sink->Input()->KeepSamples(false);
    sink->Input()->DropKept();
  }
  WaitForEnds(3);
  // And the other way round: the position object's call is never joined.
  ASSERT_EQ(position->put_CurrentPosition(0.5), S_OK);
  ASSERT_EQ(m_videoSink->Input()->FlushCount(), 3);
  WaitForEnds(4);
  ExpectSegment(m_videoSink->Input()->Received(), 3, target, 4 * kFrame, 8);
}

TEST_F(SplitterSeekingTest, ASeekReturnsWhileDownstreamKeepsItsOnlyBufferThroughTheFlush) {
  LoadAndConnectAll(SeekMovie(true, true));
  m_videoSink->Input()->KeepSamples(true);
  m_videoSink->Input()->KeepThroughFlush(true);
  PauseGraph();
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  // The worker waits for the buffer the sink keeps; the seek must not wait
  // for the worker, nor the Stop behind it for the seek.
  const REFERENCE_TIME target = 5 * kFrame;
  ASSERT_EQ(SeekTo(WIDE("Video"), target), S_OK);
  EXPECT_EQ(m_videoSink->Input()->FlushCount(), 1);
  // Once the sink lets go, the new place streams.
  m_videoSink->Input()->KeepSamples(false);
  m_videoSink->Input()->DropKept();
  WaitForEnds(1);
  ExpectSegment(m_videoSink->Input()->Received(), 1, target, 4 * kFrame, 8);
  StopGraph();
}

}  // namespace
