#pragma once

#include <cstdint>

// Assembles big-endian fields byte by byte from a borrowed buffer; the one
// place where a field's position is checked against the buffer's end.
// Plain standard C++, part of the FILM library.
class CBigEndianReader {
 public:
  CBigEndianReader(const uint8_t* data, uint32_t length) : m_data(data), m_length(length) {}

  // True when width bytes from offset lie wholly inside the buffer.
  bool Contains(uint64_t offset, uint32_t width) const {
    if (m_data == nullptr) {
      return false;
    }
    return offset + width <= m_length;
  }

  // Each read leaves *value untouched and returns false when the field does
  // not lie wholly inside the buffer.
  bool ReadU8(uint64_t offset, uint8_t* value) const {
    uint32_t field = 0;
    if (!Assemble(offset, 1, &field)) {
      return false;
    }
    *value = static_cast<uint8_t>(field);
    return true;
  }

  bool ReadU16(uint64_t offset, uint16_t* value) const {
    uint32_t field = 0;
    if (!Assemble(offset, 2, &field)) {
      return false;
    }
    *value = static_cast<uint16_t>(field);
    return true;
  }

  bool ReadU32(uint64_t offset, uint32_t* value) const { return Assemble(offset, 4, value); }

  // The field at offset, or 0 when it does not lie wholly inside the buffer.
  uint32_t U32(uint64_t offset) const {
    uint32_t field = 0;
    Assemble(offset, 4, &field);
    return field;
  }

  uint32_t Length() const { return m_length; }

 private:
  bool Assemble(uint64_t offset, uint32_t width, uint32_t* value) const {
    if (!Contains(offset, width)) {
      return false;
    }
    uint32_t field = 0;
    for (uint32_t i = 0; i < width; ++i) {
      field = (field << 8) | m_data[offset + i];
    }
    *value = field;
    return true;
  }

  const uint8_t* m_data;  // borrowed
  uint32_t m_length;
};
