// A cursor over a borrowed span of a Cinepak frame: fields are assembled
// big-endian byte by byte, and every read checks the span's end here and
// nowhere else, so a hostile length can only make a read fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::cinepak {

class CByteReader {
 public:
  CByteReader() = default;
  CByteReader(const uint8_t* data, size_t size)
      : m_data(data), m_size(data != nullptr ? size : 0) {}

  size_t Remaining() const { return m_size - m_position; }
  size_t Position() const { return m_position; }

  // Each read returns false and leaves the cursor where it was when the field
  // does not lie wholly inside the span.
  bool ReadU8(uint32_t* value) { return Assemble(1, value); }
  bool ReadU16(uint32_t* value) { return Assemble(2, value); }
  bool ReadU24(uint32_t* value) { return Assemble(3, value); }
  bool ReadU32(uint32_t* value) { return Assemble(4, value); }

  // The next count bytes, borrowed from the same span; false when they are
  // not all there.
  bool Take(size_t count, const uint8_t** bytes) {
    if (count > Remaining()) return false;
    *bytes = m_data + m_position;
    m_position += count;
    return true;
  }

  // The next count bytes as a reader of their own; the cursor moves past them.
  bool Split(size_t count, CByteReader* part) {
    const uint8_t* bytes = nullptr;
    if (!Take(count, &bytes)) return false;
    *part = CByteReader(bytes, count);
    return true;
  }

 private:
  bool Assemble(size_t width, uint32_t* value) {
    if (width > Remaining()) return false;
    uint32_t field = 0;
    for (size_t i = 0; i < width; ++i) field = (field << 8) | m_data[m_position + i];
    m_position += width;
    *value = field;
    return true;
  }

  const uint8_t* m_data = nullptr;  // borrowed
  size_t m_size = 0;
  size_t m_position = 0;
};

}  // namespace tessaly::cinepak
