// An allocator that keeps no room in front of its buffers, as some
// downstream filters' allocators do: it either refuses a request for a
// prefix or grants the buffers without one. Everything else is the
// wrapped allocator's.
#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"

class PrefixlessAllocator final : public IMemAllocator {
 public:
  enum class Answer { Refuse, Ignore };

  // Created with a reference count of 0; hold it through a counted pointer.
  PrefixlessAllocator(IMemAllocator* inner, Answer answer);

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
  ~PrefixlessAllocator() = default;

  std::atomic<LONG> m_references{0};
  CComHolder<IMemAllocator> m_inner;  // counted
  Answer m_answer;
};
