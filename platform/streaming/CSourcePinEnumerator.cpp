#include "CSourcePinEnumerator.h"

#include <new>

namespace platform {

HRESULT CSourcePinEnumerator::Create(const std::vector<IPin*>& pins, IEnumPins** out) {
  return CreateAt(pins, 0, out);
}

HRESULT CSourcePinEnumerator::CreateAt(const std::vector<IPin*>& pins, size_t position,
                                       IEnumPins** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* enumerator = new (std::nothrow) CSourcePinEnumerator;
  if (!enumerator) return E_OUTOFMEMORY;
  try {
    enumerator->m_pins = pins;
  } catch (const std::bad_alloc&) {
    delete enumerator;
    return E_OUTOFMEMORY;
  }
  for (IPin* pin : enumerator->m_pins) pin->AddRef();
  enumerator->m_position = position;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

CSourcePinEnumerator::~CSourcePinEnumerator() {
  for (IPin* pin : m_pins) pin->Release();
}

HRESULT CSourcePinEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumPins) {
    *ppv = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CSourcePinEnumerator::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CSourcePinEnumerator::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CSourcePinEnumerator::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) {
  if (!ppPins) return E_POINTER;
  if (cPins != 1 && !pcFetched) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(m_lock);
  ULONG fetched = 0;
  while (fetched < cPins && m_position < m_pins.size()) {
    ppPins[fetched] = m_pins[m_position++];
    ppPins[fetched]->AddRef();
    ++fetched;
  }
  if (pcFetched) *pcFetched = fetched;
  return fetched == cPins ? S_OK : S_FALSE;
}

HRESULT CSourcePinEnumerator::Skip(ULONG cPins) {
  std::lock_guard<std::mutex> guard(m_lock);
  size_t left = m_pins.size() - m_position;
  if (cPins > left) {
    m_position = m_pins.size();
    return S_FALSE;
  }
  m_position += cPins;
  return S_OK;
}

HRESULT CSourcePinEnumerator::Reset() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_position = 0;
  return S_OK;
}

HRESULT CSourcePinEnumerator::Clone(IEnumPins** ppEnum) {
  std::lock_guard<std::mutex> guard(m_lock);
  return CreateAt(m_pins, m_position, ppEnum);
}

}  // namespace platform
