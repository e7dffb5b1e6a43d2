// Cinepak frames written by hand, a chunk at a time, and pictures to decode
// them into, with guard bytes around them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "cinepak/CCodebooks.h"
#include "cinepak/CFrameDecoder.h"

namespace cinepaktest {

using Bytes = std::vector<uint8_t>;

inline void PutU16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes Chunk(uint32_t id, const Bytes& body) {
  Bytes out;
  PutU16(out, id);
  PutU16(out, static_cast<uint32_t>(body.size() + 4));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes Strip(uint32_t id, uint32_t y1, uint32_t y2, uint32_t width, const Bytes& chunks) {
  Bytes out;
  PutU16(out, id);
  PutU16(out, static_cast<uint32_t>(chunks.size() + 12));
  PutU16(out, y1);
  PutU16(out, 0);
  PutU16(out, y2);
  PutU16(out, width);
  out.insert(out.end(), chunks.begin(), chunks.end());
  return out;
}

inline Bytes Frame(uint8_t flags, uint32_t width, uint32_t height, uint32_t strips,
                   const Bytes& body) {
  Bytes out{flags};
  const size_t length = body.size() + 10;
  out.push_back(static_cast<uint8_t>(length >> 16));
  PutU16(out, static_cast<uint32_t>(length & 0xFFFF));
  PutU16(out, width);
  PutU16(out, height);
  PutU16(out, strips);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// A colour entry: four luma values, then u and v.
inline Bytes Entry(uint8_t y, int8_t u = 0, int8_t v = 0) {
  return {y, y, y, y, static_cast<uint8_t>(u), static_cast<uint8_t>(v)};
}

inline Bytes Flags(uint32_t word) {
  return {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
          static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

// A picture whose rows are padded and surrounded by guard bytes that no
// decode may touch.
class Picture {
 public:
  static constexpr uint8_t kGuard = 0xA5;
  static constexpr size_t kPadding = 5;

  Picture(uint32_t width, uint32_t height,
          tessaly::cinepak::PixelLayout layout = tessaly::cinepak::PixelLayout::Bgr24,
          bool bottomUp = false) {
    m_view.width = width;
    m_view.height = height;
    m_view.layout = layout;
    m_view.bottomUp = bottomUp;
    m_view.stride = width * m_view.BytesPerPixel() + kPadding;
    m_bytes.assign(m_view.stride * height + 2 * kPadding, kGuard);
    m_view.pixels = m_bytes.data() + kPadding;
  }

  const tessaly::cinepak::PictureView& View() const { return m_view; }

  tessaly::cinepak::DecodeStatus Decode(const Bytes& frame, tessaly::cinepak::CCodebooks& books) {
    return tessaly::cinepak::DecodeFrame(frame.data(), frame.size(), books, m_view);
  }

  // 0xRRGGBB of the pixel at (x, y), y counted from the top.
  uint32_t Rgb(uint32_t x, uint32_t y) const {
    const uint32_t row = m_view.bottomUp ? m_view.height - 1 - y : y;
    const uint8_t* p = m_view.pixels + row * m_view.stride + x * m_view.BytesPerPixel();
    if (m_view.layout == tessaly::cinepak::PixelLayout::Rgb24)
      return (p[0] << 16) | (p[1] << 8) | p[2];
    return (p[2] << 16) | (p[1] << 8) | p[0];
  }

  // The bytes of stored row row, without its padding.
  Bytes StoredRow(uint32_t row) const {
    const uint8_t* p = m_view.pixels + row * m_view.stride;
    return Bytes(p, p + m_view.width * m_view.BytesPerPixel());
  }

  // True when every guard and padding byte is as it was.
  bool GuardsIntact() const {
    for (size_t i = 0; i < m_bytes.size(); ++i) {
      const size_t at = i - kPadding;
      const bool inPicture = i >= kPadding && at < m_view.stride * m_view.height &&
                             at % m_view.stride < m_view.width * m_view.BytesPerPixel();
      if (!inPicture && m_bytes[i] != kGuard) return false;
    }
    return true;
  }

 private:
  Bytes m_bytes;
  tessaly::cinepak::PictureView m_view;
};

}  // namespace cinepaktest
