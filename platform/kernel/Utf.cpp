#include "Utf.h"

#include <cstring>

namespace platform::kernel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at in[*index], advancing past it; false for a malformed sequence.
bool DecodeUtf8(const unsigned char* in, size_t length, size_t* index, char32_t* codePoint) {
  const unsigned char lead = in[*index];
  size_t trailing = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    *codePoint = lead;
    ++*index;
    return true;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    ++*index;
    return false;
  }
  size_t next = *index + 1;
  for (size_t i = 0; i < trailing; ++i, ++next) {
    if (next >= length || (in[next] & 0xC0) != 0x80) {
      // The bytes read so far are one malformed sequence; the offending byte starts the next.
      *index = next;
      return false;
    }
    value = (value << 6) | (in[next] & 0x3F);
  }
  *index = next;
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  *codePoint = value;
  return true;
}

size_t Put16(WCHAR* out, size_t at, char32_t codePoint) {
  if (codePoint < 0x10000) {
    if (out != nullptr) {
      out[at] = static_cast<WCHAR>(codePoint);
    }
    return 1;
  }
  if (out != nullptr) {
    const char32_t offset = codePoint - 0x10000;
    out[at] = static_cast<WCHAR>(0xD800 + (offset >> 10));
    out[at + 1] = static_cast<WCHAR>(0xDC00 + (offset & 0x3FF));
  }
  return 2;
}

size_t Put8(char* out, size_t at, char32_t codePoint) {
  unsigned char bytes[4];
  size_t count = 0;
  if (codePoint < 0x80) {
    bytes[count++] = static_cast<unsigned char>(codePoint);
  } else if (codePoint < 0x800) {
    bytes[count++] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
    bytes[count++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    bytes[count++] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
    bytes[count++] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[count++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
  } else {
    bytes[count++] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
    bytes[count++] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
    bytes[count++] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[count++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
  }
  if (out != nullptr) {
    std::memcpy(out + at, bytes, count);
  }
  return count;
}

}  // namespace

size_t Utf8ToUtf16(const char* in, size_t length, WCHAR* out, bool* invalid) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  size_t produced = 0;
  size_t index = 0;
  while (index < length) {
    char32_t codePoint = 0;
    if (!DecodeUtf8(bytes, length, &index, &codePoint)) {
      *invalid = true;
      codePoint = kReplacement;
    }
    produced += Put16(out, produced, codePoint);
  }
  return produced;
}

size_t Utf16ToUtf8(const WCHAR* in, size_t length, char* out, const char* replacement,
                   bool* replaced) {
  const size_t replacementLength = std::strlen(replacement);
  size_t produced = 0;
  for (size_t index = 0; index < length; ++index) {
    const char32_t unit = in[index];
    char32_t codePoint = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < length && in[index + 1] >= 0xDC00 &&
        in[index + 1] <= 0xDFFF) {
      codePoint = 0x10000 + ((unit - 0xD800) << 10) + (in[index + 1] - 0xDC00);
      ++index;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      *replaced = true;
      if (out != nullptr) {
        std::memcpy(out + produced, replacement, replacementLength);
      }
      produced += replacementLength;
      continue;
    }
    produced += Put8(out, produced, codePoint);
  }
  return produced;
}

}  // namespace platform::kernel
