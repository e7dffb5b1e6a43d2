#include "framework/CMediaTypeEnumerator.h"

#include <new>

#include "com/CInnerUnknown.h"
#include "com/CMediaTypeRecord.h"
#include "framework/CPinBase.h"

namespace {

IPin* AsPin(CPinBase* pin) { return static_cast<IPin*>(pin); }

// Positions move by caller-chosen amounts; wrapping keeps that defined.
LONG Advance(LONG position, ULONG count) {
  return static_cast<LONG>(static_cast<ULONG>(position) + count);
}

}  // namespace

CMediaTypeEnumerator::CMediaTypeEnumerator(CPinBase* pin, const CMediaTypeEnumerator* source)
    : m_position(0), m_pin(pin), m_version(0), m_referenceCount(1) {
  AsPin(m_pin)->AddRef();
  if (source == nullptr) {
    m_version = m_pin->TypeVersion();
    return;
  }
  m_position = source->m_position;
  m_version = source->m_version;
}

CMediaTypeEnumerator::~CMediaTypeEnumerator() { AsPin(m_pin)->Release(); }

STDMETHODIMP CMediaTypeEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IEnumMediaTypes) || IsEqualGUID(riid, IID_IUnknown)) {
    return HandOutInterface(this, ppv);
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaTypeEnumerator::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_referenceCount));
}

STDMETHODIMP_(ULONG) CMediaTypeEnumerator::Release() {
  LONG count = InterlockedDecrement(&m_referenceCount);
  if (count == 0) {
    delete this;
  }
  return static_cast<ULONG>(count);
}

bool CMediaTypeEnumerator::IsOutOfSync() const { return m_pin->TypeVersion() != m_version; }

STDMETHODIMP CMediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (types == nullptr) {
    return E_POINTER;
  }
  if (IsOutOfSync()) {
    return VFW_E_ENUM_OUT_OF_SYNC;
  }
  if (fetched != nullptr) {
    *fetched = 0;
  } else if (count > 1) {
    return E_INVALIDARG;
  }
  ULONG stored = 0;
  ULONG remaining = count;
  while (remaining != 0) {
    CMediaTypeRecord offered;
    HRESULT hr = m_pin->OfferedMediaType(m_position, &offered);
    m_position = Advance(m_position, 1);
    if (hr != S_OK) {
      break;
    }
    AM_MEDIA_TYPE* block = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    types[stored] = block;
    if (block == nullptr) {
      break;
    }
    // The block takes over the format block and the pUnk reference.
    *block = offered;
    offered.pbFormat = nullptr;
    offered.pUnk = nullptr;
    offered.cbFormat = 0;
    ++stored;
    --remaining;
  }
  if (fetched != nullptr) {
    *fetched = stored;
  }
  return remaining != 0 ? S_FALSE : S_OK;
}

STDMETHODIMP CMediaTypeEnumerator::Skip(ULONG count) {
  if (IsOutOfSync()) {
    return VFW_E_ENUM_OUT_OF_SYNC;
  }
  m_position = Advance(m_position, count);
  CMediaTypeRecord probe;
  HRESULT hr = m_pin->OfferedMediaType(Advance(m_position, static_cast<ULONG>(-1)), &probe);
  return hr == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaTypeEnumerator::Reset() {
  m_position = 0;
  m_version = m_pin->TypeVersion();
  return S_OK;
}

STDMETHODIMP CMediaTypeEnumerator::Clone(IEnumMediaTypes** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = nullptr;
  if (IsOutOfSync()) {
    return VFW_E_ENUM_OUT_OF_SYNC;
  }
  *enumerator = new (std::nothrow) CMediaTypeEnumerator(m_pin, this);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}
