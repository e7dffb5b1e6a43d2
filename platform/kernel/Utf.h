// Conversions between UTF-8 (also the narrow code page here) and UTF-16.
#pragma once

#include <win/types.h>

#include <cstddef>

namespace platform::kernel {

// Each returns the code units produced, writing them only when `out` is non-null
// (the caller has sized it by a first, counting call).

// A malformed sequence becomes U+FFFD and sets `*invalid`.
size_t Utf8ToUtf16(const char* in, size_t length, WCHAR* out, bool* invalid);

// An unpaired surrogate becomes `replacement` (a terminated byte string) and sets `*replaced`.
size_t Utf16ToUtf8(const WCHAR* in, size_t length, char* out, const char* replacement,
                   bool* replaced);

}  // namespace platform::kernel
