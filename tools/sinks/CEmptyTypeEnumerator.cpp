#include "sinks/CEmptyTypeEnumerator.h"

#include <new>

namespace tessaly::sinks {

HRESULT CEmptyTypeEnumerator::Create(IEnumMediaTypes** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  CEmptyTypeEnumerator* enumerator = new (std::nothrow) CEmptyTypeEnumerator();
  if (enumerator == nullptr) return E_OUTOFMEMORY;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

HRESULT CEmptyTypeEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumMediaTypes)) {
    *ppv = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CEmptyTypeEnumerator::AddRef() { return ++m_refs; }

ULONG CEmptyTypeEnumerator::Release() {
  const ULONG left = --m_refs;
  if (left == 0) delete this;
  return left;
}

HRESULT CEmptyTypeEnumerator::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched) {
  if (ppMediaTypes == nullptr) return E_POINTER;
  if (pcFetched == nullptr && cMediaTypes != 1) return E_INVALIDARG;
  if (pcFetched != nullptr) *pcFetched = 0;
  return cMediaTypes == 0 ? S_OK : S_FALSE;
}

HRESULT CEmptyTypeEnumerator::Skip(ULONG cMediaTypes) { return cMediaTypes == 0 ? S_OK : S_FALSE; }

HRESULT CEmptyTypeEnumerator::Reset() { return S_OK; }

HRESULT CEmptyTypeEnumerator::Clone(IEnumMediaTypes** ppEnum) { return Create(ppEnum); }

}  // namespace tessaly::sinks
