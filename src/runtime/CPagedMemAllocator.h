#pragma once

#include "Platform.h"
#include "runtime/CAllocatorBase.h"

// The module's own allocator: every buffer is carved out of one block of
// committed pages, each preceded by its prefix. It also owns the one array
// of sample objects the base knows as m_samples.
class CPagedMemAllocator : public CAllocatorBase {
 public:
  // result receives E_OUTOFMEMORY when the semaphore could not be created and
  // is left alone otherwise; the creator must then discard the object.
  CPagedMemAllocator(const char* objectName, IUnknown* outer, HRESULT* result);
  ~CPagedMemAllocator() override;

 protected:
  // Keeps the samples and the block, so that a later Commit with unchanged
  // properties allocates nothing.
  void FreeBuffers() override;
  HRESULT AllocateBuffers() override;

 private:
  // Destroys every sample (all must be on the free list), their array and
  // gives the block back.
  void ReleaseAllBuffers();

  BYTE* m_pageBlock;  // owned: VirtualAlloc'ed; null when none
};
