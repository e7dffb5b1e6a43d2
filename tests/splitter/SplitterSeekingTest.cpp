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
  HRESULT SetPositions(const WCHAR* pin, LONGLONG start, DWORD startFlags, LONGLONG stop,
                       DWORD stopFlags) {
    return Seeking(pin)->SetPositions(&start, startFlags, &stop, stopFlags);
  }
  CComHolder<IMediaPosition> Position() {
    CComHolder<IMediaPosition> position;
    EXPECT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
              S_OK);
    return position;
  }
  // Stops and disconnects everything but the splitter, as a player does
  // before it loads the next file into the same filter.
  void Unload() {
    StopGraph();
    for (const WCHAR* name : {WIDE("Audio"), WIDE("Video")}) {
      CComHolder<IPin> pin = SplitterPin(name);
      CComHolder<IPin> peer;
      if (pin && pin->ConnectedTo(peer.ReleaseAndGetAddressOf()) == S_OK) {
        peer->Disconnect();
        pin->Disconnect();
      }
    }
    ASSERT_EQ(SplitterPin(WIDE("Input"))->Disconnect(), S_OK);
    ASSERT_EQ(m_source->OutputPin()->Disconnect(), S_OK);
    m_sinks.clear();
    m_audioSink = nullptr;
    m_videoSink = nullptr;
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

TEST_F(SplitterSeekingTest, AStopPositionEndsEachStreamAtItsFirstSampleStartingThere) {
  // Frames and chunks 3 start at 1,999,998: one that starts exactly at the
  // stop lies wholly outside the segment.
  const std::pair<LONGLONG, size_t> stops[] = {{1999997, 3}, {1999998, 3}, {1999999, 4}};
  for (auto [stop, samples] : stops) {
    SCOPED_TRACE(stop);
    LoadAndConnectAll(SeekMovie(true, true));
    ASSERT_EQ(SetPositions(WIDE("Audio"), 0, AM_SEEKING_NoPositioning, stop,
                           AM_SEEKING_AbsolutePositioning),
              S_OK);
    PauseGraph();
    WaitForEnds(1);
    EXPECT_EQ(m_videoSink->Input()->Received().size(), samples);
    EXPECT_EQ(m_audioSink->Input()->Received().size(), samples);
    LONGLONG reported = 0;
    EXPECT_EQ(Seeking(WIDE("Video"))->GetStopPosition(&reported), S_OK);
    EXPECT_EQ(reported, stop);
    TearDown();
    SetUp();
  }
}

TEST_F(SplitterSeekingTest, ASeekWithAStopAnnouncesItInTheNewSegment) {
  LoadAndConnectAll(SeekMovie(true, true));
  PauseGraph();
  WaitForEnds(1);
  // Without a stop the segment runs to the end: 480 ticks at 600 a second.
  EXPECT_EQ(m_videoSink->Input()->SegmentStop(), 8000000);
  // From frame 5 to the start of frame 8.
  ASSERT_EQ(SetPositions(WIDE("Video"), 3333330, AM_SEEKING_AbsolutePositioning, 5333328,
                         AM_SEEKING_AbsolutePositioning),
            S_OK);
  WaitForEnds(2);
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    EXPECT_EQ(sink->Input()->SegmentStart(), 3333330);
    EXPECT_EQ(sink->Input()->SegmentStop(), 5333328);
  }
  ExpectSegment(m_videoSink->Input()->Received(), 1, 3333330, 4 * kFrame, 4);
  ExpectSegment(m_audioSink->Input()->Received(), 1, 3333330, 5 * kFrame, 3);
}

