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
