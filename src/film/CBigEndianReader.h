#pragma once

#include "Platform.h"

// Assembles big-endian fields byte by byte from a borrowed buffer; the one
// place where a field's position is checked against the buffer's end.
class CBigEndianReader {
 public:
  CBigEndianReader(const BYTE* data, DWORD length) : m_data(data), m_length(length) {}

  // TRUE when width bytes from offset lie wholly inside the buffer.
  BOOL Contains(DWORD offset, DWORD width) const {
    if (m_data == nullptr) {
      return FALSE;
    }
    return static_cast<ULONGLONG>(offset) + width <= m_length;
  }

  // Each read leaves *value untouched and returns FALSE when the field does
  // not lie wholly inside the buffer.
  BOOL ReadU8(DWORD offset, BYTE* value) const {
    DWORD field = 0;
    if (!Assemble(offset, 1, &field)) {
      return FALSE;
    }
    *value = static_cast<BYTE>(field);
    return TRUE;
  }

  BOOL ReadU16(DWORD offset, WORD* value) const {
    DWORD field = 0;
    if (!Assemble(offset, 2, &field)) {
      return FALSE;
    }
    *value = static_cast<WORD>(field);
    return TRUE;
  }

  BOOL ReadU32(DWORD offset, DWORD* value) const { return Assemble(offset, 4, value); }

  DWORD Length() const { return m_length; }

 private:
  BOOL Assemble(DWORD offset, DWORD width, DWORD* value) const {
    if (!Contains(offset, width)) {
      return FALSE;
    }
    DWORD field = 0;
    for (DWORD i = 0; i < width; ++i) {
      field = (field << 8) | m_data[offset + i];
    }
    *value = field;
    return TRUE;
  }

  const BYTE* m_data;  // borrowed
  DWORD m_length;
};
