// The shell handlers' reading of a movie: which frame stands for it, its
// length, and the shrunk picture. The objects Explorer calls are proven
// under Wine against our decoder and the splitter; these rows cover what the
// Wine stage's movies do not reach: cut and hostile files, sizes at the edges.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "filmwriter/CinepakStream.h"
#include "filmwriter/FilmWriter.h"
#include "shell/CMovieSummary.h"
#include "shell/PictureScaling.h"
#include "shell/ThumbnailFrame.h"
#include "support/FilmChunkPosition.h"

namespace {

using tessaly::shell::CMovieSummary;
using tessaly::shell::SummaryStatus;

class MemoryMovie : public tessaly::shell::CMovieByteSource {
 public:
  explicit MemoryMovie(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
  bool ReadAt(uint64_t position, uint8_t* buffer, uint32_t length, uint32_t* read) override {
    *read = 0;
    if (position >= m_bytes.size()) {
      return true;
    }
    const uint64_t left = m_bytes.size() - position;
    *read = static_cast<uint32_t>(left < length ? left : length);
    std::memcpy(buffer, m_bytes.data() + position, *read);
    return true;
  }
  uint64_t Length() override { return m_bytes.size(); }

 private:
  std::vector<uint8_t> m_bytes;
};

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

// frames Cinepak frames of ticks each at 600 a second, a key frame every
// keyEvery.
filmwriter::FilmWriter Movie(uint32_t frames, uint32_t ticks, uint32_t keyEvery) {
  filmwriter::FilmFormat format;
  format.width = kWidth;
  format.height = kHeight;
  filmwriter::FilmWriter writer(format);
  filmwriter::CinepakStream stream(kWidth, kHeight, 38);
  for (uint32_t index = 0; index < frames; ++index) {
    const bool key = index % keyEvery == 0;
    writer.AddVideo(stream.NextFrame(key), ticks, key);
  }
  return writer;
}

// bytes with the big-endian header field at offset set to value.
std::vector<uint8_t> WithField(std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
  for (int index = 0; index < 4; ++index) {
    bytes[offset + index] = static_cast<uint8_t>(value >> (24 - 8 * index));
  }
  return bytes;
}

struct MovieCase {
  const char* name;
  std::function<std::vector<uint8_t>()> bytes;
  SummaryStatus status;
  uint32_t videoRows;
  int64_t duration;    // 100-ns units
  uint32_t chosenRow;  // the table's row count when no picture stands for it
  uint32_t frameRate;  // frames per 1000 s
  tessaly::shell::PictureStatus picture;
};

const MovieCase kMovieCases[] = {
    // 20 frames of half a second: the first key frame at or after 1 s is
    // the fourth (1.5 s), row 3.
    {"TenthOfALongMovie", [] { return Movie(20, 300, 3).Build(); }, SummaryStatus::kOk, 20,
     100000000, 3, 2000, tessaly::shell::PictureStatus::kOk},
    {"CutInsideTheHeader",
     [] {
       std::vector<uint8_t> bytes = Movie(20, 300, 3).Build();
       bytes.resize(40);
       return bytes;
     },
     SummaryStatus::kNotFilm, 0, 0, 0, 0, tessaly::shell::PictureStatus::kNoPicture},
    // The key frames after the cut are gone: the first one before it stands in.
    {"CutMovieKeepsAFrameItHolds",
     [] {
       std::vector<uint8_t> bytes = Movie(20, 300, 3).Build();
       bytes.resize(ChunkPosition(bytes, 3) + 20);
       return bytes;
     },
     SummaryStatus::kOk, 20, 100000000, 0, 2000, tessaly::shell::PictureStatus::kOk},
    // A header's picture beyond what one decode inside Explorer may cost.
    {"HugePictureIsRefused", [] { return WithField(Movie(4, 60, 2).Build(), 32, 5000); },
     SummaryStatus::kOk, 4, 4000000, 0, 10000, tessaly::shell::PictureStatus::kNoPicture},
    {"FrameOfAnotherSizeDoesNotDecode", [] { return WithField(Movie(4, 60, 2).Build(), 32, 32); },
     SummaryStatus::kOk, 4, 4000000, 0, 10000, tessaly::shell::PictureStatus::kUndecodable},
    // A data offset declaring a gigabyte of table is refused before it is read.
    {"HostileTableRegionIsRefused",
     [] { return WithField(Movie(4, 60, 2).Build(), 4, 0x40000000); }, SummaryStatus::kNotFilm, 0,
     0, 0, 0, tessaly::shell::PictureStatus::kNoPicture},
};

class MovieThumbnailTest : public ::testing::TestWithParam<MovieCase> {};

TEST_P(MovieThumbnailTest, ReadsChoosesAndTimesAsTheSplitter) {
  const MovieCase& movieCase = GetParam();
  MemoryMovie source(movieCase.bytes());
  CMovieSummary summary;
  ASSERT_EQ(summary.Read(source), movieCase.status);
  if (movieCase.status != SummaryStatus::kOk) {
    return;
  }
  EXPECT_EQ(summary.VideoRows(), movieCase.videoRows);
  EXPECT_EQ(summary.Duration(), movieCase.duration);
  EXPECT_EQ(summary.FrameRateMillis(), movieCase.frameRate);
  const uint32_t row = tessaly::shell::ChooseThumbnailRow(summary);
  EXPECT_EQ(row, movieCase.chosenRow);
  tessaly::shell::Picture picture;
  const auto status = tessaly::shell::DecodeThumbnailFrame(source, summary, row, &picture);
  EXPECT_EQ(status, movieCase.picture);
}

INSTANTIATE_TEST_SUITE_P(Movies, MovieThumbnailTest, ::testing::ValuesIn(kMovieCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct SizeCase {
  uint32_t width, height, size, scaledWidth, scaledHeight;
};

TEST(MovieThumbnailPicture, KeepsItsAspectAndIsNeverEnlarged) {
  const SizeCase cases[] = {{320, 240, 256, 256, 192}, {320, 240, 32, 32, 24},
                            {160, 120, 256, 160, 120}, {1, 1000, 32, 1, 32},
                            {1000, 3, 32, 32, 1},      {64, 48, 0, 0, 0}};
  for (const SizeCase& row : cases) {
    const tessaly::shell::ScaledSize size =
        tessaly::shell::ThumbnailSize(row.width, row.height, row.size);
    EXPECT_EQ(size.width, row.scaledWidth) << row.width << "x" << row.height << " " << row.size;
    EXPECT_EQ(size.height, row.scaledHeight) << row.width << "x" << row.height << " " << row.size;
  }
}

TEST(MovieThumbnailPicture, EachPixelIsTheMeanOfItsBox) {
  tessaly::shell::Picture source;
  source.width = 4;
  source.height = 2;
  source.pixels.reset(new uint8_t[32]);
  for (int pixel = 0; pixel < 8; ++pixel) {
    std::memset(source.pixels.get() + pixel * 4, pixel % 4 < 2 ? 10 : 200, 4);
  }
  tessaly::shell::Picture target;
  ASSERT_TRUE(tessaly::shell::ScalePicture(source, {2, 1}, &target));
  EXPECT_EQ(target.pixels[0], 10);
  EXPECT_EQ(target.pixels[4], 200);
}

}  // namespace
