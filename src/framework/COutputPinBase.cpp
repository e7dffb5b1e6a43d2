#include "framework/COutputPinBase.h"

#include "module/SystemAllocator.h"

COutputPinBase::COutputPinBase(const char* objectName, CFilterBase* owner, CRITICAL_SECTION* lock,
                               HRESULT* result, LPCWSTR pinName)
    : CPinBase(objectName, owner, lock, result, pinName, PINDIR_OUTPUT) {}

HRESULT COutputPinBase::Activate() {
  if (!m_allocator) {
    return VFW_E_NO_ALLOCATOR;
  }
  return m_allocator->Commit();
}

HRESULT COutputPinBase::Deactivate() {
  m_runtimeError = FALSE;
  if (!m_allocator) {
    return VFW_E_NO_ALLOCATOR;
  }
  return m_allocator->Decommit();
}

HRESULT COutputPinBase::PreparePeer(IPin* other) {
  HRESULT hr = CPinBase::PreparePeer(other);
  if (FAILED(hr)) {
    return hr;
  }
  hr = other->QueryInterface(IID_IMemInputPin, m_peerInput.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    m_peerInput.Detach();  // a failed query promises nothing about the slot
    return hr;
  }
  return m_peerInput ? S_OK : E_NOINTERFACE;
}

HRESULT COutputPinBase::ReleasePeer() {
  m_allocator.Reset();
  m_peerInput.Reset();
  return S_OK;
}

HRESULT COutputPinBase::FinishConnection(IPin* peer) {
  return NegotiateAllocator(m_peerInput.Get(), m_allocator.ReleaseAndGetAddressOf());
}

HRESULT COutputPinBase::NegotiateAllocator(IMemInputPin* input, IMemAllocator** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = nullptr;
  if (input == nullptr) {
    return VFW_E_NOT_CONNECTED;
  }
  ALLOCATOR_PROPERTIES request = {};
  input->GetAllocatorRequirements(&request);
  if (request.cbAlign == 0) {
    request.cbAlign = 1;
  }

  CComHolder<IMemAllocator> allocator;
  HRESULT hr = input->GetAllocator(allocator.ReleaseAndGetAddressOf());
  if (SUCCEEDED(hr) && allocator) {
    hr = SizeBuffers(allocator.Get(), &request);
    if (SUCCEEDED(hr)) {
      hr = input->NotifyAllocator(allocator.Get(), FALSE);
      if (SUCCEEDED(hr)) {
        *out = allocator.Detach();
        return S_OK;
      }
    }
  } else if (FAILED(hr)) {
    allocator.Detach();  // a failed call promises nothing about the slot
  }

  hr = CreateOwnAllocator(allocator.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    allocator.Detach();
    return hr;
  }
  if (!allocator) {
    return VFW_E_NO_ALLOCATOR;
  }
  hr = SizeBuffers(allocator.Get(), &request);
  if (FAILED(hr)) {
    return hr;
  }
  hr = input->NotifyAllocator(allocator.Get(), FALSE);
  if (FAILED(hr)) {
    return hr;
  }
  *out = allocator.Detach();
  return S_OK;
}

HRESULT COutputPinBase::GetOutputSample(IMediaSample** out, REFERENCE_TIME* start,
                                        REFERENCE_TIME* stop, DWORD flags) {
  if (!m_allocator) {
    return E_NOINTERFACE;
  }
  return m_allocator->GetBuffer(out, start, stop, flags);
}

HRESULT COutputPinBase::SendSample(IMediaSample* sample) {
  if (!m_peerInput) {
    return VFW_E_NOT_CONNECTED;
  }
  return m_peerInput->Receive(sample);
}

HRESULT COutputPinBase::CreateOwnAllocator(IMemAllocator** out) {
  return CreateSystemAllocator(out);
}

HRESULT COutputPinBase::SendEndOfStream() {
  if (!m_peer) {
    return VFW_E_NOT_CONNECTED;
  }
  return m_peer->EndOfStream();
}

HRESULT COutputPinBase::SendBeginFlush() {
  if (!m_peer) {
    return VFW_E_NOT_CONNECTED;
  }
  return m_peer->BeginFlush();
}

HRESULT COutputPinBase::SendEndFlush() {
  if (!m_peer) {
    return VFW_E_NOT_CONNECTED;
  }
  return m_peer->EndFlush();
}

HRESULT COutputPinBase::SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!m_peer) {
    return VFW_E_NOT_CONNECTED;
  }
  return m_peer->NewSegment(start, stop, rate);
}

STDMETHODIMP COutputPinBase::EndOfStream() { return E_UNEXPECTED; }

STDMETHODIMP COutputPinBase::BeginFlush() { return E_UNEXPECTED; }

STDMETHODIMP COutputPinBase::EndFlush() { return E_UNEXPECTED; }

STDMETHODIMP COutputPinBase::Notify(IBaseFilter* sender, Quality quality) { return E_NOTIMPL; }
