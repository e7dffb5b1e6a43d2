#include "support/TypeAttachingAllocator.h"

#include <chrono>

TypeAttachingAllocator::TypeAttachingAllocator(IMemAllocator* inner) : DelegatingAllocator(inner) {}

void TypeAttachingAllocator::AttachType(int bufferNumber, const AM_MEDIA_TYPE& type) {
  m_type = type;
  m_attachAt = bufferNumber;
}

void TypeAttachingAllocator::GrowBuffersTo(LONG bytes) { m_bufferBytes = bytes; }

bool TypeAttachingAllocator::WaitForRequest(int bufferNumber) {
  std::unique_lock<std::mutex> lock(m_requestMutex);
  return m_requestMade.wait_for(lock, std::chrono::minutes(1),
                                [&] { return m_requested >= bufferNumber; });
}

STDMETHODIMP TypeAttachingAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                   ALLOCATOR_PROPERTIES* actual) {
  if (request != nullptr && request->cbBuffer < m_bufferBytes) {
    request->cbBuffer = m_bufferBytes;
  }
  return DelegatingAllocator::SetProperties(request, actual);
}

STDMETHODIMP TypeAttachingAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                               REFERENCE_TIME* stop, DWORD flags) {
  // Told before the wrapped allocator is asked: that call may wait for a
  // buffer the sink keeps.
  NoteRequest();
  const HRESULT hr = DelegatingAllocator::GetBuffer(sample, start, stop, flags);
  if (FAILED(hr) || sample == nullptr || *sample == nullptr) {
    return hr;
  }
  if (++m_handedOut == m_attachAt) {
    (*sample)->SetMediaType(&m_type);
  }
  return hr;
}

void TypeAttachingAllocator::NoteRequest() {
  std::lock_guard<std::mutex> lock(m_requestMutex);
  ++m_requested;
  m_requestMade.notify_all();
}
