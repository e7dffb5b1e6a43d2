// tessaly frames and thumbnail on a movie whose every picture is known.
#include <gtest/gtest.h>

#include "CliFixture.h"
#include "PngReader.h"
#include "filmwriter/CinepakKeyFrame.h"

namespace tools_test {
namespace {

constexpr uint32_t kWidth = 32, kHeight = 16, kFrames = 6;

class CliPicturesTest : public CliFixture {
 protected:
  // Six pictures a fifth of a second apart; a colour square on frame 3.
  std::string WriteMovie() {
    filmwriter::FilmFormat format;
    format.width = kWidth;
    format.height = kHeight;
    filmwriter::FilmWriter writer(format);
    for (uint32_t seed = 0; seed < kFrames; ++seed) {
      filmwriter::CinepakKeyFrame frame =
          filmwriter::CinepakKeyFrame::GreyPattern(kWidth, kHeight, seed);
      m_pictures.push_back(ExpectedPicture(frame));
      writer.AddVideo(frame.Encode(), 120);
    }
    return WriteFilm(writer, "known.film");
  }

  static std::vector<uint8_t> ExpectedPicture(const filmwriter::CinepakKeyFrame& frame) {
    std::vector<uint8_t> rgb;
    for (uint8_t luma : frame.DecodedLuma()) rgb.insert(rgb.end(), 3, luma);
    return rgb;
  }

  std::vector<std::vector<uint8_t>> m_pictures;
};

TEST_F(CliPicturesTest, FramesWritesTheDeliveredPicturesInOrderWithTheirTimes) {
  Register();
  const std::string film = WriteMovie();
  const ToolResult every = Tessaly({"frames", film, "-o", folder / "every"});
  ASSERT_EQ(every.exitCode, 0) << every.err;
  const std::vector<std::string> names = TempFolder::NamesIn(folder / "every");
  ASSERT_EQ(names.size(), kFrames);
  EXPECT_EQ(names[3], "frame-000003-0000000.600s.png");
  for (uint32_t i = 0; i < kFrames; ++i) {
    const PngPicture png = ReadPng(folder / "every/" + names[i]);
    EXPECT_EQ(png.width, kWidth);
    EXPECT_EQ(png.rgb, m_pictures[i]) << names[i];
  }

  const ToolResult some =
      Tessaly({"frames", film, "-o", folder / "some", "--start", "0.4", "--every", "0.4"});
  ASSERT_EQ(some.exitCode, 0) << some.err;
  EXPECT_EQ(
      TempFolder::NamesIn(folder / "some"),
      (std::vector<std::string>{"frame-000000-0000000.400s.png", "frame-000001-0000000.800s.png"}));
  EXPECT_EQ(ReadPng(folder / "some/frame-000001-0000000.800s.png").rgb, m_pictures[4]);
}

TEST_F(CliPicturesTest, ThumbnailLaysOutThePicturesShowingAtEvenlySpreadTimes) {
  Register();
  const std::string film = WriteMovie();
  const ToolResult result =
      Tessaly({"thumbnail", film, "-o", folder / "sheet.png", "--count", "4"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const PngPicture sheet = ReadPng(folder / "sheet.png");
  constexpr uint32_t kGap = 4;
  ASSERT_EQ(sheet.width, 2 * (kWidth + kGap) + kGap);
  ASSERT_EQ(sheet.height, 2 * (kHeight + kGap) + kGap);
  // At 0, 0.3, 0.6 and 0.9 s: the frames starting at or after, 0, 2, 3 and 5.
  const uint32_t shown[4] = {0, 2, 3, 5};
  for (uint32_t tile = 0; tile < 4; ++tile) {
    const uint32_t left = kGap + (tile % 2) * (kWidth + kGap);
    const uint32_t top = kGap + (tile / 2) * (kHeight + kGap);
    for (uint32_t y = 0; y < kHeight; ++y) {
      const uint8_t* row = &sheet.rgb[((top + y) * sheet.width + left) * 3];
      ASSERT_EQ(std::vector<uint8_t>(row, row + kWidth * 3),
                std::vector<uint8_t>(&m_pictures[shown[tile]][y * kWidth * 3],
                                     &m_pictures[shown[tile]][(y + 1) * kWidth * 3]))
          << "tile " << tile << " row " << y;
    }
  }
}

// Ctrl-C while the file is read (the platform's hook sends it when a read
// reaches the fifth frame's chunk): the run ends by the signal, and neither
// the pictures it wrote nor the folder it made stay.
TEST_F(CliPicturesTest, AnInterruptedRunRemovesItsPicturesAndItsFolder) {
  Register();
  filmwriter::FilmFormat format;
  format.width = kWidth;
  format.height = kHeight;
  filmwriter::FilmWriter writer(format);
  for (uint32_t i = 0; i < 8; ++i) writer.AddVideo(Frame(30000, i), 120);
  const std::string film = WriteFilm(writer, "long.film");
  ToolEnvironment environment;
  environment.variables.emplace("TESSALY_FAULT_INTERRUPT_AT",
                                std::to_string(ChunkPosition(writer.Build(), 5) + 100));
  const ToolResult result = Tessaly({"frames", film, "-o", folder / "made/out"}, environment);
  EXPECT_EQ(result.exitCode, -1) << "ends by the signal: " << result.err;
  EXPECT_EQ(TempFolder::NamesIn(folder.Path()),
            (std::vector<std::string>{"long.film", "registry.reg"}));
}

TEST_F(CliPicturesTest, AMovieWithoutVideoIsRefusedAndLeavesNoPicture) {
  Register();
  filmwriter::FilmWriter writer;
  writer.AddAudio(std::vector<uint8_t>(100, 128));
  const std::string film = WriteFilm(writer, "sound.film");
  const ToolResult frames = Tessaly({"frames", film, "-o", folder / "out"});
  EXPECT_EQ(frames.exitCode, 6) << frames.err;
  EXPECT_NE(frames.err.find("no video stream"), std::string::npos) << frames.err;
  const ToolResult sheet = Tessaly({"thumbnail", film, "-o", folder / "out/sheet.png"});
  EXPECT_EQ(sheet.exitCode, 6) << sheet.err;
  EXPECT_TRUE(TempFolder::NamesIn(folder / "out").empty());
}

}  // namespace
}  // namespace tools_test
