// Files cut short at every kind of boundary: what the splitter delivers is
// exactly the start of what the whole file delivers, with the last audio
// chunk cut to whole frames, and every stream still ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "SplitterTestKit.h"
#include "framework/FrameworkTestKit.h"
#include "splitter/SplitterIdentifiers.h"

using filmwriter::FilmExpectation;
using filmwriter::FilmFormat;
using filmwriter::FilmWriter;

namespace {

// Rows A0 V1 A2 V3 A4 V5; audio chunk lengths are whole frames of every
// converted layout.
FilmWriter CutMovie(uint8_t channels, uint8_t bits) {
  FilmFormat format;
  format.channels = channels;
  format.bitsPerSample = bits;
  FilmWriter writer(format);
  for (int i = 0; i < 3; ++i) {
    writer.AddAudio(Pattern(400 + 8 * i, static_cast<uint8_t>(10 + i)));
    writer.AddVideo(Pattern(300 + 13 * i, static_cast<uint8_t>(100 + i)), 40, i == 0);
  }
  return writer;
}

class SplitterTruncationTest : public SplitterGraphTest {
 protected:
  void TearDown() override {
    SplitterGraphTest::TearDown();
    EXPECT_EQ(m_graph.references, 0);
  }

  // Plays the file's first `length` bytes to the end of every stream, in a
  // graph that records the splitter's events.
  void PlayCut(const FilmWriter& whole, uint64_t length) {
    FilmWriter cut = whole;
    cut.Layout().truncateTo = length;
    m_graph.events.clear();  // nothing streams between plays
    ASSERT_EQ(m_splitter->JoinFilterGraph(&m_graph, WIDE("Splitter")), S_OK);
    LoadAndConnectAll(cut);
    PauseGraph();
    for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
      if (sink != nullptr) {
        ASSERT_TRUE(sink->Input()->WaitForEndOfStream(1));
      }
    }
    ExpectDelivered(cut.Expect());
    ExpectStartOf(whole.Expect());
  }

  // Each stream's samples are the whole file's first ones; only the last
  // audio sample may be shorter: a prefix of whole frames, timed by its length.
  void ExpectStartOf(const FilmExpectation& whole) {
    for (auto stream : {filmwriter::Stream::Audio, filmwriter::Stream::Video}) {
      RecordingSinkFilter* sink = stream == filmwriter::Stream::Audio ? m_audioSink : m_videoSink;
      if (sink == nullptr) {
        continue;
      }
      std::vector<filmwriter::ExpectedSample> wanted;
      for (const auto& sample : whole.samples) {
        if (sample.stream == stream) {
          wanted.push_back(sample);
        }
      }
      const std::vector<ReceivedSample> got = sink->Input()->Received();
      ASSERT_LE(got.size(), wanted.size());
      for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        const bool last = i + 1 == got.size();
        const auto& want = wanted[i];
        EXPECT_EQ(got[i].start, want.start);
        ASSERT_LE(got[i].bytes.size(), want.payload.size());
        EXPECT_TRUE(std::equal(got[i].bytes.begin(), got[i].bytes.end(), want.payload.begin()));
        if (got[i].bytes.size() == want.payload.size()) {
          EXPECT_EQ(got[i].stop, want.stop);
          continue;
        }
        ASSERT_TRUE(last && stream == filmwriter::Stream::Audio);
        EXPECT_EQ(got[i].bytes.size() % whole.blockAlign, 0u);
        EXPECT_EQ(got[i].stop, want.start + static_cast<REFERENCE_TIME>(got[i].bytes.size()) *
                                                10000000 / whole.avgBytesPerSec);
      }
      EXPECT_EQ(sink->Input()->EndOfStreamCount(), 1);
    }
  }

  int EarlyEndReports() {
    auto events = m_graph.Events();
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const GraphEvent& e) {
      return e.code == EC_STREAM_ERROR_STILLPLAYING && e.parameter1 == VFW_E_FILE_TOO_SHORT;
    }));
  }

  // Reports of every kind of loss.
  int LossReports() {
    auto events = m_graph.Events();
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const GraphEvent& e) {
      return e.code == EC_STREAM_ERROR_STILLPLAYING;
    }));
  }

  FakeGraph m_graph;
};

TEST_F(SplitterTruncationTest, AFileCutInsideItsHeaderOrTableHeadIsRefused) {
  const std::vector<uint8_t> file = CutMovie(1, 8).Build();
  for (size_t length : {size_t{0}, size_t{30}, size_t{48}, size_t{63}}) {
    SCOPED_TRACE(length);
    TearDown();
    SetUp();
    EXPECT_EQ(Load(std::vector<uint8_t>(file.begin(), file.begin() + length)), E_FAIL);
    EXPECT_EQ(PinNames().size(), 1u);
  }
}

