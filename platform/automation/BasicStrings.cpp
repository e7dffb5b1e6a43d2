// Basic strings and variants of the automation library.
#include <cstdlib>
#include <cstring>

#include <win/platform.h>

namespace {
// A basic string is preceded by its length in bytes and followed by a
// terminating null that the length does not count.
constexpr size_t kPrefixBytes = sizeof(uint32_t);

uint32_t* Prefix(BSTR string) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<BYTE*>(string) - kPrefixBytes);
}

UINT Length(const OLECHAR* string) {
  UINT length = 0;
  while (string[length] != 0) {
    ++length;
  }
  return length;
}
}  // namespace

PLATFORM_API BSTR WINAPI SysAllocStringLen(const OLECHAR* string, UINT length) {
  // The byte count must fit the 32-bit prefix, terminator included.
  if (length > (0xFFFFFFFFu - kPrefixBytes - sizeof(OLECHAR)) / sizeof(OLECHAR)) {
    return nullptr;
  }
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<BYTE*>(std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR)));
  if (block == nullptr) {
    return nullptr;
  }
  const uint32_t prefix = static_cast<uint32_t>(bytes);
  std::memcpy(block, &prefix, kPrefixBytes);
  auto* text = reinterpret_cast<OLECHAR*>(block + kPrefixBytes);
  if (string != nullptr) {
    std::memcpy(text, string, bytes);
  } else {
    std::memset(text, 0, bytes);
  }
  text[length] = 0;
  return text;
}

PLATFORM_API BSTR WINAPI SysAllocString(const OLECHAR* string) {
  if (string == nullptr) {
    return nullptr;
  }
  return SysAllocStringLen(string, Length(string));
}

PLATFORM_API void WINAPI SysFreeString(BSTR string) {
  if (string != nullptr) {
    std::free(Prefix(string));
  }
}

PLATFORM_API UINT WINAPI SysStringLen(BSTR string) {
  if (string == nullptr) {
    return 0;
  }
  uint32_t bytes = 0;
  std::memcpy(&bytes, Prefix(string), kPrefixBytes);
  return bytes / sizeof(OLECHAR);
}

PLATFORM_API void WINAPI VariantInit(VARIANTARG* variant) {
  if (variant != nullptr) {
    std::memset(variant, 0, sizeof(*variant));
    variant->vt = VT_EMPTY;
  }
}

PLATFORM_API HRESULT WINAPI VariantClear(VARIANTARG* variant) {
  if (variant == nullptr) {
    return E_INVALIDARG;
  }
  // This library makes no arrays or records, so it cannot free them either.
  if ((variant->vt & VT_ARRAY) != 0 || (variant->vt & VT_TYPEMASK) == VT_RECORD) {
    return DISP_E_BADVARTYPE;
  }
  // By-reference values belong to whoever filled the variant.
  if ((variant->vt & VT_BYREF) == 0) {
    switch (variant->vt & VT_TYPEMASK) {
      case VT_BSTR:
        SysFreeString(variant->bstrVal);
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (variant->punkVal != nullptr) {
          variant->punkVal->Release();
        }
        break;
      default:
        break;
    }
  }
  std::memset(variant, 0, sizeof(*variant));
  variant->vt = VT_EMPTY;
  return S_OK;
}
