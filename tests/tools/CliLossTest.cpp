// What the host says of rows the splitter could not play: one warning a kind
// of loss, the gaps each stream shows, and an exit code of its own only for
// a file that could not be read in full; everything else is still written.
#include <algorithm>

#include "CliFixture.h"

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;
using namespace tools_test;

namespace {

class CliLossTest : public CliFixture {
 protected:
  // Rows A0 V1 A2 V3 A4 V5 A6 V7 of 20,000 bytes each (read one by one),
  // then whatever the test adds.
  static FilmWriter Movie() {
    FilmFormat format;
    format.channels = 1;
    format.bitsPerSample = 8;
    format.sampleRate = 20000;  // a second a chunk
    format.timeBase = 600;
    FilmWriter writer(format);
    for (int i = 0; i < 4; ++i) {
      writer.AddAudio(Pattern(20000, i));
      writer.AddVideo(Frame(20000, 50 + i), 300);  // half a second a frame
    }
    return writer;
  }

  static size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++count;
    }
    return count;
  }
};

}  // namespace

TEST_F(CliLossTest, AReadErrorIsReportedWithItsGapAndExitsNineAfterWritingTheRest) {
  Register();
  const FilmWriter writer = Movie();
  const std::string film = WriteFilm(writer, "bad-sector.film");
  ToolEnvironment environment;
  environment.variables.emplace("TESSALY_FAULT_READ_AT",
                                std::to_string(ChunkPosition(writer.Build(), 3) + 100));

  const ToolResult dump = Tessaly({"dump", film}, environment);
  EXPECT_EQ(dump.exitCode, 9) << dump.err;
  EXPECT_EQ(Count(dump.out, "\"pin\":\"Video\",\"start\""), 3u);
  EXPECT_EQ(Count(dump.out, "\"pin\":\"Audio\",\"start\""), 4u);
  EXPECT_NE(dump.err.find("could not be read in full: 0x8007001E"), std::string::npos) << dump.err;
  EXPECT_NE(dump.err.find("not played: Video 0.500 s in 1 place"), std::string::npos) << dump.err;

  const ToolResult extract = Tessaly({"extract", film, "-o", folder / "out"}, environment);
  EXPECT_EQ(extract.exitCode, 9) << extract.err;
  EXPECT_NE(extract.out.find("movie.avi"), std::string::npos);
  EXPECT_NE(extract.out.find("audio.wav"), std::string::npos);
}

TEST_F(CliLossTest, ChunksTooLargeOrTooShortAreWarnedOfOnceAKindAndExitZero) {
  Register();
  FilmWriter writer = Movie();
  writer.AddStoredRow(film::kAudioTimeInfo, 0, std::vector<uint8_t>(65537, 1));
  writer.AddStoredRow(0, 300, std::vector<uint8_t>(11, 2));
  writer.AddStoredRow(0, 300, std::vector<uint8_t>(5, 2));
  writer.AddAudio(Pattern(2000, 9));
  writer.AddVideo(Frame(900, 90), 300);
  const std::string film = WriteFilm(writer, "damaged.film");

  const ToolResult dump = Tessaly({"dump", film});
  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(Count(dump.err, "warning"), 3u) << dump.err;
  EXPECT_EQ(Count(dump.err, "VFW_E_BUFFER_OVERFLOW"), 1u) << dump.err;
  EXPECT_EQ(Count(dump.err, "VFW_E_INVALIDMEDIATYPE"), 1u) << dump.err;
  EXPECT_NE(dump.err.find("Audio 3.277 s in 1 place, Video 1.000 s in 1 place"), std::string::npos)
      << dump.err;
  // The samples after the losses keep their own times.
  EXPECT_NE(dump.out.find("\"pin\":\"Video\",\"start\":30000000"), std::string::npos) << dump.out;
  // info counts only the frames that play, and a row too large to play is
  // damage, not a cut, even where its chunk lies past the file's end.
  const ToolResult info = Tessaly({"info", film});
  EXPECT_NE(info.out.find("key frames 5 of 5 video frames"), std::string::npos) << info.out;
  writer.SetChunkOffset(8, 0x7FFF0000u);
  const std::string pointing = WriteFilm(writer, "pointing-away.film");
  const nlohmann::json json = nlohmann::json::parse(Tessaly({"info", pointing, "--json"}).out);
  EXPECT_FALSE(json.contains("truncated")) << json.dump();
  EXPECT_EQ(json["damagedRows"], 3);
  // Playing it, the splitter finds the damaged row's chunk past the end; the
  // file never changed, and the warning says what is really wrong.
  const ToolResult played = Tessaly({"dump", pointing});
  EXPECT_EQ(played.exitCode, 0) << played.err;
  EXPECT_EQ(Count(played.err, "changed as it was read"), 0u) << played.err;
  EXPECT_EQ(Count(played.err, "too damaged ever to play (3 in the sample table"), 1u) << played.err;
}

TEST_F(CliLossTest, VideoRowsPastAnEntryCountOfNoVideoAreNamedAsNotPlayed) {
  Register();
  FilmWriter writer = Movie();
  writer.Layout().entryCount = 1;  // only the first audio row is declared
  const std::string film = WriteFilm(writer, "uncounted.film");
  const ToolResult dump = Tessaly({"dump", film});
  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(Count(dump.out, "\"pin\":\"Audio\",\"start\""), 4u);
  EXPECT_NE(dump.err.find("4 video frames in the sample table not played: its entry count (1)"),
            std::string::npos)
      << dump.err;
}

// A file that ends inside its sample table: the rows still in the table lose
// their chunks and their seconds, the rows whose entries are gone count as
// missing without seconds, and info still describes the file and exits 0.
TEST_F(CliLossTest, InfoOnAFileCutInsideItsTableCountsEveryRowAndTheSecondsItKnows) {
  Register();
  FilmWriter writer = Movie();
  // Five whole entries (A0 V1 A2 V3 A4), then part of the sixth.
  writer.Layout().truncateTo =
      film::kHeaderLength + film::kTableHeadLength + 5 * film::kRowLength + 7;
  const std::string film = WriteFilm(writer, "cut-in-table.film");

  const ToolResult text = Tessaly({"info", film});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.err, "");
  // What the table still holds is described; the cut is counted.
  const std::vector<std::string> expected = {
      film,
      "  Audio  audio, format tag 1: 1 channel, 20000 Hz, 8 bits (20000 bytes/s, block 1)",
      "         in the movie: 3.000 s, 160.0 kbit/s",
      "  Video  video 'cvid': 160x120, 24 bits",
      "         in the movie: 2 frames in 1.000 s, 2.000 frames/s, 320.0 kbit/s",
      "         declared by its media type: 200000 a frame (in 100-ns units, 0.020 s), 2000 bit/s",
      "  duration 1.000 s (the streams differ: Audio 3.000 s, Video 1.000 s)",
      "  cut short: 8 rows missing (3.000 s of Audio, 1.000 s of Video)"};
  EXPECT_EQ(Lines(text.out), expected);

  const ToolResult json = Tessaly({"info", film, "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const nlohmann::json info = nlohmann::json::parse(json.out);
  EXPECT_EQ(info["truncated"]["rowsMissing"], 8);
  EXPECT_EQ(info["truncated"]["secondsMissing"]["Audio"], 3.0);
  EXPECT_EQ(info["truncated"]["secondsMissing"]["Video"], 1.0);
  EXPECT_FALSE(info.contains("damagedRows"));
}
