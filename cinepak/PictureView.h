// Where a decoded Cinepak picture goes: the caller's pixels, in the byte
// order of the platform's device-independent bitmaps (blue, green, red, and
// for 32 bits a fourth byte the decoder sets to zero), or in the red, green,
// blue order image files and the VP9 colour conversion read, so the host
// needs no second pass over each picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::cinepak {

enum class PixelLayout { Bgr24, Bgrx32, Rgb24 };

struct PictureView {
  uint8_t* pixels = nullptr;  // borrowed: the first row in memory
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;  // bytes from one row in memory to the next, at least width × BytesPerPixel()
  PixelLayout layout = PixelLayout::Bgr24;
  // The first row in memory is the picture's bottom row, as in a bitmap whose
  // header gives a positive height.
  bool bottomUp = false;

  uint32_t BytesPerPixel() const { return layout == PixelLayout::Bgrx32 ? 4 : 3; }
};

}  // namespace tessaly::cinepak
