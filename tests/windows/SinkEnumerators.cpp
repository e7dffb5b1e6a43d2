#include "SinkEnumerators.h"

#include <new>

CSinglePinEnum::CSinglePinEnum(IPin* pin, ULONG position) : m_pin(pin), m_position(position) {
  m_pin->AddRef();
}

CSinglePinEnum::~CSinglePinEnum() { m_pin->Release(); }

HRESULT STDMETHODCALLTYPE CSinglePinEnum::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumPins)) {
    *out = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CSinglePinEnum::AddRef() { return InterlockedIncrement(&m_refs); }

ULONG STDMETHODCALLTYPE CSinglePinEnum::Release() {
  LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) {
    delete this;
  }
  return refs;
}

HRESULT STDMETHODCALLTYPE CSinglePinEnum::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr || (count > 1 && fetched == nullptr)) {
    return E_POINTER;
  }
  ULONG given = 0;
  if (count > 0 && m_position == 0) {
    pins[0] = m_pin;
    m_pin->AddRef();
    m_position = 1;
    given = 1;
  }
  if (fetched != nullptr) {
    *fetched = given;
  }
  return given == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CSinglePinEnum::Skip(ULONG count) {
  ULONG left = 1 - m_position;
  if (count > left) {
    m_position = 1;
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CSinglePinEnum::Reset() {
  m_position = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CSinglePinEnum::Clone(IEnumPins** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = new (std::nothrow) CSinglePinEnum(m_pin, m_position);
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT STDMETHODCALLTYPE CEmptyMediaTypeEnum::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumMediaTypes)) {
    *out = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CEmptyMediaTypeEnum::AddRef() { return InterlockedIncrement(&m_refs); }

ULONG STDMETHODCALLTYPE CEmptyMediaTypeEnum::Release() {
  LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) {
    delete this;
  }
  return refs;
}

HRESULT STDMETHODCALLTYPE CEmptyMediaTypeEnum::Next(ULONG count, AM_MEDIA_TYPE** types,
                                                    ULONG* fetched) {
  if (types == nullptr || (count > 1 && fetched == nullptr)) {
    return E_POINTER;
  }
  if (fetched != nullptr) {
    *fetched = 0;
  }
  return count == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEmptyMediaTypeEnum::Skip(ULONG count) {
  return count == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CEmptyMediaTypeEnum::Reset() { return S_OK; }

HRESULT STDMETHODCALLTYPE CEmptyMediaTypeEnum::Clone(IEnumMediaTypes** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = new (std::nothrow) CEmptyMediaTypeEnum();
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}
