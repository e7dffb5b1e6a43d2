#include "PngReader.h"

#include <spng.h>

#include <cstdio>
#include <memory>

namespace tools_test {

PngPicture ReadPng(const std::string& path) {
  PngPicture picture;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return picture;
  std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> context(spng_ctx_new(0), spng_ctx_free);
  spng_ihdr header{};
  size_t size = 0;
  if (!context || spng_set_png_file(context.get(), file.get()) != 0 ||
      spng_get_ihdr(context.get(), &header) != 0 ||
      spng_decoded_image_size(context.get(), SPNG_FMT_RGB8, &size) != 0) {
    return picture;
  }
  std::vector<uint8_t> rgb(size);
  if (spng_decode_image(context.get(), rgb.data(), size, SPNG_FMT_RGB8, 0) != 0) return picture;
  picture.width = header.width;
  picture.height = header.height;
  picture.rgb = std::move(rgb);
  return picture;
}

}  // namespace tools_test