TEST_F(SplitterTruncationTest, EveryKindOfCutDeliversTheStartOfTheWholeFile) {
  for (auto [channels, bits] : {std::pair<uint8_t, uint8_t>{1, 8}, {1, 16}, {2, 8}, {2, 16}}) {
    const FilmWriter whole = CutMovie(channels, bits);
    const std::vector<uint8_t> file = whole.Build();
    const uint64_t a2 = ChunkPosition(file, 2);
    const uint64_t v3 = ChunkPosition(file, 3);
    const uint32_t half = (ChunkPosition(file, 3) - a2) / 2;
    const uint64_t cuts[] = {
        64 + 16 * 2,             // between rows: rows 0 and 1 exist, their chunks do not
        a2 + 3,                  // inside the first half of an audio chunk
        a2 + half + 5,           // inside its second half: a few frames exist
        v3 - 1,                  // one byte short of the audio chunk's end
        v3,                      // exactly at the audio chunk's end
        v3 + 17,                 // inside a video chunk
        ChunkPosition(file, 4),  // exactly at the video chunk's end
        file.size() - 1,
    };
    for (uint64_t length : cuts) {
      SCOPED_TRACE(::testing::Message()
                   << int(channels) << "ch " << int(bits) << "bit, cut at " << length);
      TearDown();
      SetUp();
      PlayCut(whole, length);
      EXPECT_EQ(EarlyEndReports(), 1);
    }
  }
}

TEST_F(SplitterTruncationTest, AWholeFileReportsNothingMissingAndRowsPastTheEndAreNeverRead) {
  const FilmWriter whole = CutMovie(2, 16);
  PlayCut(whole, whole.Build().size());
  EXPECT_EQ(EarlyEndReports(), 0);
  // Once for the connection's parse, once for the activation; never a row.
  EXPECT_EQ(m_source->LengthCalls(), 2);
  TearDown();
  SetUp();
  const std::vector<uint8_t> file = whole.Build();
  PlayCut(whole, ChunkPosition(file, 2) + 1);
  for (const auto& read : m_source->Reads()) {
    EXPECT_LE(read.position + read.length, static_cast<LONGLONG>(ChunkPosition(file, 2) + 1));
  }
  EXPECT_EQ(EarlyEndReports(), 1);
  EXPECT_EQ(m_source->LengthCalls(), 2);
}

// The rows the table lacked at connection stay missing when the file grows
// before it plays, and the graph hears of it.
TEST_F(SplitterTruncationTest, AFileThatGrowsAfterConnectionStillReportsItsMissingRows) {
  const FilmWriter whole = CutMovie(1, 16);
  const std::vector<uint8_t> file = whole.Build();
  FilmWriter cut = whole;
  cut.Layout().truncateTo = 64 + 16 * 3;  // three rows of six
  ASSERT_EQ(m_splitter->JoinFilterGraph(&m_graph, WIDE("Splitter")), S_OK);
  LoadAndConnectAll(cut);
  m_source->ReplaceBytes(file);
  PauseGraph();
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    ASSERT_TRUE(sink->Input()->WaitForEndOfStream(1));
  }
  EXPECT_EQ(m_audioSink->Input()->Received().size(), 2u);
  EXPECT_EQ(m_videoSink->Input()->Received().size(), 1u);
  EXPECT_EQ(EarlyEndReports(), 1);
}

// A row the file cannot give is dropped, never silently: its stream's later
// samples keep their own times, the first of them says that something is
// missing, and the graph hears once of each kind of loss.
TEST_F(SplitterTruncationTest, LostRowsKeepLaterTimesAndAreReportedOncePerKind) {
  FilmFormat format;
  format.channels = 2;
  format.bitsPerSample = 16;
  FilmWriter writer(format);
  // Chunks of 16 KiB and more are read one by one, so a failing read hits one row.
  for (int i = 0; i < 4; ++i) {
    writer.AddAudio(Pattern(20000, static_cast<uint8_t>(i)));
    writer.AddVideo(Pattern(20000, static_cast<uint8_t>(50 + i)), 40, i == 0);
  }
  writer.AddStoredRow(film::kAudioTimeInfo, 0, std::vector<uint8_t>(65537, 1));
  writer.AddStoredRow(0, 40, std::vector<uint8_t>(11, 2));
  writer.AddAudio(Pattern(4000, 9));
  writer.AddVideo(Pattern(900, 90), 40);
  const std::vector<uint8_t> file = writer.Build();
  FilmExpectation expect = writer.Expect();
  ASSERT_EQ(expect.droppedRows, (std::vector<uint32_t>{8, 9}));
  ASSERT_TRUE(expect.samples.back().discontinuity);

  ASSERT_EQ(m_splitter->JoinFilterGraph(&m_graph, WIDE("Splitter")), S_OK);
  LoadAndConnectAll(writer);
  m_source->AnswerAt(ChunkPosition(file, 2), E_FAIL);
  m_source->AnswerAt(ChunkPosition(file, 5), E_FAIL);
  PauseGraph();
  for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
    ASSERT_TRUE(sink->Input()->WaitForEndOfStream(1));
  }

  ExpectDelivered(WithoutRows(expect, {2, 5}));
  auto reports = [this](HRESULT cause) {
    auto events = m_graph.Events();
    return std::count_if(events.begin(), events.end(), [cause](const GraphEvent& e) {
      return e.code == EC_STREAM_ERROR_STILLPLAYING && e.parameter1 == cause;
    });
  };
  EXPECT_EQ(reports(E_FAIL), 1);
  EXPECT_EQ(reports(VFW_E_BUFFER_OVERFLOW), 1);
  EXPECT_EQ(reports(VFW_E_INVALIDMEDIATYPE), 1);
  EXPECT_EQ(reports(VFW_E_FILE_TOO_SHORT), 0);
}