// Every way of saying a position, from a segment [2,000,000, 6,000,000) of
// a movie 8,000,000 long: what SetPositions answers, the segment it leaves,
// and what it writes back into the caller's variables.
TEST_F(SplitterSeekingTest, SetPositionsResolvesEveryFlagAndClampsTheSegment) {
  constexpr DWORD kNone = AM_SEEKING_NoPositioning;
  constexpr DWORD kAbs = AM_SEEKING_AbsolutePositioning;
  constexpr DWORD kRel = AM_SEEKING_RelativePositioning;
  constexpr DWORD kInc = AM_SEEKING_IncrementalPositioning;
  constexpr DWORD kRet = AM_SEEKING_ReturnTime;
  struct Case {
    const char* what;
    DWORD startFlags;
    LONGLONG start;
    DWORD stopFlags;
    LONGLONG stop;
    HRESULT result;
    LONGLONG segmentStart;
    LONGLONG segmentStop;
    LONGLONG startAfter;  // the caller's variables after the call
    LONGLONG stopAfter;
  };
  const Case cases[] = {
      {"absolute", kAbs, 3000000, kAbs, 5000000, S_OK, 3000000, 5000000, 3000000, 5000000},
      {"relative start", kRel, 1000000, kNone, 0, S_OK, 3000000, 6000000, 1000000, 0},
      {"relative stop", kNone, 0, kRel, -1000000, S_OK, 2000000, 5000000, 0, -1000000},
      {"relative start back", kRel, -500000, kNone, 0, S_OK, 1500000, 6000000, -500000, 0},
      {"incremental stop from the new start", kAbs, 1000000, kInc, 2500000, S_OK, 1000000, 3500000,
       1000000, 2500000},
      {"incremental stop from the start kept", kNone, 0, kInc, 1000000, S_OK, 2000000, 3000000, 0,
       1000000},
      {"incremental start", kInc, 1000000, kNone, 0, E_INVALIDARG, 2000000, 6000000, 1000000, 0},
      {"negative start", kAbs, -100, kNone, 0, S_OK, 0, 6000000, -100, 0},
      {"relative start before zero", kRel, -3000000, kNone, 0, S_OK, 0, 6000000, -3000000, 0},
      {"stop before the new start", kAbs, 4000000, kAbs, 3000000, S_OK, 4000000, 4000000, 4000000,
       3000000},
      {"stop before the start kept", kNone, 0, kAbs, 1000000, S_OK, 2000000, 2000000, 0, 1000000},
      {"neither end", kNone, 7, kNone, 9, S_OK, 2000000, 6000000, 7, 9},
      {"return time of a clamped stop", kAbs | kRet, 4000000, kAbs | kRet, 3000000, S_OK, 4000000,
       4000000, 4000000, 4000000},
      {"return time of an end that stays", kRel | kRet, 500000, kNone | kRet, 0, S_OK, 2500000,
       6000000, 2500000, 6000000},
  };
  LoadAndConnectAll(SeekMovie(true, true));
  CComHolder<IMediaPosition> position = Position();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The position object's calls are never joined: each row starts anew.
    ASSERT_EQ(position->put_CurrentPosition(0.2), S_OK);
    ASSERT_EQ(position->put_StopTime(0.6), S_OK);
    LONGLONG start = c.start;
    LONGLONG stop = c.stop;
    EXPECT_EQ(Seeking(WIDE("Video"))->SetPositions(&start, c.startFlags, &stop, c.stopFlags),
              c.result);
    EXPECT_EQ(start, c.startAfter);
    EXPECT_EQ(stop, c.stopAfter);
    LONGLONG segmentStart = -1;
    LONGLONG segmentStop = -1;
    EXPECT_EQ(Seeking(WIDE("Audio"))->GetPositions(&segmentStart, &segmentStop), S_OK);
    EXPECT_EQ(segmentStart, c.segmentStart);
    EXPECT_EQ(segmentStop, c.segmentStop);
  }
}

