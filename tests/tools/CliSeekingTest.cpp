// Where playback starts and ends: info names the key frames a seek lands on;
// dump, extract and play start from the key frame at or before --start.
#include "AviReader.h"
#include "CliFixture.h"
#include "RiffReader.h"

using filmwriter::ExpectedSample;
using filmwriter::FilmFormat;
using filmwriter::FilmWriter;
using filmwriter::Stream;
using namespace tools_test;

namespace {

class CliSeekingTest : public CliFixture {
 protected:
  // Five 40-tick frames at 200 ticks a second, key frames at rows 0 and 3.
  static FilmWriter KeyFramesAtZeroAndThree() {
    FilmFormat format;
    format.timeBase = 200;
    FilmWriter writer(format);
    for (int i = 0; i < 5; ++i) writer.AddVideo(Frame(100, i), 40, i == 0 || i == 3);
    return writer;
  }

  // The same frames after four audio chunks of a quarter second each (8-bit
  // mono at 8,000 bytes a second): --start 0.9 lands in frame 4, whose key
  // frame 3 starts at 0.6 s, and in audio chunk 3 (0.75 to 1.0 s).
  static FilmWriter WithAudio() {
    FilmFormat format;
    format.timeBase = 200;
    format.sampleRate = 8000;
    FilmWriter writer(format);
    for (uint32_t i = 0; i < 4; ++i) writer.AddAudio(Pattern(2000, 20 + i));
    for (int i = 0; i < 5; ++i) writer.AddVideo(Frame(100 + i, i), 40, i == 0 || i == 3);
    return writer;
  }

  static std::vector<ExpectedSample> SamplesOf(const FilmWriter& writer, Stream stream) {
    std::vector<ExpectedSample> samples;
    for (const ExpectedSample& sample : writer.Expect().samples) {
      if (sample.stream == stream) samples.push_back(sample);
    }
    return samples;
  }
};

}  // namespace

