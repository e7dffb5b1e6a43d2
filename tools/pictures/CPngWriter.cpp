#include "pictures/CPngWriter.h"

#include <spng.h>

#include <cstdlib>
#include <memory>

#include "media/CAtomicFile.h"

namespace tessaly::pictures {

namespace {

struct ContextFree {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
struct BufferFree {
  void operator()(void* buffer) const { std::free(buffer); }
};

bool Fail(const std::string& path, int code, std::string* error) {
  *error = "cannot encode " + path + " as PNG: " + spng_strerror(code);
  return false;
}

}  // namespace

bool CPngWriter::Write(const std::string& path, const RgbPicture& picture, std::string* error) {
  std::unique_ptr<spng_ctx, ContextFree> context(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!context) return Fail(path, SPNG_EMEM, error);
  int code = spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr header{};
  header.width = picture.width;
  header.height = picture.height;
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  if (code == 0) code = spng_set_ihdr(context.get(), &header);
  if (code == 0) {
    code = spng_encode_image(context.get(), picture.rgb.data(), picture.rgb.size(), SPNG_FMT_PNG,
                             SPNG_ENCODE_FINALIZE);
  }
  if (code != 0) return Fail(path, code, error);
  size_t size = 0;
  std::unique_ptr<void, BufferFree> png(spng_get_png_buffer(context.get(), &size, &code));
  if (!png) return Fail(path, code, error);

  media::CAtomicFile file;
  return file.Open(path, error) && file.Write(png.get(), size, error) && file.Commit(error);
}

}  // namespace tessaly::pictures
