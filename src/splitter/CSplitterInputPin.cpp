#include "splitter/CSplitterInputPin.h"

#include <new>

#include "runtime/CPagedMemAllocator.h"
#include "splitter/CSplitterFilterBase.h"

CSplitterInputPin::CSplitterInputPin(const char* objectName, CSplitterFilterBase* filter,
                                     CRITICAL_SECTION* lock, HRESULT* result, LPCWSTR pinName)
    : CInputPinBase(objectName, filter, lock, result, pinName), m_splitter(filter) {}

CSplitterInputPin::~CSplitterInputPin() { m_reader.Reset(); }

HRESULT CSplitterInputPin::TestMediaType(const CMediaTypeRecord* type) {
  if (m_splitter == nullptr) {
    return E_UNEXPECTED;
  }
  return m_splitter->TestInputType(type);
}

HRESULT CSplitterInputPin::PreparePeer(IPin* other) {
  HRESULT hr = CPinBase::PreparePeer(other);
  if (FAILED(hr)) {
    return hr;
  }
  HRESULT created = hr;
  CPagedMemAllocator* allocator =
      new (std::nothrow) CPagedMemAllocator("CSplitterInputPin", nullptr, &created);
  if (allocator == nullptr) {
    return E_OUTOFMEMORY;
  }
  if (FAILED(created)) {
    // Never handed out, so nobody else can hold it.
    delete allocator;
    return created;
  }
  m_allocator = static_cast<IMemAllocator*>(allocator);

  hr = other->QueryInterface(IID_IAsyncReader, m_reader.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    m_reader.Detach();  // a failed query promises nothing about the slot
    return hr;
  }
  return m_reader ? S_OK : E_NOINTERFACE;
}

HRESULT CSplitterInputPin::FinishConnection(IPin* peer) {
  if (m_splitter == nullptr) {
    return E_UNEXPECTED;
  }
  HRESULT hr = m_splitter->OnInputConnected(0, peer);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CSplitterInputPin::ReadAt(LONGLONG position, LONG length, BYTE* buffer) {
  IAsyncReader* reader = m_reader.Get();
  if (reader == nullptr) {
    return VFW_E_NOT_CONNECTED;
  }
  return reader->SyncRead(position, length, buffer);
}

STDMETHODIMP CSplitterInputPin::BeginFlush() {
  m_flushing = true;
  return S_OK;
}

STDMETHODIMP CSplitterInputPin::EndFlush() {
  m_flushing = false;
  return S_OK;
}