TEST_F(SplitterSeekingTest, TheFiltersPositionObjectMovesTheStopTheStreamsEndAt) {
  LoadAndConnectAll(SeekMovie(true, true));
  CComHolder<IMediaPosition> position = Position();
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    sink->Input()->KeepSamples(true);
  }
  PauseGraph();
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  ASSERT_TRUE(m_audioSink->Input()->WaitForReceived(1));
  // While both streams flow: frames and chunks 0 to 4 start before 0.3 s.
  ASSERT_EQ(position->put_StopTime(0.3), S_OK);
  REFTIME seconds = 0;
  EXPECT_EQ(position->get_StopTime(&seconds), S_OK);
  EXPECT_DOUBLE_EQ(seconds, 0.3);
  LONGLONG stop = 0;
  EXPECT_EQ(Seeking(WIDE("Audio"))->GetStopPosition(&stop), S_OK);
  EXPECT_EQ(stop, 3000000);
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    sink->Input()->KeepSamples(false);
    sink->Input()->DropKept();
  }
  WaitForEnds(1);
  EXPECT_EQ(m_videoSink->Input()->Received().size(), 5u);
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 5u);
  EXPECT_EQ(m_videoSink->Input()->FlushCount(), 0);
  // And a pin's stop is the one the position object reads.
  ASSERT_EQ(SetPositions(WIDE("Video"), 0, AM_SEEKING_NoPositioning, 1500000,
                         AM_SEEKING_AbsolutePositioning),
            S_OK);
  EXPECT_EQ(position->get_StopTime(&seconds), S_OK);
  EXPECT_DOUBLE_EQ(seconds, 0.15);
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
      // All of the movie is there to seek in.
      LONGLONG earliest = -1;
      LONGLONG latest = -1;
      EXPECT_EQ(Seeking(pin)->GetAvailable(&earliest, &latest), S_OK);
      EXPECT_EQ(earliest, 0);
      EXPECT_EQ(latest, expected);
      CComHolder<IMediaPosition> position;
      ASSERT_EQ(
          m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
          S_OK);
      REFTIME seconds = 0;
      EXPECT_EQ(position->get_Duration(&seconds), S_OK);
      // The same duration, only in seconds.
      EXPECT_EQ(seconds, static_cast<double>(expected) / 1e7);
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

// What an output answers when asked for capabilities it may lack, and for
// time formats: media time, which TIME_FORMAT_NONE asks for by default.
TEST_F(SplitterSeekingTest, OutputsAnswerForTheirCapabilitiesAndMediaTimeOnly) {
  constexpr DWORD kAbsolute = AM_SEEKING_CanSeekAbsolute;
  constexpr DWORD kBackwards = AM_SEEKING_CanPlayBackwards;
  const struct {
    DWORD asked;
    HRESULT result;
    DWORD left;
  } capabilities[] = {
      {kAbsolute | AM_SEEKING_CanGetDuration, S_OK, kAbsolute | AM_SEEKING_CanGetDuration},
      {kAbsolute | kBackwards, S_FALSE, kAbsolute},
      {kBackwards | AM_SEEKING_CanDoSegments, E_FAIL, 0},
  };
  const struct {
    const GUID* format;
    HRESULT result;
  } formats[] = {
      {&TIME_FORMAT_MEDIA_TIME, S_OK},
      {&TIME_FORMAT_NONE, S_OK},
      {&TIME_FORMAT_FRAME, E_INVALIDARG},
  };
  LoadAndConnectAll(SeekMovie(true, true));
  for (const WCHAR* pin : {WIDE("Audio"), WIDE("Video")}) {
    for (const auto& c : capabilities) {
      SCOPED_TRACE(c.asked);
      DWORD asked = c.asked;
      EXPECT_EQ(Seeking(pin)->CheckCapabilities(&asked), c.result);
      EXPECT_EQ(asked, c.left);
    }
    for (const auto& f : formats) {
      EXPECT_EQ(Seeking(pin)->SetTimeFormat(f.format), f.result);
    }
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

// Only the other output's call that directly follows a seek joins it: the
// same pin's call again, or the other's after a state change, seeks anew.
TEST_F(SplitterSeekingTest, ASeekIsJoinedOnlyByTheOtherOutputsCallThatFollowsIt) {
  const REFERENCE_TIME target = 5 * kFrame;
  for (const bool stateChange : {false, true}) {
    SCOPED_TRACE(stateChange ? "the other pin after Run and Pause" : "the same pin again");
    LoadAndConnectAll(SeekMovie(true, true));
    // Paused renderers hold their first samples: no run ends between the calls.
    for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
      sink->Input()->KeepSamples(true);
    }
    PauseGraph();
    ASSERT_EQ(SeekTo(WIDE("Video"), target), S_OK);
    if (stateChange) {
      RunGraph();
      PauseGraph();
    }
    ASSERT_EQ(SeekTo(stateChange ? WIDE("Audio") : WIDE("Video"), target), S_OK);
    for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
      EXPECT_EQ(sink->Input()->FlushCount(), 2);
      sink->Input()->KeepSamples(false);
      sink->Input()->DropKept();
    }
    WaitForEnds(1);
    if (!stateChange) {
      ExpectSegment(m_videoSink->Input()->Received(), 2, target, 4 * kFrame, 8);
      ExpectSegment(m_audioSink->Input()->Received(), 2, target, target, 7);
    }
    StopGraph();
    Unload();
  }
}

