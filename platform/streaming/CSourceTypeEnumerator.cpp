#include "CSourceTypeEnumerator.h"

#include <new>

#include "MediaTypeCopy.h"

namespace platform {

HRESULT CSourceTypeEnumerator::Create(const AM_MEDIA_TYPE& type, IEnumMediaTypes** out) {
  return CreateAt(type, 0, out);
}

HRESULT CSourceTypeEnumerator::CreateAt(const AM_MEDIA_TYPE& type, ULONG position,
                                        IEnumMediaTypes** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* enumerator = new (std::nothrow) CSourceTypeEnumerator;
  if (!enumerator) return E_OUTOFMEMORY;
  HRESULT hr = CopyMediaTypeFields(&enumerator->m_type, type);
  if (FAILED(hr)) {
    delete enumerator;
    return hr;
  }
  enumerator->m_position = position;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

CSourceTypeEnumerator::~CSourceTypeEnumerator() { ClearMediaTypeFields(&m_type); }

HRESULT CSourceTypeEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
    *ppv = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CSourceTypeEnumerator::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CSourceTypeEnumerator::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CSourceTypeEnumerator::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                    ULONG* pcFetched) {
  if (!ppMediaTypes) return E_POINTER;
  if (cMediaTypes != 1 && !pcFetched) return E_INVALIDARG;
  if (pcFetched) *pcFetched = 0;
  if (cMediaTypes == 0) return S_OK;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_position >= 1) return S_FALSE;
  HRESULT hr = DuplicateMediaType(m_type, &ppMediaTypes[0]);
  if (FAILED(hr)) return hr;
  m_position = 1;
  if (pcFetched) *pcFetched = 1;
  return cMediaTypes == 1 ? S_OK : S_FALSE;
}

HRESULT CSourceTypeEnumerator::Skip(ULONG cMediaTypes) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (cMediaTypes == 0) return S_OK;
  if (m_position >= 1) return S_FALSE;
  m_position = 1;
  return cMediaTypes == 1 ? S_OK : S_FALSE;
}

HRESULT CSourceTypeEnumerator::Reset() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_position = 0;
  return S_OK;
}

HRESULT CSourceTypeEnumerator::Clone(IEnumMediaTypes** ppEnum) {
  ULONG position = 0;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    position = m_position;
  }
  return CreateAt(m_type, position, ppEnum);
}

}  // namespace platform
