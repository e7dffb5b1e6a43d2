// Random valid Cinepak streams for decoder tests: no encoder, just every
// feature of the bitstream drawn from a seeded generator. Each stream starts
// with a key frame that fills every entry of every strip's books, so that any
// decoder starting from any state gives the same pictures.
#pragma once

#include <cstdint>
#include <vector>

namespace filmwriter {

class CinepakStream {
 public:
  // width and height at least 1; blocks cover the picture, the last column
  // and row of them partly outside when a side is not a multiple of 4. Strips from 1 to
  // maxStrips (fewer when the height has too few block rows).
  CinepakStream(uint32_t width, uint32_t height, uint32_t seed, uint32_t maxStrips = 4);

  // The next frame: a key frame (intra strips, blocks all coded) or an inter
  // frame (skip flags, partial books). The first frame is always a key frame.
  std::vector<uint8_t> NextFrame(bool key);

  // Strip heads give the strip's rows in the picture (top and bottom) for
  // about half the strips; otherwise every strip counts its rows from its own
  // top, as encoders commonly write them. Wine's decoder takes the bottom
  // field for the height, so it overruns on picture rows.
  void SetPictureRows(bool pictureRows) { m_pictureRows = pictureRows; }

  uint32_t Width() const { return m_width; }
  uint32_t Height() const { return m_height; }

 private:
  class Bits;

  uint32_t Random(uint32_t below);
  bool Chance(uint32_t percent) { return Random(100) < percent; }
  std::vector<uint32_t> StripHeights();
  void PutStrip(std::vector<uint8_t>& frame, bool key, uint32_t top, uint32_t height);
  void PutCodebook(std::vector<uint8_t>& frame, bool v1);
  void PutBlocks(std::vector<uint8_t>& frame, bool key, uint32_t height);
  void PutEntry(std::vector<uint8_t>& chunk, bool grey);

  uint32_t m_width;
  uint32_t m_height;
  uint32_t m_strips;
  uint64_t m_state;
  bool m_first = true;
  bool m_pictureRows = true;
};

}  // namespace filmwriter
