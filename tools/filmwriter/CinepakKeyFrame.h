// Real Cinepak key frames for FILM movies: one intra strip, a V1 codebook
// and one code a 4×4 block. A codebook whose entries carry no chroma decodes
// to grey pixels equal to the entries' luma values, so the decoded picture
// of such a frame is known to the pixel.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace filmwriter {

struct CinepakEntry {
  uint8_t luma[4] = {0, 0, 0, 0};  // top left, top right, bottom left, bottom right 2×2 quarter
  int8_t u = 0;
  int8_t v = 0;

  // The entry of one flat colour that decodes nearest to red, green, blue
  // (blue = y + 2u, red = y + 2v, green = y - u/2 rounded up - v).
  static CinepakEntry Colour(uint8_t red, uint8_t green, uint8_t blue);
  // The pixel the entry decodes to, as red, green, blue.
  void Decoded(int quarter, uint8_t rgb[3]) const;
};

class CinepakKeyFrame {
 public:
  // width and height in pixels, multiples of 4.
  CinepakKeyFrame(uint32_t width, uint32_t height);

  uint32_t Width() const { return m_width; }
  uint32_t Height() const { return m_height; }
  uint32_t BlockColumns() const { return m_width / 4; }
  uint32_t BlockRows() const { return m_height / 4; }

  // At most 256 entries; codes has one index a block, row by row.
  void SetCodebook(std::vector<CinepakEntry> codebook) { m_codebook = std::move(codebook); }
  void SetCodes(std::vector<uint8_t> codes) { m_codes = std::move(codes); }

  // The frame as a decoder takes it: the 10-byte head, then the strip.
  std::vector<uint8_t> Encode() const;
  // The luma a decoder gives each pixel, rows top first; the picture itself
  // when every entry has zero chroma.
  std::vector<uint8_t> DecodedLuma() const;

  // A grey frame whose every block differs from its neighbours and from the
  // same block of the frames of other seeds.
  static CinepakKeyFrame GreyPattern(uint32_t width, uint32_t height, uint32_t seed);

 private:
  uint32_t m_width;
  uint32_t m_height;
  std::vector<CinepakEntry> m_codebook;
  std::vector<uint8_t> m_codes;
};

}  // namespace filmwriter
