#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <tuple>
#include <utility>

#include "SplitterTestKit.h"
#include "module/SystemAllocator.h"
#include "support/PrefixlessAllocator.h"
#include "support/RecordingSinkFilter.h"

using filmwriter::FilmExpectation;
using filmwriter::FilmFormat;
using filmwriter::FilmWriter;

namespace {

class SplitterStreamingTest : public SplitterGraphTest {
 protected:
  // Pauses the graph and waits for end-of-stream on every connected sink.
  void StreamToEnd() {
    PauseGraph();
    for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
      if (sink != nullptr) {
        ASSERT_TRUE(sink->Input()->WaitForEndOfStream(1));
      }
    }
  }
};

FilmWriter MovieWithFormat(uint8_t channels, uint8_t bits, uint16_t rate) {
  FilmFormat format;
  format.channels = channels;
  format.bitsPerSample = bits;
  format.sampleRate = rate;
  FilmWriter writer(format);
  const size_t frame = channels * bits / 8;
  for (int i = 0; i < 5; ++i) {
    // Whole frames, except two odd chunks that go out cut to whole frames
    // (a stereo pair's halves of an odd number of bytes among them).
    size_t length = frame * (400 + 31 * i) + (i == 3 ? 1 : 0) + (i == 4 ? 2 : 0);
    writer.AddAudio(Pattern(length, static_cast<uint8_t>(i)));
    writer.AddVideo(Pattern(500 + 9 * i, static_cast<uint8_t>(50 + i)), 25 + i, i != 2);
  }
  return writer;
}

}  // namespace

TEST_F(SplitterStreamingTest, WholeFileArrivesWithTheWritersTimesAndBytes) {
  FilmWriter writer = SmallMovie(6, 5);
  LoadAndConnectAll(writer);
  StreamToEnd();
  FilmExpectation expect = writer.Expect();
  ASSERT_EQ(expect.samples.size(), 11u);
  ExpectDelivered(expect);
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount(), 1);
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamCount(), 1);
}

TEST_F(SplitterStreamingTest, EveryConvertedAudioLayoutArrivesInterleavedAndLittleEndian) {
  for (auto [channels, bits] : {std::pair<uint8_t, uint8_t>{1, 8}, {1, 16}, {2, 8}, {2, 16}}) {
    SCOPED_TRACE(::testing::Message() << int(channels) << " channels, " << int(bits) << " bits");
    TearDown();
    SetUp();
    FilmWriter writer = MovieWithFormat(channels, bits, 22050);
    LoadAndConnectAll(writer);
    StreamToEnd();
    ExpectDelivered(writer.Expect());
  }
}

TEST_F(SplitterStreamingTest, LayoutsWithoutConversionGoOutAsStored) {
  FilmFormat format;
  format.channels = 3;
  format.bitsPerSample = 8;
  FilmWriter writer(format);
  writer.AddAudio(Pattern(999, 1));
  writer.AddAudio(Pattern(12, 2));
  LoadAndConnectAll(writer);
  StreamToEnd();
  ExpectDelivered(writer.Expect());
}

TEST_F(SplitterStreamingTest, GeneratedFilmsArriveWithTheWritersTimesAndBytes) {
  // Rates and time bases no hand-made movie uses, chunks of any length: the
  // rounding of every duration and the cut of every odd chunk are the
  // worker's own.
  std::mt19937 rng(7);
  const std::pair<uint8_t, uint8_t> layouts[] = {{1, 8}, {1, 16}, {2, 8}, {2, 16}, {3, 8}, {1, 12}};
  for (int film = 0; film < 24; ++film) {
    SCOPED_TRACE(film);
    TearDown();
    SetUp();
    FilmFormat format;
    std::tie(format.channels, format.bitsPerSample) = layouts[film % 6];
    format.sampleRate = static_cast<uint16_t>(8000 + rng() % 40000);
    format.timeBase = 1 + rng() % 1000;
    FilmWriter writer(format);
    const int rows = 1 + static_cast<int>(rng() % 30);
    for (int i = 0; i < rows; ++i) {
      const uint8_t seed = static_cast<uint8_t>(rng());
      if (rng() % 2 == 0) {
        writer.AddAudio(Pattern(rng() % 3000, seed));
      } else {
        writer.AddVideo(Pattern(10 + rng() % 3000, seed), rng() % 100, rng() % 4 != 0);
      }
    }
    LoadAndConnectAll(writer);
    StreamToEnd();
    ExpectDelivered(writer.Expect());
  }
}

