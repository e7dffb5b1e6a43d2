// Pictures the decoder made (blue, green, red, zero; top-down rows) in the
// layouts a renderer takes. RGB24 and RGB32 are the decoder's bytes as they
// are; RGB565 and RGB555 keep each channel's top bits; YUY2 and UYVY are
// 8-bit BT.601 studio range (Y 16..235, U and V 16..240), chroma from the
// mean of each horizontal pair of pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::cinepak {

enum class OutputLayout { Bgrx32, Bgr24, Rgb565, Rgb555, Yuy2, Uyvy };

struct OutputPicture {
  uint8_t* pixels = nullptr;  // borrowed: the first row in memory
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;  // at least RowBytes(layout, width)
  OutputLayout layout = OutputLayout::Bgrx32;
  // The first row in memory is the picture's bottom row (RGB layouts only:
  // packed YUV rows always run top to bottom).
  bool bottomUp = false;
};

// Bytes one row of width pixels fills; a 4:2:2 row of odd width ends with a
// whole pair.
size_t RowBytes(OutputLayout layout, uint32_t width);

// source: width × height pixels of 4 bytes, rows stride bytes apart, top-down.
// The target must have the same width and height; false (nothing written)
// when its stride is too small for a row.
bool ConvertPicture(const uint8_t* source, size_t sourceStride, const OutputPicture& target);

// One pixel's BT.601 studio-range luma and chroma, for tests and documentation.
uint8_t LumaOf(uint32_t red, uint32_t green, uint32_t blue);
uint8_t BlueDifferenceOf(uint32_t red, uint32_t green, uint32_t blue);
uint8_t RedDifferenceOf(uint32_t red, uint32_t green, uint32_t blue);

}  // namespace tessaly::cinepak
