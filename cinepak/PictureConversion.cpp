#include "cinepak/PictureConversion.h"

#include <cstring>

namespace tessaly::cinepak {
namespace {

// Integer BT.601 with 8 fractional bits, rounded; the results stay inside
// the studio range for every 8-bit input, so nothing needs clamping.
constexpr int kRound = 128;

void ConvertBgrx32Row(const uint8_t* from, uint8_t* to, uint32_t width) {
  std::memcpy(to, from, static_cast<size_t>(width) * 4);
}

void ConvertBgr24Row(const uint8_t* from, uint8_t* to, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    std::memcpy(to + x * 3, from + x * 4, 3);
  }
}

void PutWord(uint8_t* to, uint32_t word) {
  to[0] = static_cast<uint8_t>(word);
  to[1] = static_cast<uint8_t>(word >> 8);
}

void ConvertRgb565Row(const uint8_t* from, uint8_t* to, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t* p = from + x * 4;
    PutWord(to + x * 2, ((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3));
  }
}

void ConvertRgb555Row(const uint8_t* from, uint8_t* to, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t* p = from + x * 4;
    PutWord(to + x * 2, ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
  }
}

// offsets: where Y0, U, Y1 and V go in a 4-byte macropixel.
void Convert422Row(const uint8_t* from, uint8_t* to, uint32_t width, const int (&offsets)[4]) {
  for (uint32_t x = 0; x < width; x += 2) {
    const uint8_t* left = from + x * 4;
    // An odd width's last pixel stands in for its missing neighbour.
    const uint8_t* right = x + 1 < width ? left + 4 : left;
    const uint32_t blue = (left[0] + right[0] + 1) / 2;
    const uint32_t green = (left[1] + right[1] + 1) / 2;
    const uint32_t red = (left[2] + right[2] + 1) / 2;
    uint8_t* pair = to + (x / 2) * 4;
    pair[offsets[0]] = LumaOf(left[2], left[1], left[0]);
    pair[offsets[1]] = BlueDifferenceOf(red, green, blue);
    pair[offsets[2]] = LumaOf(right[2], right[1], right[0]);
    pair[offsets[3]] = RedDifferenceOf(red, green, blue);
  }
}

void ConvertRow(OutputLayout layout, const uint8_t* from, uint8_t* to, uint32_t width) {
  static constexpr int kYuy2[4] = {0, 1, 2, 3};
  static constexpr int kUyvy[4] = {1, 0, 3, 2};
  switch (layout) {
    case OutputLayout::Bgrx32:
      return ConvertBgrx32Row(from, to, width);
    case OutputLayout::Bgr24:
      return ConvertBgr24Row(from, to, width);
    case OutputLayout::Rgb565:
      return ConvertRgb565Row(from, to, width);
    case OutputLayout::Rgb555:
      return ConvertRgb555Row(from, to, width);
    case OutputLayout::Yuy2:
      return Convert422Row(from, to, width, kYuy2);
    case OutputLayout::Uyvy:
      return Convert422Row(from, to, width, kUyvy);
  }
}

bool IsPackedYuv(OutputLayout layout) {
  return layout == OutputLayout::Yuy2 || layout == OutputLayout::Uyvy;
}

}  // namespace

size_t RowBytes(OutputLayout layout, uint32_t width) {
  switch (layout) {
    case OutputLayout::Bgrx32:
      return static_cast<size_t>(width) * 4;
    case OutputLayout::Bgr24:
      return static_cast<size_t>(width) * 3;
    case OutputLayout::Rgb565:
    case OutputLayout::Rgb555:
      return static_cast<size_t>(width) * 2;
    case OutputLayout::Yuy2:
    case OutputLayout::Uyvy:
      return (static_cast<size_t>(width) + 1) / 2 * 4;
  }
  return 0;
}

bool ConvertPicture(const uint8_t* source, size_t sourceStride, const OutputPicture& target) {
  if (source == nullptr || target.pixels == nullptr ||
      target.stride < RowBytes(target.layout, target.width) ||
      sourceStride < static_cast<size_t>(target.width) * 4) {
    return false;
  }
  const bool flip = target.bottomUp && !IsPackedYuv(target.layout);
  for (uint32_t y = 0; y < target.height; ++y) {
    const uint32_t row = flip ? target.height - 1 - y : y;
    ConvertRow(target.layout, source + y * sourceStride, target.pixels + row * target.stride,
               target.width);
  }
  return true;
}

uint8_t LumaOf(uint32_t red, uint32_t green, uint32_t blue) {
  const int r = static_cast<int>(red), g = static_cast<int>(green), b = static_cast<int>(blue);
  return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + kRound) >> 8) + 16);
}

uint8_t BlueDifferenceOf(uint32_t red, uint32_t green, uint32_t blue) {
  const int r = static_cast<int>(red), g = static_cast<int>(green), b = static_cast<int>(blue);
  return static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + kRound) >> 8) + 128);
}

uint8_t RedDifferenceOf(uint32_t red, uint32_t green, uint32_t blue) {
  const int r = static_cast<int>(red), g = static_cast<int>(green), b = static_cast<int>(blue);
  return static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + kRound) >> 8) + 128);
}

}  // namespace tessaly::cinepak
