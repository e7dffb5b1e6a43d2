// Conversions between GUIDs and their braced text form.
#include "GuidText.h"

#include <win/com.h>

namespace platform::com {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The 16 bytes in text order: Data1..Data3 are written most significant first.
void GuidBytesInTextOrder(REFGUID guid, uint8_t (&bytes)[16]) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<uint8_t>(guid.Data1 >> (24 - 8 * i));
  }
  bytes[4] = static_cast<uint8_t>(guid.Data2 >> 8);
  bytes[5] = static_cast<uint8_t>(guid.Data2);
  bytes[6] = static_cast<uint8_t>(guid.Data3 >> 8);
  bytes[7] = static_cast<uint8_t>(guid.Data3);
  for (int i = 0; i < 8; ++i) {
    bytes[8 + i] = guid.Data4[i];
  }
}

bool IsDashPosition(int position) {
  return position == 9 || position == 14 || position == 19 || position == 24;
}

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Reads the 32 hex digits of the braced form in text order; false when the
// text has any other shape, including a terminator before position 38.
bool ParseGuidText(LPCOLESTR text, uint8_t (&bytes)[16]) {
  int nibbles = 0;
  for (int position = 0; position < kGuidTextLength; ++position) {
    const OLECHAR c = text[position];
    if (position == 0 || position == kGuidTextLength - 1) {
      if (c != (position == 0 ? u'{' : u'}')) return false;
      continue;
    }
    if (IsDashPosition(position)) {
      if (c != u'-') return false;
      continue;
    }
    const int value = HexValue(c);
    if (value < 0) return false;
    if (nibbles % 2 == 0) {
      bytes[nibbles / 2] = static_cast<uint8_t>(value << 4);
    } else {
      bytes[nibbles / 2] |= static_cast<uint8_t>(value);
    }
    ++nibbles;
  }
  return text[kGuidTextLength] == 0;
}

GUID GuidFromTextOrder(const uint8_t (&bytes)[16]) {
  GUID guid{};
  guid.Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
               bytes[3];
  guid.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) {
    guid.Data4[i] = bytes[8 + i];
  }
  return guid;
}

}  // namespace

void FormatGuidText(REFGUID guid, char (&out)[kGuidTextLength + 1]) {
  uint8_t bytes[16];
  GuidBytesInTextOrder(guid, bytes);
  int byteIndex = 0;
  for (int position = 0; position < kGuidTextLength; ++position) {
    if (position == 0) {
      out[position] = '{';
    } else if (position == kGuidTextLength - 1) {
      out[position] = '}';
    } else if (IsDashPosition(position)) {
      out[position] = '-';
    } else {
      out[position] = kHexDigits[bytes[byteIndex] >> 4];
      out[++position] = kHexDigits[bytes[byteIndex] & 0x0F];
      ++byteIndex;
    }
  }
  out[kGuidTextLength] = '\0';
}

}  // namespace platform::com

PLATFORM_API int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR buffer, int bufferLength) {
  if (buffer == nullptr || bufferLength < platform::com::kGuidTextLength + 1) {
    return 0;
  }
  char text[platform::com::kGuidTextLength + 1];
  platform::com::FormatGuidText(guid, text);
  for (int i = 0; i <= platform::com::kGuidTextLength; ++i) {
    buffer[i] = static_cast<OLECHAR>(text[i]);
  }
  return platform::com::kGuidTextLength + 1;
}

PLATFORM_API HRESULT WINAPI CLSIDFromString(LPCOLESTR string, LPCLSID clsid) {
  if (clsid == nullptr) {
    return E_INVALIDARG;
  }
  // The platform reads a null string as the null class identifier.
  if (string == nullptr) {
    *clsid = GUID{};
    return S_OK;
  }
  uint8_t bytes[16];
  if (!platform::com::ParseGuidText(string, bytes)) {
    *clsid = GUID{};
    return CO_E_CLASSSTRING;
  }
  *clsid = platform::com::GuidFromTextOrder(bytes);
  return S_OK;
}
