#include "shell/PictureScaling.h"

#include <new>

namespace tessaly::shell {

ScaledSize ThumbnailSize(uint32_t width, uint32_t height, uint32_t size) {
  if (width == 0 || height == 0 || size == 0) {
    return ScaledSize{};
  }
  const uint32_t longest = width > height ? width : height;
  if (longest <= size) {
    return ScaledSize{width, height};
  }
  // Rounded to the nearest pixel, at least one.
  const uint64_t scaledWidth = (uint64_t{width} * size + longest / 2) / longest;
  const uint64_t scaledHeight = (uint64_t{height} * size + longest / 2) / longest;
  return ScaledSize{scaledWidth > 0 ? static_cast<uint32_t>(scaledWidth) : 1u,
                    scaledHeight > 0 ? static_cast<uint32_t>(scaledHeight) : 1u};
}

namespace {

// The source pixels [first, last) the target pixel at covers.
void BoxOf(uint32_t at, uint32_t target, uint32_t source, uint32_t* first, uint32_t* last) {
  *first = static_cast<uint32_t>(uint64_t{at} * source / target);
  *last = static_cast<uint32_t>(uint64_t{at + 1} * source / target);
  // A target never larger than its source gives every box a pixel.
  *last = *last > *first ? *last : *first + 1;
}

}  // namespace

bool ScalePicture(const Picture& source, ScaledSize size, Picture* target) {
  target->pixels.reset(new (std::nothrow) uint8_t[size_t{size.width} * size.height * 4]);
  if (target->pixels == nullptr) {
    return false;
  }
  target->width = size.width;
  target->height = size.height;
  for (uint32_t y = 0; y < size.height; ++y) {
    uint32_t top = 0;
    uint32_t bottom = 0;
    BoxOf(y, size.height, source.height, &top, &bottom);
    for (uint32_t x = 0; x < size.width; ++x) {
      uint32_t left = 0;
      uint32_t right = 0;
      BoxOf(x, size.width, source.width, &left, &right);
      uint64_t sums[4] = {0, 0, 0, 0};
      for (uint32_t row = top; row < bottom; ++row) {
        const uint8_t* pixel = source.pixels.get() + (size_t{row} * source.width + left) * 4;
        for (uint32_t column = left; column < right; ++column, pixel += 4) {
          for (int channel = 0; channel < 4; ++channel) {
            sums[channel] += pixel[channel];
          }
        }
      }
      const uint64_t count = uint64_t{bottom - top} * (right - left);
      uint8_t* out = target->pixels.get() + (size_t{y} * size.width + x) * 4;
      for (int channel = 0; channel < 4; ++channel) {
        out[channel] = static_cast<uint8_t>((sums[channel] + count / 2) / count);
      }
    }
  }
  return true;
}

}  // namespace tessaly::shell
