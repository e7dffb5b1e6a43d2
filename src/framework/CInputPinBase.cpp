#include "framework/CInputPinBase.h"

#include <cstring>

#include "framework/CFilterBase.h"
#include "module/SystemAllocator.h"
#include "runtime/CAutoLock.h"

CInputPinBase::CInputPinBase(const char* objectName, CFilterBase* owner, CRITICAL_SECTION* lock,
                             HRESULT* result, LPCWSTR pinName)
    : CPinBase(objectName, owner, lock, result, pinName, PINDIR_INPUT),
      m_readOnly(FALSE),
      m_flushing(false),
      m_receivedType(nullptr) {
  std::memset(&m_lastSampleProps, 0, sizeof(m_lastSampleProps));
}

CInputPinBase::~CInputPinBase() {
  m_allocator.Reset();
  DeleteMediaTypeCopy(m_receivedType);
}

HRESULT CInputPinBase::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IMemInputPin)) {
    return HandOutInterface(static_cast<IMemInputPin*>(this), ppv);
  }
  return CPinBase::InnerQueryInterface(riid, ppv);
}

HRESULT CInputPinBase::Deactivate() {
  m_runtimeError = FALSE;
  if (!m_allocator) {
    return VFW_E_NO_ALLOCATOR;
  }
  m_flushing = false;
  return m_allocator->Decommit();
}

HRESULT CInputPinBase::ReceiveState() {
  if (m_owner == nullptr || m_owner->State() == State_Stopped) {
    return VFW_E_WRONG_STATE;
  }
  if (m_flushing) {
    return S_FALSE;
  }
  if (m_runtimeError) {
    return VFW_E_RUNTIME_ERROR;
  }
  return S_OK;
}

STDMETHODIMP CInputPinBase::Disconnect() {
  // The state lock before the pin's lock, as in every connection change.
  CTryLock state(OwnerStateLock());
  if (!state.Held()) {
    return VFW_E_NOT_STOPPED;
  }
  CAutoLock lock(m_lock);
  HRESULT hr = CPinBase::Disconnect();
  if (hr == S_OK) {
    m_allocator.Reset();
  }
  return hr;
}

STDMETHODIMP CInputPinBase::EndOfStream() { return S_FALSE; }

STDMETHODIMP CInputPinBase::BeginFlush() {
  CAutoLock lock(m_lock);
  m_flushing = true;
  return S_OK;
}

STDMETHODIMP CInputPinBase::EndFlush() {
  CAutoLock lock(m_lock);
  m_flushing = false;
  return S_OK;
}

STDMETHODIMP CInputPinBase::Notify(IBaseFilter* sender, Quality quality) {
  return sender != nullptr ? S_OK : E_POINTER;
}

STDMETHODIMP CInputPinBase::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(m_lock);
  if (!m_allocator) {
    IMemAllocator* created = nullptr;
    HRESULT hr = CreateSystemAllocator(&created);
    if (FAILED(hr)) {
      return hr;
    }
    m_allocator.Attach(created);
  }
  return m_allocator.CopyTo(allocator);
}

STDMETHODIMP CInputPinBase::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (allocator == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(m_lock);
  m_allocator = allocator;
  m_readOnly = static_cast<BYTE>(readOnly);
  return S_OK;
}

STDMETHODIMP CInputPinBase::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  return E_NOTIMPL;
}

void CInputPinBase::FillPropertiesFromSample(IMediaSample* sample) {
  AM_SAMPLE2_PROPERTIES& props = m_lastSampleProps;
  props.cbData = sizeof(AM_SAMPLE2_PROPERTIES);
  props.dwTypeSpecificFlags = 0;
  props.dwStreamId = 0;
  props.dwSampleFlags = 0;
  if (sample->IsDiscontinuity() == S_OK) {
    props.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
  }
  if (sample->IsPreroll() == S_OK) {
    props.dwSampleFlags |= AM_SAMPLE_PREROLL;
  }
  if (sample->IsSyncPoint() == S_OK) {
    props.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
  }
  if (SUCCEEDED(sample->GetTime(&props.tStart, &props.tStop))) {
    props.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
  }
  props.pMediaType = nullptr;
  HRESULT hr = sample->GetMediaType(&props.pMediaType);
  if (FAILED(hr)) {
    props.pMediaType = nullptr;
  }
  m_receivedType = props.pMediaType;
  if (hr == S_OK) {
    props.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
  }
  props.pbBuffer = nullptr;
  sample->GetPointer(&props.pbBuffer);
  props.lActual = sample->GetActualDataLength();
  props.cbBuffer = sample->GetSize();
}

