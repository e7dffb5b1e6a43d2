// VP9 through Debian's libvpx: RGB pictures in, compressed frames out, at a
// constant quality. A fixed thread count, no look-ahead and fixed settings,
// so the same pictures give the same bytes on every run and every machine.
#pragma once

#include <vpx/vpx_encoder.h>
#include <vpx/vpx_image.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::webm {

struct Vp9Frame {
  int64_t timeMs = 0;
  bool key = false;
  std::vector<uint8_t> bytes;
};

class CVp9Encoder {
 public:
  // Constant-quality levels: 0 the best, 63 the smallest.
  static constexpr int kBestLevel = 0;
  static constexpr int kWorstLevel = 63;
  // The level `convert` uses by default: the highest whose worst frame stays
  // above 38 dB PSNR against the picture, at 320×224, on random 4×4 blocks
  // and on a textured scene under a moving camera (bench/ConvertBench).
  static constexpr int kDefaultLevel = 11;

  CVp9Encoder() = default;
  CVp9Encoder(const CVp9Encoder&) = delete;
  CVp9Encoder& operator=(const CVp9Encoder&) = delete;
  ~CVp9Encoder();

  bool Open(uint32_t width, uint32_t height, int level, std::string* error);
  // rgb: width × height × 3 bytes, rows top first. A key frame when asked,
  // and whenever the encoder itself decides on one.
  bool Encode(const uint8_t* rgb, int64_t timeMs, int64_t durationMs, bool key,
              std::vector<Vp9Frame>* frames, std::string* error);

 private:
  void ToI420(const uint8_t* rgb);
  void WholeSquares(const uint8_t* row, uint32_t count, uint8_t* u, uint8_t* v) const;
  void EdgeSquare(const uint8_t* rgb, uint32_t x, uint32_t y, uint8_t* u, uint8_t* v) const;
  bool Collect(std::vector<Vp9Frame>* frames, std::string* error);
  bool Fail(const char* what, std::string* error);

  vpx_codec_ctx_t m_codec{};
  bool m_open = false;
  vpx_image_t* m_image = nullptr;  // owned
  uint32_t m_width = 0;
  uint32_t m_height = 0;
};

}  // namespace tessaly::webm
