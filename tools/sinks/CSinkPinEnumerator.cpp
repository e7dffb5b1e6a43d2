#include "sinks/CSinkPinEnumerator.h"

#include <new>

namespace tessaly::sinks {

CSinkPinEnumerator::CSinkPinEnumerator(IPin* pin, ULONG position)
    : m_pin(platform::ComRef<IPin>::Share(pin)), m_position(position) {}

HRESULT CSinkPinEnumerator::Create(IPin* pin, ULONG position, IEnumPins** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  CSinkPinEnumerator* enumerator = new (std::nothrow) CSinkPinEnumerator(pin, position);
  if (enumerator == nullptr) return E_OUTOFMEMORY;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

HRESULT CSinkPinEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumPins)) {
    *ppv = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CSinkPinEnumerator::AddRef() { return ++m_refs; }

ULONG CSinkPinEnumerator::Release() {
  const ULONG left = --m_refs;
  if (left == 0) delete this;
  return left;
}

HRESULT CSinkPinEnumerator::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
  if (ppPins == nullptr) return E_POINTER;
  if (pcFetched == nullptr && cPins != 1) return E_INVALIDARG;
  ULONG fetched = 0;
  if (cPins > 0 && m_position == 0) {
    ppPins[0] = m_pin.Get();
    ppPins[0]->AddRef();
    fetched = 1;
    m_position = 1;
  }
  if (pcFetched != nullptr) *pcFetched = fetched;
  return fetched == cPins ? S_OK : S_FALSE;
}

HRESULT CSinkPinEnumerator::Skip(ULONG cPins) {
  const ULONG left = m_position == 0 ? 1 : 0;
  const ULONG skipped = cPins < left ? cPins : left;
  m_position += skipped;
  return skipped == cPins ? S_OK : S_FALSE;
}

HRESULT CSinkPinEnumerator::Reset() {
  m_position = 0;
  return S_OK;
}

HRESULT CSinkPinEnumerator::Clone(IEnumPins** ppEnum) {
  return Create(m_pin.Get(), m_position, ppEnum);
}

}  // namespace tessaly::sinks
