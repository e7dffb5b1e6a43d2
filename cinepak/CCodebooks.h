// The codebooks a Cinepak stream carries from frame to frame: a V1 and a V4
// book of 256 entries for each strip. Entries are kept already converted to
// pixels, so a block costs only copies; an entry never filled is black.
#pragma once

#include <cstdint>
#include <memory>

namespace tessaly::cinepak {

inline constexpr uint32_t kMaxStrips = 32;
inline constexpr uint32_t kCodebookEntries = 256;

// Four pixels as blue, green, red, zero: a V4 entry's 2×2 pixels, or the four
// 2×2 quarters of a V1 block; top left, top right, bottom left, bottom right.
struct CodebookEntry {
  uint8_t pixel[4][4];
};

struct StripCodebooks {
  CodebookEntry v1[kCodebookEntries];
  CodebookEntry v4[kCodebookEntries];
};

class CCodebooks {
 public:
  CCodebooks();

  // False when the books could not be allocated; nothing decodes with them.
  bool Valid() const { return static_cast<bool>(m_strips); }

  // Every entry of every strip black again, as before a stream's first frame.
  void Reset();

  // strip below kMaxStrips.
  StripCodebooks& Strip(uint32_t strip) { return m_strips[strip]; }
  // A strip starts from the books the strip above it ended with.
  void Inherit(uint32_t strip) { m_strips[strip] = m_strips[strip - 1]; }

 private:
  std::unique_ptr<StripCodebooks[]> m_strips;  // owned, kMaxStrips of them
};

}  // namespace tessaly::cinepak
