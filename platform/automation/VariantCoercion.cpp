#include "VariantCoercion.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace platform::automation {

namespace {

constexpr double kCurrencyScale = 10000.0;

HRESULT TextToDouble(const OLECHAR* text, double* out) {
  if (text == nullptr) {
    return DISP_E_TYPEMISMATCH;
  }
  std::string narrow;
  for (const OLECHAR* c = text; *c != 0; ++c) {
    if (*c > 0x7F) {
      return DISP_E_TYPEMISMATCH;
    }
    narrow.push_back(static_cast<char>(*c));
  }
  // Surrounding blanks are allowed, as in a typed-in number.
  const size_t first = narrow.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return DISP_E_TYPEMISMATCH;
  }
  const size_t last = narrow.find_last_not_of(" \t");
  const char* begin = narrow.data() + first;
  const char* end = narrow.data() + last + 1;
  if (*begin == '+') {
    ++begin;
  }
  double value = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error == std::errc::result_out_of_range) {
    return DISP_E_OVERFLOW;
  }
  if (error != std::errc() || stop != end || !std::isfinite(value)) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = value;
  return S_OK;
}

HRESULT ByReference(VARTYPE type, const void* p, double* out) {
  if (p == nullptr) {
    return DISP_E_TYPEMISMATCH;
  }
  switch (type) {
    case VT_I2:
      *out = *static_cast<const SHORT*>(p);
      return S_OK;
    case VT_I4:
    case VT_INT:
      *out = *static_cast<const LONG*>(p);
      return S_OK;
    case VT_R4:
      *out = *static_cast<const FLOAT*>(p);
      return S_OK;
    case VT_R8:
    case VT_DATE:
      *out = *static_cast<const DOUBLE*>(p);
      return S_OK;
    case VT_CY:
      *out = static_cast<double>(static_cast<const CY*>(p)->int64) / kCurrencyScale;
      return S_OK;
    case VT_BOOL:
      *out = *static_cast<const VARIANT_BOOL*>(p) != 0 ? -1.0 : 0.0;
      return S_OK;
    case VT_I1:
      *out = static_cast<signed char>(*static_cast<const CHAR*>(p));
      return S_OK;
    case VT_UI1:
      *out = *static_cast<const BYTE*>(p);
      return S_OK;
    case VT_UI2:
      *out = *static_cast<const USHORT*>(p);
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      *out = *static_cast<const ULONG*>(p);
      return S_OK;
    case VT_I8:
      *out = static_cast<double>(*static_cast<const LONGLONG*>(p));
      return S_OK;
    case VT_UI8:
      *out = static_cast<double>(*static_cast<const ULONGLONG*>(p));
      return S_OK;
    case VT_BSTR:
      return TextToDouble(*static_cast<const BSTR*>(p), out);
    case VT_VARIANT: {
      const auto* inner = static_cast<const VARIANT*>(p);
      // A variant by reference holds a value, never another reference to a variant.
      if (inner->vt == (VT_VARIANT | VT_BYREF)) {
        return DISP_E_TYPEMISMATCH;
      }
      return CoerceToDouble(*inner, out);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT CoerceToDouble(const VARIANT& value, double* out) {
  if ((value.vt & VT_ARRAY) != 0) {
    return DISP_E_TYPEMISMATCH;
  }
  const VARTYPE type = value.vt & VT_TYPEMASK;
  if ((value.vt & VT_BYREF) != 0) {
    return ByReference(type, value.byref, out);
  }
  switch (type) {
    case VT_EMPTY:
      *out = 0.0;
      return S_OK;
    case VT_BSTR:
      return TextToDouble(value.bstrVal, out);
    case VT_VARIANT:
      return DISP_E_TYPEMISMATCH;
    default:
      // Every other number lives in the variant itself.
      return ByReference(type, &value.llVal, out);
  }
}

}  // namespace platform::automation
