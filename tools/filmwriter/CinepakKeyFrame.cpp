#include "CinepakKeyFrame.h"

#include <cstddef>

namespace filmwriter {

namespace {

constexpr uint16_t kIntraStrip = 0x1000;
constexpr uint16_t kV1Codebook = 0x2200;  // six bytes an entry: four luma, then u and v
constexpr uint16_t kV1Codes = 0x3200;     // one V1 code a block, no flags
constexpr uint32_t kGreyEntries = 64;

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void PutAt24(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 16);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
  out[at + 2] = static_cast<uint8_t>(value);
}

void PutAt16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
}

uint8_t Clamp(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

int8_t Chroma(int twice) {
  const int value = twice >= 0 ? (twice + 1) / 2 : -((1 - twice) / 2);
  return static_cast<int8_t>(value < -128 ? -128 : value > 127 ? 127 : value);
}

}  // namespace

void CinepakEntry::Decoded(int quarter, uint8_t rgb[3]) const {
  const int y = luma[quarter];
  rgb[0] = Clamp(y + 2 * v);
  rgb[1] = Clamp(y - ((u + 1) >> 1) - v);
  rgb[2] = Clamp(y + 2 * u);
}

CinepakEntry CinepakEntry::Colour(uint8_t red, uint8_t green, uint8_t blue) {
  // Solving the three sums for y gives (2 red + 4 green + blue) / 7; the
  // lumas around it find the rounding that decodes closest.
  const int estimate = (2 * red + 4 * green + blue) / 7;
  CinepakEntry best;
  int bestError = -1;
  for (int y = estimate - 3; y <= estimate + 3; ++y) {
    if (y < 0 || y > 255) continue;
    CinepakEntry entry;
    for (uint8_t& quarter : entry.luma) quarter = static_cast<uint8_t>(y);
    entry.u = Chroma(blue - y);
    entry.v = Chroma(red - y);
    uint8_t rgb[3];
    entry.Decoded(0, rgb);
    const int error = (rgb[0] - red) * (rgb[0] - red) + (rgb[1] - green) * (rgb[1] - green) +
                      (rgb[2] - blue) * (rgb[2] - blue);
    if (bestError < 0 || error < bestError) {
      best = entry;
      bestError = error;
    }
  }
  return best;
}

CinepakKeyFrame::CinepakKeyFrame(uint32_t width, uint32_t height)
    : m_width(width), m_height(height), m_codes(width / 4 * (height / 4), 0) {}

std::vector<uint8_t> CinepakKeyFrame::Encode() const {
  std::vector<uint8_t> frame;
  frame.push_back(0);              // flags
  frame.resize(frame.size() + 3);  // length, filled in below
  PutU16(frame, m_width);
  PutU16(frame, m_height);
  PutU16(frame, 1);  // strips

  const size_t strip = frame.size();
  PutU16(frame, kIntraStrip);
  PutU16(frame, 0);  // strip length, filled in below
  PutU16(frame, 0);  // top
  PutU16(frame, 0);  // left
  PutU16(frame, m_height);
  PutU16(frame, m_width);

  PutU16(frame, kV1Codebook);
  PutU16(frame, 4 + 6 * static_cast<uint32_t>(m_codebook.size()));
  for (const CinepakEntry& entry : m_codebook) {
    frame.insert(frame.end(), entry.luma, entry.luma + 4);
    frame.push_back(static_cast<uint8_t>(entry.u));
    frame.push_back(static_cast<uint8_t>(entry.v));
  }

  PutU16(frame, kV1Codes);
  PutU16(frame, 4 + static_cast<uint32_t>(m_codes.size()));
  frame.insert(frame.end(), m_codes.begin(), m_codes.end());

  PutAt24(frame, 1, static_cast<uint32_t>(frame.size()));
  PutAt16(frame, strip + 2, static_cast<uint32_t>(frame.size() - strip));
  return frame;
}

std::vector<uint8_t> CinepakKeyFrame::DecodedLuma() const {
  std::vector<uint8_t> picture(static_cast<size_t>(m_width) * m_height, 0);
  for (uint32_t y = 0; y < m_height; ++y) {
    for (uint32_t x = 0; x < m_width; ++x) {
      const uint8_t code = m_codes[(y / 4) * BlockColumns() + x / 4];
      if (code >= m_codebook.size()) continue;
      // A V1 entry's four luma values each cover a 2×2 quarter of the block.
      const uint32_t quarter = ((y % 4) / 2) * 2 + (x % 4) / 2;
      picture[static_cast<size_t>(y) * m_width + x] = m_codebook[code].luma[quarter];
    }
  }
  return picture;
}

CinepakKeyFrame CinepakKeyFrame::GreyPattern(uint32_t width, uint32_t height, uint32_t seed) {
  CinepakKeyFrame frame(width, height);
  std::vector<CinepakEntry> codebook(kGreyEntries);
  for (uint32_t i = 0; i < kGreyEntries; ++i) {
    for (uint32_t quarter = 0; quarter < 4; ++quarter) {
      codebook[i].luma[quarter] = static_cast<uint8_t>(i * 4 + quarter + seed * 7);
    }
  }
  frame.SetCodebook(std::move(codebook));
  std::vector<uint8_t> codes(frame.BlockColumns() * frame.BlockRows());
  for (uint32_t row = 0; row < frame.BlockRows(); ++row) {
    for (uint32_t column = 0; column < frame.BlockColumns(); ++column) {
      codes[row * frame.BlockColumns() + column] =
          static_cast<uint8_t>((column + 3 * row + 5 * seed) % kGreyEntries);
    }
  }
  frame.SetCodes(std::move(codes));
  return frame;
}

}  // namespace filmwriter
