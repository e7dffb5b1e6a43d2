#include "splitter/CSplitterInputPin.h"

#include <new>

#include "film/FilmLayout.h"
#include "runtime/CPagedMemAllocator.h"
#include "splitter/CSplitterFilterBase.h"

CSplitterInputPin::CSplitterInputPin(const char* objectName, CSplitterFilterBase* filter,
                                     CRITICAL_SECTION* lock, HRESULT* result, LPCWSTR pinName)
    : CInputPinBase(objectName, filter, lock, result, pinName),
      m_splitter(filter),
      m_availableLength(film::kUnknownFileLength) {}

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
  if (!m_reader) {
    return E_NOINTERFACE;
  }
  // The parse that finishes the connection reads no further than this.
  LearnLength();
  return S_OK;
}

HRESULT CSplitterInputPin::FinishConnection(IPin* peer) {
  if (m_splitter == nullptr) {
    return E_UNEXPECTED;
  }
  HRESULT hr = m_splitter->OnInputConnected(0, peer);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CSplitterInputPin::Activate() {
  LearnLength();
  return CInputPinBase::Activate();
}

HRESULT CSplitterInputPin::ReadAt(LONGLONG position, LONG length, BYTE* buffer) {
  IAsyncReader* reader = m_reader.Get();
  if (reader == nullptr) {
    return VFW_E_NOT_CONNECTED;
  }
  HRESULT hr = reader->SyncRead(position, length, buffer);
  if (hr == S_FALSE) {
    LearnLength();
  }
  return hr;
}

LONGLONG CSplitterInputPin::AvailableLength() { return m_availableLength.load(); }

void CSplitterInputPin::LearnLength() {
  IAsyncReader* reader = m_reader.Get();
  LONGLONG total = 0;
  LONGLONG available = 0;
  if (reader == nullptr || FAILED(reader->Length(&total, &available)) || available < 0) {
    m_availableLength = film::kUnknownFileLength;
    return;
  }
  // Of a file still being written, only what is available now can be read.
  m_availableLength = available;
}

STDMETHODIMP CSplitterInputPin::BeginFlush() {
  m_flushing = true;
  return S_OK;
}

STDMETHODIMP CSplitterInputPin::EndFlush() {
  m_flushing = false;
  return S_OK;
}
