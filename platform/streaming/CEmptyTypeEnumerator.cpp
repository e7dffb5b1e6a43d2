#include "CEmptyTypeEnumerator.h"

#include <new>

namespace platform {

HRESULT CEmptyTypeEnumerator::Create(IEnumMediaTypes** out) {
  if (!out) return E_POINTER;
  auto* enumerator = new (std::nothrow) CEmptyTypeEnumerator;
  *out = enumerator;
  if (!enumerator) return E_OUTOFMEMORY;
  enumerator->AddRef();
  return S_OK;
}

HRESULT CEmptyTypeEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
    *ppv = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CEmptyTypeEnumerator::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CEmptyTypeEnumerator::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CEmptyTypeEnumerator::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched) {
  if (!ppMediaTypes) return E_POINTER;
  if (cMediaTypes != 1 && !pcFetched) return E_INVALIDARG;
  if (pcFetched) *pcFetched = 0;
  return cMediaTypes == 0 ? S_OK : S_FALSE;
}

HRESULT CEmptyTypeEnumerator::Skip(ULONG cMediaTypes) { return cMediaTypes == 0 ? S_OK : S_FALSE; }

HRESULT CEmptyTypeEnumerator::Reset() { return S_OK; }

HRESULT CEmptyTypeEnumerator::Clone(IEnumMediaTypes** ppEnum) { return Create(ppEnum); }

}  // namespace platform
