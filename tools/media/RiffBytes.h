// Little-endian field builders for RIFF headers, so that every writer lays
// out its structures byte by byte whatever the host's layout is.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaly::media {

class RiffBytes {
 public:
  RiffBytes& U8(uint8_t value) {
    m_bytes.push_back(value);
    return *this;
  }
  RiffBytes& U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    return U8(static_cast<uint8_t>(value >> 8));
  }
  RiffBytes& U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    return U16(static_cast<uint16_t>(value >> 16));
  }
  RiffBytes& I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
  RiffBytes& FourCC(const char (&code)[5]) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(code[i]));
    return *this;
  }
  RiffBytes& Zeros(size_t count) {
    m_bytes.insert(m_bytes.end(), count, 0);
    return *this;
  }

  const std::vector<uint8_t>& Bytes() const { return m_bytes; }
  size_t Size() const { return m_bytes.size(); }

 private:
  std::vector<uint8_t> m_bytes;
};

}  // namespace tessaly::media