TEST_F(SplitterStreamingTest, AnEmptyTableSendsEndOfStreamAtOnce) {
  FilmWriter writer;
  LoadAndConnectAll(writer);
  ASSERT_NE(m_audioSink, nullptr);
  StreamToEnd();
  EXPECT_TRUE(m_audioSink->Input()->Received().empty());
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount(), 1);
}

TEST_F(SplitterStreamingTest, AnUnconnectedOutputLosesItsRowsWhileTheOtherFlows) {
  FilmWriter writer = SmallMovie(5, 5);
  ASSERT_EQ(Load(writer), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  StreamToEnd();
  FilmWriter videoOnly = SmallMovie(0, 5);
  ExpectDelivered(videoOnly.Expect());
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamCount(), 1);
  // The audio chunks were never read.
  const std::vector<uint8_t> file = writer.Build();
  for (const auto& read : m_source->Reads()) {
    for (uint32_t row = 0; row < 10; row += 2) {
      EXPECT_NE(read.position, ChunkPosition(file, row));
    }
  }
}

TEST_F(SplitterStreamingTest, StopInTheMiddleAndPauseAgainReplaysFromTheFirstRowAtTimeZero) {
  FilmWriter writer = SmallMovie(6, 6);
  LoadAndConnectAll(writer);
  // With its one buffer kept downstream, the worker waits for the second frame.
  m_videoSink->Input()->KeepSamples(true);
  PauseGraph();
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  StopGraph();
  EXPECT_LT(m_videoSink->Input()->Received().size(), 6u);

  m_videoSink->Input()->KeepSamples(false);
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    sink->Input()->DropKept();
    sink->Input()->ClearRecords();
  }
  StreamToEnd();
  ExpectDelivered(writer.Expect());
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount(), 1);
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamCount(), 1);
}

// Pause, Run and Pause again while both renderers hold their first sample:
// each output's worker goes on where it was, the audio one to its end while
// the video renderer still holds its picture, and no row goes out twice.
TEST_F(SplitterStreamingTest, PauseRunPauseKeepsOneWorkerStreamingWithoutRepeats) {
  FilmWriter writer = SmallMovie(8, 8);
  LoadAndConnectAll(writer);
  m_audioSink->Input()->KeepSamples(true);
  m_videoSink->Input()->KeepSamples(true);
  PauseGraph();
  ASSERT_TRUE(m_audioSink->Input()->WaitForReceived(1));
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  RunGraph();
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(m_splitter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  PauseGraph();
  EXPECT_EQ(m_splitter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  // Both workers waited for a buffer through Run and Pause; the held
  // picture now holds back its own stream only.
  m_audioSink->Input()->KeepSamples(false);
  m_audioSink->Input()->DropKept();
  ASSERT_TRUE(m_audioSink->Input()->WaitForEndOfStream(1));
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamCount(), 0);
  const size_t heldVideo = m_videoSink->Input()->Received().size();
  EXPECT_LT(heldVideo, 8u);

  m_videoSink->Input()->KeepSamples(false);
  m_videoSink->Input()->DropKept();
  ASSERT_TRUE(m_videoSink->Input()->WaitForEndOfStream(1));
  ExpectDelivered(writer.Expect());
  // One thread fed each output through every state, each its own.
  const std::vector<ReceivedSample> audio = m_audioSink->Input()->Received();
  const std::vector<ReceivedSample> video = m_videoSink->Input()->Received();
  ASSERT_FALSE(audio.empty());
  ASSERT_FALSE(video.empty());
  for (const ReceivedSample& sample : audio) EXPECT_EQ(sample.thread, audio[0].thread);
  for (const ReceivedSample& sample : video) EXPECT_EQ(sample.thread, video[0].thread);
  EXPECT_NE(audio[0].thread, video[0].thread);
  // Running again after the end restarts nothing; Stop joins the workers, so
  // whatever a restart sent is in the counts.
  RunGraph();
  PauseGraph();
  StopGraph();
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount(), 1);
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamCount(), 1);
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 8u);
  EXPECT_EQ(m_videoSink->Input()->Received().size(), 8u);
}

