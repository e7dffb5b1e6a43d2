// An allocator that attaches a media type to one of the buffers it hands
// out, as a renderer does that changes the layout it wants mid-stream, and
// tells a waiting test when a buffer is asked for, so that the test knows a
// delivery is under way. Everything else is the wrapped allocator's.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "com/CMediaTypeRecord.h"
#include "support/DelegatingAllocator.h"

class TypeAttachingAllocator final : public DelegatingAllocator {
 public:
  // Created with a reference count of 0; hold it through a counted pointer.
  explicit TypeAttachingAllocator(IMemAllocator* inner);

  // The buffer with this number (from 1) carries the type; set before streaming.
  void AttachType(int bufferNumber, const AM_MEDIA_TYPE& type);
  // Buffers of at least this many bytes, for the wider rows a new type brings.
  void GrowBuffersTo(LONG bytes);
  // Until the buffer with this number (from 1) is asked for; false after a minute.
  bool WaitForRequest(int bufferNumber);

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                         DWORD flags) override;

 private:
  ~TypeAttachingAllocator() override = default;

  void NoteRequest();

  std::atomic<int> m_handedOut{0};
  CMediaTypeRecord m_type;
  int m_attachAt = 0;      // no buffer when 0
  LONG m_bufferBytes = 0;  // the request's own size when 0
  std::mutex m_requestMutex;
  std::condition_variable m_requestMade;
  int m_requested = 0;  // guarded by m_requestMutex
};
