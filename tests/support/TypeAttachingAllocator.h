// An allocator that attaches a media type to one of the buffers it hands
// out, as a renderer does that changes the layout it wants mid-stream.
// Everything else is the wrapped allocator's.
#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"
#include "com/CMediaTypeRecord.h"

class TypeAttachingAllocator final : public IMemAllocator {
 public:
  // Created with a reference count of 0; hold it through a counted pointer.
  explicit TypeAttachingAllocator(IMemAllocator* inner);

  // The buffer with this number (from 1) carries the type; set before streaming.
  void AttachType(int bufferNumber, const AM_MEDIA_TYPE& type);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                         DWORD flags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

 private:
  ~TypeAttachingAllocator() = default;

  std::atomic<LONG> m_references{0};
  std::atomic<int> m_handedOut{0};
  CComHolder<IMemAllocator> m_inner;  // counted
  CMediaTypeRecord m_type;
  int m_attachAt = 0;  // no buffer when 0
};