TEST_F(SplitterStreamingTest, StopCompletesWhileTheWorkerWaitsForABufferDownstreamKeeps) {
  FilmWriter writer = SmallMovie(10, 10);
  LoadAndConnectAll(writer);
  m_audioSink->Input()->KeepSamples(true);
  m_videoSink->Input()->KeepSamples(true);
  PauseGraph();
  ASSERT_TRUE(m_audioSink->Input()->WaitForReceived(1));
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  // Downstream stops first and decommits; the splitter's Stop then joins a
  // worker that has left GetBuffer.
  StopGraph();
  FILTER_STATE state = State_Running;
  EXPECT_EQ(m_splitter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 1u);
  EXPECT_EQ(m_videoSink->Input()->Received().size(), 1u);
}

TEST_F(SplitterStreamingTest, StopReturnsWhileDownstreamStillHoldsItsBuffers) {
  LoadAndConnectAll(SmallMovie(10, 10));
  m_audioSink->Input()->KeepSamples(true);
  m_videoSink->Input()->KeepSamples(true);
  PauseGraph();
  ASSERT_TRUE(m_audioSink->Input()->WaitForReceived(1));
  ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
  // The sinks are still paused and keep their one buffer each: the workers
  // wait in GetBuffer until Stop decommits the outputs.
  EXPECT_EQ(m_splitter->Stop(), S_OK);
  m_audioSink->Input()->DropKept();
  m_videoSink->Input()->DropKept();
  EXPECT_EQ(m_audioSink->Input()->ReceiveCount(), 1);
  EXPECT_EQ(m_videoSink->Input()->ReceiveCount(), 1);
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount() + m_videoSink->Input()->EndOfStreamCount(), 0);
  StopGraph();
}

TEST_F(SplitterStreamingTest, AStreamHeldDownstreamHoldsBackNoOtherStream) {
  for (bool audioFirst : {true, false}) {
    SCOPED_TRACE(audioFirst ? "300 audio rows first" : "300 video rows first");
    FilmWriter writer;
    for (int i = 0; i < 300; ++i) {
      if (audioFirst) {
        writer.AddAudio(Pattern(20, static_cast<uint8_t>(i)));
      } else {
        writer.AddVideo(Pattern(40, static_cast<uint8_t>(i)), 1);
      }
    }
    for (int i = 0; i < 3; ++i) {
      if (audioFirst) {
        writer.AddVideo(Pattern(40, static_cast<uint8_t>(i)), 1);
      } else {
        writer.AddAudio(Pattern(20, static_cast<uint8_t>(i)));
      }
    }
    LoadAndConnectAll(writer);
    // The first stream's renderer holds its first sample, as a paused one does.
    RecordingSinkFilter* held = audioFirst ? m_audioSink : m_videoSink;
    RecordingSinkFilter* other = audioFirst ? m_videoSink : m_audioSink;
    held->Input()->KeepSamples(true);
    PauseGraph();
    ASSERT_TRUE(other->Input()->WaitForEndOfStream(1));
    EXPECT_EQ(other->Input()->Received().size(), 3u);
    ASSERT_TRUE(held->Input()->WaitForReceived(1));
    held->Input()->KeepSamples(false);
    held->Input()->DropKept();
    ASSERT_TRUE(held->Input()->WaitForEndOfStream(1));
    ExpectDelivered(writer.Expect());
    TearDown();
    SetUp();
  }
}

TEST_F(SplitterStreamingTest, AFilterReleasedWhilePausedEndsItsWorker) {
  for (bool midStream : {false, true}) {
    SCOPED_TRACE(midStream ? "mid-stream" : "after the end");
    TearDown();
    SetUp();
    FilmWriter writer = SmallMovie(10, 10);
    LoadAndConnectAll(writer);
    m_videoSink->Input()->KeepSamples(midStream);
    PauseGraph();
    if (midStream) {
      ASSERT_TRUE(m_videoSink->Input()->WaitForReceived(1));
    } else {
      ASSERT_TRUE(m_videoSink->Input()->WaitForEndOfStream(1));
    }
    // Everyone else lets go while the splitter stays paused.
    for (auto& sink : m_sinks) {
      sink->Stop();
      CComHolder<IPin> peer;
      auto* input = static_cast<RecordingSinkFilter*>(sink.Get())->Input();
      static_cast<IPin*>(input)->Disconnect();
      input->DropKept();
    }
    m_source->OutputPin()->Disconnect();
    m_filter = nullptr;
    m_splitter.Reset();
  }
}