// The graph's seek reaches the Audio pin, then the Video pin: one seek even
// when the new runs are so short that they end in between, with one flush
// and the tail delivered once.
TEST_F(SplitterSeekingTest, ASeekStaysOneWhenItsRunsEndBeforeTheOtherOutputsCall) {
  LoadAndConnectAll(SeekMovie(true, true));
  PauseGraph();
  WaitForEnds(1);
  const REFERENCE_TIME target = 9 * kFrame;
  ASSERT_EQ(SeekTo(WIDE("Audio"), target), S_OK);
  WaitForEnds(2);
  ASSERT_EQ(SeekTo(WIDE("Video"), target), S_OK);
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    EXPECT_EQ(sink->Input()->FlushCount(), 1);
  }
  ExpectSegment(m_videoSink->Input()->Received(), 1, target, 8 * kFrame, 4);
  ExpectSegment(m_audioSink->Input()->Received(), 1, target, target, 3);
  StopGraph();
}

TEST_F(SplitterSeekingTest, ASecondFileSeeksByItsOwnIndexFromItsOwnStart) {
  LoadAndConnectAll(SeekMovie(true, true));
  ASSERT_EQ(SetPositions(WIDE("Video"), 5 * kFrame, AM_SEEKING_AbsolutePositioning, 7 * kFrame,
                         AM_SEEKING_AbsolutePositioning),
            S_OK);
  PauseGraph();
  WaitForEnds(1);  // the first file's index is built
  Unload();
  // Six frames of 20 ticks (333,333 units), a key frame every third, and
  // 735-byte chunks as long.
  FilmWriter second;
  for (int i = 0; i < 6; ++i) {
    second.AddAudio(Pattern(735, static_cast<uint8_t>(i)));
    second.AddVideo(Pattern(100, static_cast<uint8_t>(50 + i)), 20, i % 3 == 0);
  }
  LoadAndConnectAll(second);
  LONGLONG start = -1;
  LONGLONG stop = -1;
  LONGLONG duration = -1;
  EXPECT_EQ(Seeking(WIDE("Video"))->GetPositions(&start, &stop), S_OK);
  EXPECT_EQ(Seeking(WIDE("Video"))->GetDuration(&duration), S_OK);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(stop, 2000000);  // 120 ticks at 600 a second
  EXPECT_EQ(duration, 2000000);
  ASSERT_EQ(SeekTo(WIDE("Video"), 1000000), S_OK);
  PauseGraph();
  WaitForEnds(1);
  // Frame 3, a key frame, and chunk 3 both start at 999,999.
  ExpectSegment(m_videoSink->Input()->Received(), 0, 1000000, 999999, 3);
  ExpectSegment(m_audioSink->Input()->Received(), 0, 1000000, 999999, 3);
  EXPECT_EQ(m_videoSink->Input()->SegmentStop(), 2000000);
}

}  // namespace
