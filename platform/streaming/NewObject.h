// The creation step every built-in streaming class shares: none of them can
// be aggregated, and a new object lives only through the interface it hands out.
#pragma once

#include <win/platform.h>

namespace platform {

inline HRESULT CheckUnaggregatedCreate(IUnknown* outer, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return outer ? CLASS_E_NOAGGREGATION : S_OK;
}

// Takes a freshly allocated object (null when the allocation failed); the
// object dies here if it does not offer riid.
template <typename T>
HRESULT HandOutNewObject(T* object, REFIID riid, void** ppv) {
  if (!object) return E_OUTOFMEMORY;
  object->AddRef();
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace platform