TEST_F(CliSeekingTest, InfoCountsTheKeyFramesAndGivesTheirTimesInJson) {
  Register();
  const std::string film = WriteFilm(KeyFramesAtZeroAndThree(), "keys.film");
  const ToolResult json = Tessaly({"info", film, "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const nlohmann::json info = nlohmann::json::parse(json.out);
  EXPECT_EQ(info["keyFrames"]["count"], 2);
  EXPECT_EQ(info["keyFrames"]["times"], nlohmann::json::array({0.0, 0.6}));
  const ToolResult text = Tessaly({"info", film});
  EXPECT_NE(text.out.find("  key frames 2 of 5 video frames\n"), std::string::npos) << text.out;
}

TEST_F(CliSeekingTest, DumpFromTheKeyFrameBeforeStartMarksPrerollAndStopsAtEnd) {
  Register();
  const std::string film = WriteFilm(KeyFramesAtZeroAndThree(), "keys.film");
  auto videoLines = [this, &film](std::vector<std::string> range) {
    std::vector<std::string> arguments{"dump", film};
    arguments.insert(arguments.end(), range.begin(), range.end());
    const ToolResult result = Tessaly(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<nlohmann::json> lines;
    for (const std::string& line : Lines(result.out)) {
      nlohmann::json parsed = nlohmann::json::parse(line);
      if (parsed["pin"] == "Video") lines.push_back(std::move(parsed));
    }
    return lines;
  };
  // 0.9 s lies in frame 4 (0.8 to 1.0 s); its key frame is frame 3.
  const std::vector<nlohmann::json> seeked = videoLines({"--start", "0.9"});
  ASSERT_EQ(seeked.size(), 3u);
  EXPECT_EQ(seeked[0]["start"], -3000000);
  EXPECT_EQ(seeked[0]["mediaStart"], 6000000);
  EXPECT_EQ(seeked[0]["sync"], true);
  EXPECT_EQ(seeked[0]["preroll"], true);
  EXPECT_EQ(seeked[1]["start"], -1000000);
  EXPECT_EQ(seeked[1]["mediaStart"], 8000000);
  EXPECT_FALSE(seeked[1].contains("preroll"));
  EXPECT_EQ(seeked[2]["event"], "eos");

  const std::vector<nlohmann::json> ranged = videoLines({"--start", "0.1", "--end", "0.5"});
  ASSERT_EQ(ranged.size(), 4u) << "frames 0, 1 and 2, then the end";
  EXPECT_EQ(ranged[2]["mediaStart"], 4000000);
  EXPECT_EQ(ranged[3]["event"], "eos");
}

// The AVI keeps the preroll frames, so that it starts on the key frame and
// every frame decodes; chunks go by their times counted from --start.
TEST_F(CliSeekingTest, ExtractFromAStartKeepsThePrerollFromTheKeyFrame) {
  Register();
  const FilmWriter writer = WithAudio();
  const std::string film = WriteFilm(writer, "keys.film");
  const ToolResult result = Tessaly({"extract", film, "-o", folder / "out", "--start", "0.9"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  AviFile avi;
  std::string error;
  ASSERT_TRUE(ReadAvi(ReadFileBytes(folder / "out/movie.avi"), &avi, &error)) << error;
  ASSERT_EQ(avi.streams.size(), 2u);
  ASSERT_EQ(avi.chunks.size(), 3u);
  ASSERT_EQ(avi.index.size(), 3u);
  // Frame 3 at -0.3 s, audio chunk 3 at -0.15 s, frame 4 at -0.1 s.
  const std::vector<ExpectedSample> video = SamplesOf(writer, Stream::Video);
  const std::vector<ExpectedSample> audio = SamplesOf(writer, Stream::Audio);
  EXPECT_EQ(avi.chunks[0].id, "00dc");
  EXPECT_EQ(avi.chunks[0].data, video[3].payload) << "the AVI starts on the key frame";
  EXPECT_EQ(avi.index[0].flags, 0x10u) << "and says it is one";
  EXPECT_EQ(avi.chunks[1].id, "01wb");
  EXPECT_EQ(avi.chunks[1].data, audio[3].payload);
  EXPECT_EQ(avi.chunks[2].id, "00dc");
  EXPECT_EQ(avi.chunks[2].data, video[4].payload);
  EXPECT_EQ(avi.index[2].flags, 0u);
  EXPECT_EQ(avi.totalFrames, 2u);
  EXPECT_EQ(avi.streams[0].length, 2u);
  EXPECT_EQ(avi.streams[1].length, 2000u);
  EXPECT_EQ(avi.streams[0].start, 0u) << "both streams start at 0";
  EXPECT_EQ(avi.streams[1].start, 0u);
}

// Renderers drop the preroll: paused, each holds the sample that holds the start.
TEST_F(CliSeekingTest, PlayPausedAtAStartHoldsTheSamplesThatHoldIt) {
  Register();
  const std::string film = WriteFilm(WithAudio(), "keys.film");
  const ToolResult paused = Tessaly({"play", "--paused", film, "--start", "0.9"});
  ASSERT_EQ(paused.exitCode, 0) << paused.err;
  EXPECT_EQ(Lines(paused.out), (std::vector<std::string>{
                                   "paused: Pause completed",
                                   "Audio: holds its first sample, start -0.150 s, 2000 bytes",
                                   "Video: holds its first picture, start -0.100 s, 104 bytes"}));
}

// Playing from a start reads nothing before the key frame: a bad sector there
// goes unnoticed, one after the start is reported.
TEST_F(CliSeekingTest, PlayFromAStartReadsFromTheKeyFrameOn) {
  Register();
  const FilmWriter writer = WithAudio();
  const std::string film = WriteFilm(writer, "keys.film");
  const std::vector<uint8_t> bytes = writer.Build();
  auto play = [this, &film, &bytes](uint32_t badRow, std::vector<std::string> range) {
    ToolEnvironment environment;
    environment.variables.emplace("TESSALY_FAULT_READ_AT",
                                  std::to_string(ChunkPosition(bytes, badRow) + 50));
    std::vector<std::string> arguments{"play", film};
    arguments.insert(arguments.end(), range.begin(), range.end());
    return Tessaly(arguments, environment);
  };
  // Rows 0 to 3 are audio, 4 to 8 the frames 0 to 4.
  const ToolResult fromZero = play(5, {});
  EXPECT_EQ(fromZero.exitCode, 9) << "frame 1 is read without --start: " << fromZero.err;
  const ToolResult skipped = play(5, {"--start", "0.9"});
  EXPECT_EQ(skipped.exitCode, 0) << skipped.err;
  EXPECT_EQ(skipped.err, "");
  const ToolResult after = play(8, {"--start", "0.9"});
  EXPECT_EQ(after.exitCode, 9) << after.err;
  EXPECT_NE(after.err.find("could not be read in full"), std::string::npos) << after.err;
}
