#include "MediaTypeCopy.h"

#include <cstring>

namespace platform {

HRESULT CopyMediaTypeFields(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source) {
  if (!target) return E_POINTER;
  std::memset(target, 0, sizeof(*target));
  if (source.cbFormat != 0 && !source.pbFormat) return E_INVALIDARG;
  BYTE* format = nullptr;
  if (source.cbFormat != 0) {
    format = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
    if (!format) return E_OUTOFMEMORY;
    std::memcpy(format, source.pbFormat, source.cbFormat);
  }
  *target = source;
  target->pbFormat = format;
  if (target->pUnk) target->pUnk->AddRef();
  return S_OK;
}

void ClearMediaTypeFields(AM_MEDIA_TYPE* type) {
  if (!type) return;
  CoTaskMemFree(type->pbFormat);
  type->pbFormat = nullptr;
  type->cbFormat = 0;
  if (type->pUnk) type->pUnk->Release();
  type->pUnk = nullptr;
}

HRESULT DuplicateMediaType(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!copy) return E_OUTOFMEMORY;
  HRESULT hr = CopyMediaTypeFields(copy, source);
  if (FAILED(hr)) {
    CoTaskMemFree(copy);
    return hr;
  }
  *out = copy;
  return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  ClearMediaTypeFields(type);
  CoTaskMemFree(type);
}

}  // namespace platform
