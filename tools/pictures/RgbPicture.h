// A picture as image files want it: rows top first, red, green, blue bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaly::pictures {

struct RgbPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // width × height × 3 bytes

  RgbPicture() = default;
  RgbPicture(uint32_t w, uint32_t h) : width(w), height(h), rgb(size_t(w) * h * 3, 0) {}
};

}  // namespace tessaly::pictures
