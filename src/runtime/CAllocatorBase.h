#pragma once

#include "Platform.h"
#include "com/CInnerUnknown.h"
#include "runtime/CMemSample.h"

// Allocator logic shared by every allocator: properties, the free list,
// commit and decommit, waiting for a free buffer. Memory is given back only
// once every sample has come home; until then the allocator keeps a
// reference on itself.
class CAllocatorBase : public CInnerUnknown, public IMemAllocator {
 public:
  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

  // IMemAllocator
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                             ALLOCATOR_PROPERTIES* pActual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  // The times are not used. Never waits while holding the lock.
  STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                         REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
  // Takes back one of this allocator's own samples; samples call it on their
  // last Release, from whatever thread that is. E_INVALIDARG for a sample of
  // another allocator and for one that is already back.
  STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

 protected:
  CAllocatorBase(const char* objectName, IUnknown* outer, BOOL createSemaphore);
  ~CAllocatorBase() override;

  // Called with the lock held once a decommit has completed.
  virtual void FreeBuffers() = 0;
  // Called with the lock held by Commit. S_OK: buffers must be (re)created;
  // S_FALSE: the existing ones still fit the properties.
  virtual HRESULT AllocateBuffers();

  // Called with the lock held.
  void WakeWaiters();
  void PushFreeSample(CMemSample* sample);
  CMemSample* PopFreeSample();
  // This allocator's sample behind the interface, or null. Compares
  // addresses only: a foreign sample is never read as one of ours.
  CMemSample* OwnSample(IMediaSample* sample) const;

  CRITICAL_SECTION m_lock;  // owned; re-entrant, guards every field below
  CMemSample* m_freeHead;   // not counted: the samples belong to the derived allocator
  // not owned: the derived allocator's samples, m_samplesCreated of them in
  // one array; null when there are none
  CMemSample* m_samples;
  LONG m_freeCount;
  HANDLE m_semaphore;  // owned; null when it could not be created
  LONG m_waitingCount;
  LONG m_bufferCount;
  LONG m_samplesCreated;
  LONG m_bufferSize;
  LONG m_alignment;
  LONG m_prefix;
  BOOL m_propertiesChanged;
  BOOL m_committed;
  BOOL m_decommitPending;
};