TEST_F(SplitterStreamingTest, AFailedChunkReadDropsThatRowAndKeepsLaterTimes) {
  FilmWriter writer = SmallMovie(4, 4);  // rows: audio 0, video 1, audio 2, ...
  const std::vector<uint8_t> file = writer.Build();
  m_source = nullptr;
  ASSERT_EQ(Load(file), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  m_source->AnswerAt(ChunkPosition(file, 2), E_FAIL);       // audio chunk
  m_source->AnswerAt(ChunkPosition(file, 3) + 12, E_FAIL);  // video body
  m_source->AnswerAt(ChunkPosition(file, 5), E_FAIL);       // video head
  StreamToEnd();

  ExpectDelivered(WithoutRows(writer.Expect(), {2, 3, 5}));
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount(), 1);
  EXPECT_EQ(m_videoSink->Input()->EndOfStreamCount(), 1);
}

TEST_F(SplitterStreamingTest, ReadsAnsweredWithSFalseStillDeliverWholeSamples) {
  FilmWriter writer = SmallMovie(3, 3);
  const std::vector<uint8_t> file = writer.Build();
  ASSERT_EQ(Load(file), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  m_source->AnswerAt(ChunkPosition(file, 0), S_FALSE);
  m_source->AnswerAt(ChunkPosition(file, 1), S_FALSE);
  m_source->AnswerAt(ChunkPosition(file, 3) + 12, S_FALSE);
  StreamToEnd();
  ExpectDelivered(writer.Expect());
}

TEST_F(SplitterStreamingTest, SmallChunksNearbyShareReadsAndALargeFrameTakesOneRead) {
  FilmWriter writer = SmallMovie(40, 40);
  // The largest frame too: the two bytes it drops land in the allocator's
  // prefix, in front of a buffer that holds the frame and nothing more.
  const struct {
    uint32_t row;
    LONG stored;  // the frame and the two bytes it drops
  } larges[] = {{writer.AddVideo(Pattern(40000, 7), 40, true), 40002},
                {writer.AddVideo(Pattern(film::kVideoSampleLength, 8), 40, true),
                 static_cast<LONG>(film::kVideoSampleLength + 2)}};
  const std::vector<uint8_t> file = writer.Build();
  ASSERT_EQ(Load(file), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  StreamToEnd();
  ExpectDelivered(writer.Expect());

  size_t chunkReads = 0;
  size_t largeReads = 0;
  for (const MemoryAsyncSource::Read& read : m_source->Reads()) {
    EXPECT_LE(read.position + read.length, static_cast<LONGLONG>(file.size()));
    chunkReads += read.position >= ChunkPosition(file, 0) ? 1 : 0;
    for (const auto& large : larges) {
      const LONGLONG position = ChunkPosition(file, large.row);
      if (read.position >= position && read.position < position + large.stored) {
        ++largeReads;
        EXPECT_EQ(read.position, position);  // the whole stored chunk
        EXPECT_EQ(read.length, large.stored);
      }
    }
  }
  EXPECT_EQ(largeReads, 2u);
  // 82 chunks; each stream's small ones lie a few kilobytes apart.
  EXPECT_LT(chunkReads, 11u);
}

TEST_F(SplitterStreamingTest, AnAllocatorWithoutRoomInFrontStillGetsExactFrames) {
  FilmFormat format;
  format.channels = 0;
  FilmWriter writer(format);
  // Frames too large to share a read: each is read into its sample's buffer.
  for (int i = 0; i < 3; ++i) {
    writer.AddVideo(Pattern(20000 + 1000 * i, static_cast<uint8_t>(i)), 40, i == 0);
  }
  ASSERT_EQ(Load(writer), S_OK);
  CComHolder<IMemAllocator> system;
  ASSERT_EQ(CreateSystemAllocator(system.ReleaseAndGetAddressOf()), S_OK);
  CComHolder<IMemAllocator> refusing(
      new PrefixlessAllocator(system.Get(), PrefixlessAllocator::Answer::Refuse));
  auto* sink = new RecordingSinkFilter();
  CComHolder<IBaseFilter> sinkFilter(static_cast<IBaseFilter*>(sink));
  sink->Input()->offeredAllocator = refusing.Get();
  CComHolder<IPin> video = SplitterPin(WIDE("Video"));
  ASSERT_EQ(video->Connect(static_cast<IPin*>(sink->Input()), nullptr), S_OK);
  // The output keeps downstream's allocator and gives up the prefix.
  ASSERT_EQ(sink->Input()->Allocator(), refusing.Get());
  ALLOCATOR_PROPERTIES granted = {};
  ASSERT_EQ(refusing->GetProperties(&granted), S_OK);
  EXPECT_EQ(granted.cbPrefix, 0);

  sinkFilter->Pause();
  PauseGraph();
  sink->Input()->WaitForReceived(3);
  const std::vector<ReceivedSample> got = sink->Input()->Received();
  const FilmExpectation expect = writer.Expect();
  ASSERT_EQ(got.size(), expect.samples.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    const filmwriter::ExpectedSample& want = expect.samples[i];
    EXPECT_EQ(got[i].start, want.start);
    EXPECT_EQ(got[i].stop, want.stop);
    ASSERT_EQ(got[i].bytes.size(), want.payload.size());
    EXPECT_TRUE(std::equal(want.payload.begin(), want.payload.begin() + want.determinedLength,
                           got[i].bytes.begin()));
  }
  sinkFilter->Stop();
  StopGraph();
  EXPECT_EQ(video->Disconnect(), S_OK);
  EXPECT_EQ(static_cast<IPin*>(sink->Input())->Disconnect(), S_OK);
}

TEST_F(SplitterStreamingTest, ASampleDownstreamRefusesDoesNotAdvanceTheRunningTime) {
  FilmWriter writer = SmallMovie(3, 3);
  LoadAndConnectAll(writer);
  m_audioSink->Input()->RefuseReceive(1, E_FAIL);
  m_videoSink->Input()->RefuseReceive(0, VFW_E_RUNTIME_ERROR);
  StreamToEnd();
  FilmWriter survivors;
  for (int i = 0; i < 3; ++i) {
    if (i != 1) {
      survivors.AddAudio(Pattern(2205 + 7 * i, static_cast<uint8_t>(i)));
    }
    if (i != 0) {
      survivors.AddVideo(Pattern(300 + 13 * i, static_cast<uint8_t>(100 + i)), 40, i % 3 == 0);
    }
  }
  ExpectDelivered(survivors.Expect());
}

TEST_F(SplitterStreamingTest, HostileChunksAreDroppedWithoutWritingPastAnyBuffer) {
  FilmWriter writer;
  writer.AddAudio(Pattern(65536, 1));                    // exactly the staging buffer
  writer.AddAudio(Pattern(65537, 2));                    // one byte too many
  writer.AddVideo(Pattern(262144, 3), 40);               // exactly one sample buffer
  writer.AddVideo(Pattern(262145, 4), 40);               // one byte too many
  writer.AddStoredRow(0x00000010u, 40, Pattern(11, 5));  // video chunk shorter than its head
  writer.AddStoredRow(0x00000020u, 40, Pattern(0, 6));   // empty video chunk
  const uint32_t farRow = writer.AddVideo(Pattern(100, 7), 40);
  writer.SetChunkOffset(farRow, 0xFFFFFF00u);  // wraps round the 32-bit position
  writer.AddAudio(Pattern(10, 8));
  writer.AddAudio({});  // a chunk of no bytes lasts no time
  FilmExpectation expect = writer.Expect();
  ASSERT_TRUE(expect.unpredictedRows.empty() || expect.unpredictedRows == std::vector<uint32_t>{6});

  ASSERT_EQ(Load(writer), S_OK);
  m_source->SetPastEnd(MemoryAsyncSource::PastEnd::Fail);
  ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  StreamToEnd();
  if (expect.unpredictedRows.empty()) {
    ExpectDelivered(expect);
  }
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 3u);
  EXPECT_GE(m_videoSink->Input()->Received().size(), 1u);
  EXPECT_EQ(m_audioSink->Input()->EndOfStreamCount(), 1);
}

TEST_F(SplitterStreamingTest, ChunkPositionsAreThirtyTwoBitSumsOnEveryPointerWidth) {
  // The file's offsets are 32-bit fields: their sum wraps in 32 bits in every
  // build rather than reaching past 4 GiB, so this chunk is read from the
  // padding just before the data offset.
  FilmWriter writer;
  writer.Layout().regionPadding = 32;
  writer.AddAudio(Pattern(40, 1));
  const uint32_t wrapped = writer.AddAudio(Pattern(24, 2));
  writer.SetChunkOffset(wrapped, 0u - 32u);
  FilmExpectation expect = writer.Expect();
  ASSERT_EQ(expect.samples.size(), 2u);

  ASSERT_EQ(Load(writer), S_OK);
  m_source->SetPastEnd(MemoryAsyncSource::PastEnd::Fail);
  ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  StreamToEnd();
  ExpectDelivered(expect);
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 2u);
}

