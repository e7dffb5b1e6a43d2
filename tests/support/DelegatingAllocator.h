// An allocator that hands every call to a wrapped allocator, the base of the
// test allocators that change one answer of another filter's allocator.
// A derived allocator overrides only the calls it changes.
#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"

class DelegatingAllocator : public IMemAllocator {
 public:
  // Created with a reference count of 0; hold it through a counted pointer.
  explicit DelegatingAllocator(IMemAllocator* inner);

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

 protected:
  virtual ~DelegatingAllocator() = default;

  IMemAllocator* Inner() const { return m_inner.Get(); }

 private:
  std::atomic<LONG> m_references{0};
  CComHolder<IMemAllocator> m_inner;  // counted
};
