#include "framework/CPinEnumerator.h"

#include <new>

#include "com/CInnerUnknown.h"
#include "framework/CFilterBase.h"
#include "framework/CPinBase.h"

CPinEnumerator::CPinEnumerator(CFilterBase* filter, const CPinEnumerator* source)
    : m_position(0), m_pinCount(0), m_filter(filter), m_version(0), m_referenceCount(1) {
  m_filter->BaseFilter()->AddRef();
  if (source == nullptr) {
    m_version = m_filter->PinListVersion();
    m_pinCount = m_filter->PinCount();
    return;
  }
  m_position = source->m_position;
  m_pinCount = source->m_pinCount;
  m_version = source->m_version;
  m_returnedPins.AppendAll(source->m_returnedPins);
}

CPinEnumerator::~CPinEnumerator() {
  m_returnedPins.Clear();
  m_filter->BaseFilter()->Release();
}

STDMETHODIMP CPinEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IEnumPins) || IsEqualGUID(riid, IID_IUnknown)) {
    return HandOutInterface(this, ppv);
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CPinEnumerator::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_referenceCount));
}

STDMETHODIMP_(ULONG) CPinEnumerator::Release() {
  LONG count = InterlockedDecrement(&m_referenceCount);
  if (count == 0) {
    delete this;
  }
  return static_cast<ULONG>(count);
}

bool CPinEnumerator::IsOutOfSync() const { return m_filter->PinListVersion() != m_version; }

void CPinEnumerator::Resynchronize() {
  m_version = m_filter->PinListVersion();
  m_pinCount = m_filter->PinCount();
  m_position = 0;
}

STDMETHODIMP CPinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr) {
    return E_POINTER;
  }
  if (fetched != nullptr) {
    *fetched = 0;
  } else if (count > 1) {
    return E_INVALIDARG;
  }
  if (IsOutOfSync()) {
    Resynchronize();
  }
  LONG remaining = m_pinCount - m_position;
  ULONG wanted = remaining > 0 ? static_cast<ULONG>(remaining) : 0;
  if (count < wanted) {
    wanted = count;
  }
  if (wanted == 0) {
    return S_FALSE;
  }
  const LONG startPosition = m_position;
  const CPointerList::Position returnedBefore = m_returnedPins.LastPosition();
  ULONG stored = 0;
  while (m_position < m_pinCount && stored < wanted) {
    CPinBase* pin = m_filter->PinAt(m_position);
    ++m_position;
    if (pin == nullptr) {
      // The caller learns of no pin on failure, so it could never release
      // the ones already stored; nor have they been returned, so the next
      // round must offer them again.
      for (ULONG index = 0; index < stored; ++index) {
        pins[index]->Release();
        pins[index] = nullptr;
      }
      m_returnedPins.RemoveAfter(returnedBefore);
      m_position = startPosition;
      return VFW_E_ENUM_OUT_OF_SYNC;
    }
    if (m_returnedPins.FindPosition(pin) != nullptr) {
      continue;
    }
    pins[stored] = static_cast<IPin*>(pin);
    pins[stored]->AddRef();
    ++stored;
    m_returnedPins.Append(pin);
  }
  if (fetched != nullptr) {
    *fetched = stored;
  }
  return stored == count ? S_OK : S_FALSE;
}

STDMETHODIMP CPinEnumerator::Skip(ULONG count) {
  if (IsOutOfSync()) {
    return VFW_E_ENUM_OUT_OF_SYNC;
  }
  if (count > static_cast<ULONG>(m_pinCount - m_position)) {
    return S_FALSE;
  }
  m_position += static_cast<LONG>(count);
  return S_OK;
}

STDMETHODIMP CPinEnumerator::Reset() {
  m_version = m_filter->PinListVersion();
  m_pinCount = m_filter->PinCount();
  m_position = 0;
  m_returnedPins.Clear();
  return S_OK;
}

STDMETHODIMP CPinEnumerator::Clone(IEnumPins** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = nullptr;
  if (IsOutOfSync()) {
    return VFW_E_ENUM_OUT_OF_SYNC;
  }
  *enumerator = new (std::nothrow) CPinEnumerator(m_filter, this);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}