TEST_F(SplitterStreamingTest, EveryReadInsideAChunkIsAThirtyTwoBitSum) {
  FilmWriter writer;
  writer.AddVideo(Pattern(40, 1), 40);
  const uint32_t far = writer.AddVideo(Pattern(40, 2), 40);
  // Data offset 96 (two rows): the head lies just below 4 GiB, the body's
  // position wraps round like every other sum of the file's offsets.
  writer.SetChunkOffset(far, 0xFFFFFFF8u - 96u);
  ASSERT_EQ(Load(writer), S_OK);
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  StreamToEnd();
  for (const MemoryAsyncSource::Read& read : m_source->Reads()) {
    EXPECT_LT(read.position, 1LL << 32);
  }
}

TEST_F(SplitterStreamingTest, TablesReachingPastTheirRegionStreamOnlyTheRowsInside) {
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    TearDown();
    SetUp();
    FilmWriter writer = SmallMovie(3, 3);
    if (variant == 0) {
      writer.Layout().tableLength = 0xFFFFFFF0u;
    } else if (variant == 1) {
      writer.Layout().entryCount = 0x10000000u;
    } else {
      writer.Layout().tableLength = 0xFFFFFFF0u;
      writer.Layout().entryCount = 0xFFFFFFFFu;
      writer.Layout().regionPadding = 40;  // not a whole row
    }
    FilmExpectation expect = writer.Expect();
    LoadAndConnectAll(writer);
    m_source->SetPastEnd(MemoryAsyncSource::PastEnd::Fail);
    StreamToEnd();
    ExpectDelivered(expect);
  }
}