void CInputPinBase::ForgetLastSample() {
  DeleteMediaTypeCopy(m_receivedType);
  m_receivedType = nullptr;
  std::memset(&m_lastSampleProps, 0, sizeof(m_lastSampleProps));
}

HRESULT CInputPinBase::KeepOwnTypeCopy() {
  // The sample's type goes with the sample, which its sender may release as
  // soon as Receive returns.
  if (m_lastSampleProps.pMediaType == nullptr) {
    return S_OK;
  }
  m_receivedType = NewMediaTypeCopy(m_lastSampleProps.pMediaType);
  m_lastSampleProps.pMediaType = m_receivedType;
  return m_receivedType != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CInputPinBase::RejectTypeChange() {
  m_runtimeError = TRUE;
  static_cast<IPin*>(this)->EndOfStream();
  if (m_owner != nullptr) {
    m_owner->NotifyGraph(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
  }
  return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CInputPinBase::Receive(IMediaSample* sample) {
  if (sample == nullptr) {
    return E_POINTER;
  }
  HRESULT hr = ReceiveState();
  if (hr != S_OK) {
    return hr;
  }
  ForgetLastSample();

  IMediaSample2* sample2 = nullptr;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))) &&
      sample2 != nullptr) {
    hr = sample2->GetProperties(sizeof(m_lastSampleProps),
                                reinterpret_cast<BYTE*>(&m_lastSampleProps));
    sample2->Release();
    if (SUCCEEDED(hr)) {
      hr = KeepOwnTypeCopy();
    }
    if (FAILED(hr)) {
      // A failed call may have written part of the record.
      ForgetLastSample();
      return hr;
    }
  } else {
    FillPropertiesFromSample(sample);
  }

  if ((m_lastSampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) == 0) {
    return S_OK;
  }
  // A sample may claim a type change without carrying the type.
  if (m_lastSampleProps.pMediaType == nullptr ||
      TestMediaType(static_cast<const CMediaTypeRecord*>(m_lastSampleProps.pMediaType)) != S_OK) {
    return RejectTypeChange();
  }
  return S_OK;
}

STDMETHODIMP CInputPinBase::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
  if (samples == nullptr || processed == nullptr) {
    return E_POINTER;
  }
  *processed = 0;
  for (LONG index = 0; index < count; ++index) {
    HRESULT hr = static_cast<IMemInputPin*>(this)->Receive(samples[index]);
    if (hr != S_OK) {
      return hr;
    }
    ++*processed;
  }
  return S_OK;
}

STDMETHODIMP CInputPinBase::ReceiveCanBlock() {
  if (m_owner == nullptr) {
    return S_OK;
  }
  int count = m_owner->PinCount();
  int connectedOutputs = 0;
  for (int index = 0; index < count; ++index) {
    CPinBase* pin = m_owner->PinAt(index);
    if (pin == nullptr) {
      continue;
    }
    PIN_DIRECTION direction = PINDIR_INPUT;
    HRESULT hr = static_cast<IPin*>(pin)->QueryDirection(&direction);
    if (FAILED(hr)) {
      return hr;
    }
    if (direction != PINDIR_OUTPUT) {
      continue;
    }
    CComHolder<IPin> peer;
    if (static_cast<IPin*>(pin)->ConnectedTo(peer.ReleaseAndGetAddressOf()) != S_OK || !peer) {
      peer.Detach();
      continue;
    }
    ++connectedOutputs;
    CComHolder<IMemInputPin> downstream;
    hr = peer->QueryInterface(IID_IMemInputPin, downstream.ReleaseAndGetVoidAddressOf());
    peer.Reset();
    if (FAILED(hr) || !downstream) {
      downstream.Detach();
      return S_OK;
    }
    if (downstream->ReceiveCanBlock() != S_FALSE) {
      return S_OK;
    }
  }
  return connectedOutputs > 0 ? S_FALSE : S_OK;
}
