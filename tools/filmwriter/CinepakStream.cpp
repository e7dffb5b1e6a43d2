#include "CinepakStream.h"

#include <cstddef>

namespace filmwriter {

namespace {

constexpr uint16_t kIntraStrip = 0x1000;
constexpr uint16_t kInterStrip = 0x1100;
constexpr uint16_t kCodebook = 0x2000;
constexpr uint16_t kGrey = 0x0400;
constexpr uint16_t kV1 = 0x0200;
constexpr uint16_t kFlagged = 0x0100;
constexpr uint16_t kIntraBlocks = 0x3000;
constexpr uint16_t kInterBlocks = 0x3100;
constexpr uint16_t kV1Blocks = 0x3200;
constexpr uint32_t kEntries = 256;

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void SetU16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
}

// Starts a chunk (or strip) whose 16-bit length, head included, is set by EndChunk.
size_t BeginChunk(std::vector<uint8_t>& out, uint16_t id) {
  const size_t at = out.size();
  PutU16(out, id);
  PutU16(out, 0);
  return at;
}

void EndChunk(std::vector<uint8_t>& out, size_t at) {
  SetU16(out, at + 2, static_cast<uint32_t>(out.size() - at));
}

}  // namespace

// Flag bits as a decoder takes them: a 32-bit word goes into the stream at
// the point where the previous one runs out, before the indices that follow.
class CinepakStream::Bits {
 public:
  explicit Bits(std::vector<uint8_t>& out) : m_out(out) {}
  void Put(bool bit) {
    if (m_used == 32) {
      m_word = m_out.size();
      m_out.resize(m_out.size() + 4);
      m_used = 0;
    }
    if (bit) m_out[m_word + m_used / 8] |= static_cast<uint8_t>(0x80 >> (m_used % 8));
    ++m_used;
  }

 private:
  std::vector<uint8_t>& m_out;  // borrowed
  size_t m_word = 0;
  uint32_t m_used = 32;
};

CinepakStream::CinepakStream(uint32_t width, uint32_t height, uint32_t seed, uint32_t maxStrips)
    : m_width(width), m_height(height), m_state(seed * 0x9E3779B97F4A7C15ull + 1) {
  const uint32_t blockRows = (height + 3) / 4;
  const uint32_t most = maxStrips < blockRows ? maxStrips : blockRows;
  m_strips = 1 + Random(most);
}

uint32_t CinepakStream::Random(uint32_t below) {
  // splitmix64: the same numbers from every compiler and library.
  uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return below == 0 ? 0 : static_cast<uint32_t>(z % below);
}

std::vector<uint32_t> CinepakStream::StripHeights() {
  // Every strip at least one block row; the rows left over go to random strips.
  std::vector<uint32_t> rows(m_strips, 1);
  for (uint32_t left = (m_height + 3) / 4 - m_strips; left > 0; --left) ++rows[Random(m_strips)];
  for (uint32_t& height : rows) height *= 4;
  return rows;
}

std::vector<uint8_t> CinepakStream::NextFrame(bool key) {
  key = key || m_first;
  std::vector<uint8_t> frame;
  frame.push_back(Chance(50) ? 1 : 0);  // each strip's own books, or the strip above's
  frame.resize(frame.size() + 3);
  PutU16(frame, m_width);
  PutU16(frame, m_height);
  PutU16(frame, m_strips);
  uint32_t top = 0;
  for (uint32_t height : StripHeights()) {
    PutStrip(frame, key, top, height);
    top += height;
  }
  const size_t length = frame.size();
  frame[1] = static_cast<uint8_t>(length >> 16);
  frame[2] = static_cast<uint8_t>(length >> 8);
  frame[3] = static_cast<uint8_t>(length);
  m_first = false;
  return frame;
}

void CinepakStream::PutStrip(std::vector<uint8_t>& frame, bool key, uint32_t top, uint32_t height) {
  const size_t strip = BeginChunk(frame, key ? kIntraStrip : kInterStrip);
  // Rows of the picture, or rows counted from the strip's own top.
  const bool absolute = Chance(50) && m_pictureRows;
  PutU16(frame, absolute ? top : 0);
  PutU16(frame, 0);
  PutU16(frame, absolute ? top + height : height);
  PutU16(frame, m_width);
  PutCodebook(frame, false);
  PutCodebook(frame, true);
  PutBlocks(frame, key, height);
  EndChunk(frame, strip);
}

void CinepakStream::PutCodebook(std::vector<uint8_t>& frame, bool v1) {
  if (!m_first && Chance(30)) return;
  const bool grey = Chance(25);
  const bool flagged = !m_first && Chance(50);
  const size_t chunk =
      BeginChunk(frame, kCodebook | (grey ? kGrey : 0) | (v1 ? kV1 : 0) | (flagged ? kFlagged : 0));
  if (!flagged) {
    // A full update may stop early; entries past it keep their values.
    const uint32_t count = m_first ? kEntries : 1 + Random(kEntries);
    for (uint32_t i = 0; i < count; ++i) PutEntry(frame, grey);
  } else {
    const uint32_t groups = 1 + Random(kEntries / 32);
    for (uint32_t group = 0; group < groups; ++group) {
      uint32_t flags = 0;
      for (uint32_t i = 0; i < 32; ++i) {
        if (Chance(40)) flags |= 0x80000000u >> i;
      }
      PutU16(frame, flags >> 16);
      PutU16(frame, flags & 0xFFFF);
      for (uint32_t i = 0; i < 32; ++i) {
        if ((flags & (0x80000000u >> i)) != 0) PutEntry(frame, grey);
      }
    }
  }
  EndChunk(frame, chunk);
}

void CinepakStream::PutEntry(std::vector<uint8_t>& chunk, bool grey) {
  for (int i = 0; i < (grey ? 4 : 6); ++i) chunk.push_back(static_cast<uint8_t>(Random(256)));
}

void CinepakStream::PutBlocks(std::vector<uint8_t>& frame, bool key, uint32_t height) {
  const uint32_t blocks = (m_width + 3) / 4 * (height / 4);
  const uint32_t choice = Random(100);
  const uint16_t id = key ? (choice < 70 ? kIntraBlocks : kV1Blocks)
                          : (choice < 80   ? kInterBlocks
                             : choice < 90 ? kIntraBlocks
                                           : kV1Blocks);
  const size_t chunk = BeginChunk(frame, id);
  const uint32_t v4Percent = Random(101);
  const uint32_t codedPercent = Random(101);
  Bits bits(frame);
  for (uint32_t block = 0; block < blocks; ++block) {
    bool v4 = false;
    if (id != kV1Blocks) {
      const bool coded = id != kInterBlocks || Chance(codedPercent);
      if (id == kInterBlocks) bits.Put(coded);
      if (!coded) continue;
      v4 = Chance(v4Percent);
      bits.Put(v4);
    }
    for (int i = 0; i < (v4 ? 4 : 1); ++i) frame.push_back(static_cast<uint8_t>(Random(256)));
  }
  EndChunk(frame, chunk);
}

}  // namespace filmwriter