// A source that loses its tail while the movie plays: the rows it no longer
// holds are lost and reported, and the stream still ends there: a row after
// them that could never play is not even looked at, so the graph hears of
// nothing but the shorter file.
TEST_F(SplitterTruncationTest, ASourceThatShrinksWhilePlayingLosesTheRowsItNoLongerHolds) {
  for (bool video : {false, true}) {
    SCOPED_TRACE(video ? "video" : "audio");
    m_graph.events.clear();
    FilmFormat format;
    format.channels = video ? 0 : 1;
    FilmWriter writer(format);
    // Chunks too large to share a read: every read is one row's.
    for (int i = 0; i < 5; ++i) {
      if (video) {
        writer.AddVideo(Pattern(20000, static_cast<uint8_t>(i)), 40, i == 0);
      } else {
        writer.AddAudio(Pattern(20000, static_cast<uint8_t>(i)));
      }
    }
    // Larger than any audio chunk that plays; shorter than any frame.
    if (video) {
      writer.AddStoredRow(5 * 40, 40, std::vector<uint8_t>(11, 2));
    } else {
      writer.AddStoredRow(film::kAudioTimeInfo, 0, std::vector<uint8_t>(65537, 1));
    }
    const std::vector<uint8_t> file = writer.Build();
    ASSERT_EQ(m_splitter->JoinFilterGraph(&m_graph, WIDE("Splitter")), S_OK);
    LoadAndConnectAll(writer);
    m_source->HoldReadsAt(ChunkPosition(file, 2));
    PauseGraph();
    m_source->WaitUntilHeld();
    // The file now ends where row 2's chunk begins.
    m_source->ReplaceBytes(
        std::vector<uint8_t>(file.begin(), file.begin() + ChunkPosition(file, 2)));
    m_source->ReleaseHeld();
    ASSERT_TRUE((video ? m_videoSink : m_audioSink)->Input()->WaitForEndOfStream(1));
    ExpectDelivered(WithoutRows(writer.Expect(), {2, 3, 4, 5}));
    EXPECT_EQ(EarlyEndReports(), 1);
    EXPECT_EQ(LossReports(), 1);
    TearDown();
    SetUp();
  }
}

// IAsyncReader::Length failing or only estimating, for a file cut inside
// the audio chunk of row 2: every stream ends, what is lost is reported once.
TEST_F(SplitterTruncationTest, ASourceThatCannotTellItsLengthLosesOnlyTheRowsPastItsEnd) {
  const FilmWriter whole = CutMovie(1, 8);
  const std::vector<uint8_t> file = whole.Build();
  FilmWriter cut = whole;
  cut.Layout().truncateTo = (ChunkPosition(file, 2) + ChunkPosition(file, 3)) / 2;
  // VFW_S_ESTIMATED, which the platform's headers do not name.
  constexpr HRESULT kEstimated = 0x00040260;
  const std::pair<HRESULT, FilmExpectation> cases[] = {
      // Without a length a short read cannot tell which bytes are real.
      {E_FAIL, WithoutRows(whole.Expect(), {2, 3, 4, 5})},
      // An estimate is what is available now: the frames the file holds play.
      {kEstimated, cut.Expect()},
  };
  for (const auto& [answer, expect] : cases) {
    SCOPED_TRACE(answer);
    m_graph.events.clear();
    ASSERT_EQ(m_splitter->JoinFilterGraph(&m_graph, WIDE("Splitter")), S_OK);
    m_source = new MemoryAsyncSource(cut.Build());
    m_source->SetSubtype(MEDIASUBTYPE_CpkFilm);
    m_source->AnswerLength(answer);
    ASSERT_EQ(m_source->OutputPin()->Connect(SplitterPin(WIDE("Input")).Get(), nullptr), S_OK);
    ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
    ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
    PauseGraph();
    for (RecordingSinkFilter* sink : {m_audioSink, m_videoSink}) {
      ASSERT_TRUE(sink->Input()->WaitForEndOfStream(1));
    }
    ExpectDelivered(expect);
    EXPECT_EQ(EarlyEndReports(), 1);
    TearDown();
    SetUp();
  }
}

}  // namespace
