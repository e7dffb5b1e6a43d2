// Where playback starts and ends: info names the key frames a seek lands on.
#include "CliFixture.h"

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;
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