TEST_F(SplitterStreamingTest, ZeroRatesGiveSamplesWithoutDuration) {
  FilmFormat format;
  format.sampleRate = 0;
  format.timeBase = 0;
  FilmWriter writer(format);
  writer.AddAudio(Pattern(100, 1));
  writer.AddVideo(Pattern(100, 2), 40);
  writer.AddAudio(Pattern(100, 3));
  LoadAndConnectAll(writer);
  StreamToEnd();
  ExpectDelivered(writer.Expect());
  for (const ReceivedSample& sample : m_audioSink->Input()->Received()) {
    EXPECT_EQ(sample.start, 0);
    EXPECT_EQ(sample.stop, 0);
  }
}

TEST_F(SplitterStreamingTest, RunFromStoppedStreamsAndStopEndsIt) {
  FilmWriter writer = SmallMovie(5, 5);
  LoadAndConnectAll(writer);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    m_audioSink->Input()->ClearRecords();
    m_videoSink->Input()->ClearRecords();
    // Run pauses first, under the state lock that Stop then takes.
    RunGraph();
    ASSERT_TRUE(m_audioSink->Input()->WaitForEndOfStream(1));
    ASSERT_TRUE(m_videoSink->Input()->WaitForEndOfStream(1));
    ExpectDelivered(writer.Expect());
    StopGraph();
  }
}

TEST_F(SplitterStreamingTest, AStopWhileRunPausesLeavesTheFilterStoppedAndTheNextPauseStreams) {
  FilmWriter writer = SmallMovie(3, 3);
  LoadAndConnectAll(writer);
  // Run waits inside its Pause, at the input's activation.
  m_source->HoldLengthCalls();
  std::thread runner([&] { EXPECT_EQ(m_splitter->Run(0), S_OK); });
  m_source->WaitUntilHeld();
  std::thread stopper([&] { EXPECT_EQ(m_splitter->Stop(), S_OK); });
  m_source->ReleaseHeld();
  runner.join();
  stopper.join();
  // The Stop began after Run's Pause, so it ended after Run.
  FILTER_STATE state = State_Running;
  ASSERT_EQ(m_splitter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  m_audioSink->Input()->ClearRecords();
  m_videoSink->Input()->ClearRecords();
  PauseGraph();
  ASSERT_TRUE(m_audioSink->Input()->WaitForEndOfStream(1));
  ASSERT_TRUE(m_videoSink->Input()->WaitForEndOfStream(1));
  ExpectDelivered(writer.Expect());
}
