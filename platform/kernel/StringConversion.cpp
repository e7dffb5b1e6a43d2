// Narrow/wide conversions. The narrow code page of this platform is UTF-8,
// which is ASCII for every name the module uses.
#include <win/kernel.h>

#include <cstring>

#include "Utf.h"

using platform::kernel::Utf16ToUtf8;
using platform::kernel::Utf8ToUtf16;

namespace {

constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400u;

bool IsKnownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// The source length in units, the terminator included when the caller passed -1.
template <typename Unit>
size_t SourceLength(const Unit* source, int count) {
  if (count >= 0) {
    return static_cast<size_t>(count);
  }
  size_t length = 0;
  while (source[length] != 0) {
    ++length;
  }
  return length + 1;
}

}  // namespace

PLATFORM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte,
                                            int multiByteCount, LPWSTR wide, int wideCount) {
  if (!IsKnownCodePage(codePage) || multiByte == nullptr || multiByteCount == 0 ||
      multiByteCount < -1 || wideCount < 0 || (wide == nullptr && wideCount != 0) ||
      (wide != nullptr && static_cast<const void*>(wide) == static_cast<const void*>(multiByte))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed =
      codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
  if ((flags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t length = SourceLength(multiByte, multiByteCount);
  bool invalid = false;
  const size_t needed = Utf8ToUtf16(multiByte, length, nullptr, &invalid);
  if (invalid && (flags & MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (needed > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (wideCount == 0) {
    return static_cast<int>(needed);
  }
  if (needed > static_cast<size_t>(wideCount)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  Utf8ToUtf16(multiByte, length, wide, &invalid);
  return static_cast<int>(needed);
}

PLATFORM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount,
                                            LPSTR multiByte, int multiByteCount, LPCSTR defaultChar,
                                            LPBOOL usedDefaultChar) {
  if (!IsKnownCodePage(codePage) || wide == nullptr || wideCount == 0 || wideCount < -1 ||
      multiByteCount < 0 || (multiByte == nullptr && multiByteCount != 0) ||
      (multiByte != nullptr &&
       static_cast<const void*>(wide) == static_cast<const void*>(multiByte)) ||
      (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  if ((flags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  // Only an unpaired surrogate has no narrow form; the code page's default character stands in.
  char acpDefault[2] = {defaultChar != nullptr ? *defaultChar : '?', '\0'};
  const char* replacement = codePage == CP_UTF8 ? "\xEF\xBF\xBD" : acpDefault;
  const size_t length = SourceLength(wide, wideCount);
  bool replaced = false;
  const size_t needed = Utf16ToUtf8(wide, length, nullptr, replacement, &replaced);
  if (replaced && (flags & WC_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (needed > static_cast<size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefaultChar != nullptr) {
    *usedDefaultChar = replaced ? TRUE : FALSE;
  }
  if (multiByteCount == 0) {
    return static_cast<int>(needed);
  }
  if (needed > static_cast<size_t>(multiByteCount)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  Utf16ToUtf8(wide, length, multiByte, replacement, &replaced);
  return static_cast<int>(needed);
}

PLATFORM_API int WINAPI lstrlenA(LPCSTR string) {
  if (string == nullptr) {
    return 0;
  }
  return static_cast<int>(std::strlen(string));
}

PLATFORM_API int WINAPI lstrlenW(LPCWSTR string) {
  if (string == nullptr) {
    return 0;
  }
  int length = 0;
  while (string[length] != 0) {
    ++length;
  }
  return length;
}

PLATFORM_API int WINAPI lstrcmpiW(LPCWSTR first, LPCWSTR second) {
  // Case folding of the basic Latin letters only: file names here are
  // compared byte for byte by the file system anyway.
  auto fold = [](WCHAR unit) -> int {
    return unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit;
  };
  if (first == nullptr || second == nullptr) {
    return first == second ? 0 : (first == nullptr ? -1 : 1);
  }
  for (size_t index = 0;; ++index) {
    const int a = fold(first[index]);
    const int b = fold(second[index]);
    if (a != b) {
      return a < b ? -1 : 1;
    }
    if (a == 0) {
      return 0;
    }
  }
}
