// The decoder's pictures in a renderer's layouts: every layout a row of one
// table, read back from a 2×2 picture written into a buffer wider and taller
// than it needs, so that the stride, the row order and the bytes left alone
// are all checked.
#include <gtest/gtest.h>

#include <vector>

#include "cinepak/PictureConversion.h"

using tessaly::cinepak::ConvertPicture;
using tessaly::cinepak::OutputLayout;
using tessaly::cinepak::OutputPicture;

namespace {

constexpr uint8_t kUntouched = 0xA5;

// Blue, green, red, zero: red and green on top, blue and white below.
const std::vector<uint8_t> kSource = {0,   0, 255, 0, 0,   255, 0,   0,  //
                                      255, 0, 0,   0, 255, 255, 255, 0};

struct LayoutRow {
  const char* name;
  OutputLayout layout;
  bool bottomUp;
  std::vector<uint8_t> firstRow;   // the first row in memory
  std::vector<uint8_t> secondRow;  // the second
};

TEST(CinepakPictureConversion, EachLayoutWritesItsBytesAtTheStrideInItsRowOrder) {
  const LayoutRow rows[] = {
      {"rgb32 top-down",
       OutputLayout::Bgrx32,
       false,
       {0, 0, 255, 0, 0, 255, 0, 0},
       {255, 0, 0, 0, 255, 255, 255, 0}},
      {"rgb32 bottom-up",
       OutputLayout::Bgrx32,
       true,
       {255, 0, 0, 0, 255, 255, 255, 0},
       {0, 0, 255, 0, 0, 255, 0, 0}},
      {"rgb24", OutputLayout::Bgr24, false, {0, 0, 255, 0, 255, 0}, {255, 0, 0, 255, 255, 255}},
      {"rgb565", OutputLayout::Rgb565, false, {0x00, 0xF8, 0xE0, 0x07}, {0x1F, 0x00, 0xFF, 0xFF}},
      {"rgb555 bottom-up",
       OutputLayout::Rgb555,
       true,
       {0x1F, 0x00, 0xFF, 0x7F},
       {0x00, 0x7C, 0xE0, 0x03}},
      // Studio range: luma red 82, green 144, blue 41, white 235; each pair's
      // chroma is that of the mean of its two pixels.
      {"yuy2", OutputLayout::Yuy2, false, {82, 72, 144, 137}, {41, 184, 235, 119}},
      // Packed YUV runs top-down whatever the type's sign.
      {"uyvy ignores bottom-up", OutputLayout::Uyvy, true, {72, 82, 137, 144}, {184, 41, 119, 235}},
  };
  for (const LayoutRow& row : rows) {
    SCOPED_TRACE(row.name);
    constexpr size_t kStride = 12;
    std::vector<uint8_t> buffer(kStride * 3, kUntouched);
    const OutputPicture target{buffer.data(), 2, 2, kStride, row.layout, row.bottomUp};
    ASSERT_TRUE(ConvertPicture(kSource.data(), 8, target));
    std::vector<uint8_t> first(buffer.begin(), buffer.begin() + row.firstRow.size());
    std::vector<uint8_t> second(buffer.begin() + kStride,
                                buffer.begin() + kStride + row.secondRow.size());
    EXPECT_EQ(row.firstRow, first);
    EXPECT_EQ(row.secondRow, second);
    for (size_t at = row.firstRow.size(); at < kStride; ++at) EXPECT_EQ(kUntouched, buffer[at]);
    for (size_t at = 2 * kStride; at < buffer.size(); ++at) EXPECT_EQ(kUntouched, buffer[at]);
  }
}

TEST(CinepakPictureConversion, AStrideTooSmallForARowWritesNothing) {
  std::vector<uint8_t> buffer(64, kUntouched);
  EXPECT_FALSE(ConvertPicture(kSource.data(), 8,
                              OutputPicture{buffer.data(), 2, 2, 7, OutputLayout::Bgrx32, false}));
  // An odd width's last pair is whole: 3 pixels of 4:2:2 take 8 bytes.
  EXPECT_FALSE(ConvertPicture(kSource.data(), 12,
                              OutputPicture{buffer.data(), 3, 1, 6, OutputLayout::Yuy2, false}));
  EXPECT_EQ(std::vector<uint8_t>(64, kUntouched), buffer);
}

TEST(CinepakPictureConversion, StudioRangeEndsAndPrimaries) {
  using namespace tessaly::cinepak;
  EXPECT_EQ(16, LumaOf(0, 0, 0));
  EXPECT_EQ(235, LumaOf(255, 255, 255));
  EXPECT_EQ(128, BlueDifferenceOf(255, 255, 255));
  EXPECT_EQ(128, RedDifferenceOf(0, 0, 0));
  EXPECT_EQ(240, BlueDifferenceOf(0, 0, 255));
  EXPECT_EQ(240, RedDifferenceOf(255, 0, 0));
  EXPECT_EQ(16, BlueDifferenceOf(255, 255, 0));
  EXPECT_EQ(16, RedDifferenceOf(0, 255, 255));
}

}  // namespace
