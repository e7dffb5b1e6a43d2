#include "runtime/CPagedMemAllocator.h"

#include <cstdint>
#include <new>

#include "runtime/CAutoLock.h"

namespace {
// The block is sized in the platform's 32 bits; anything larger is refused.
constexpr ULONGLONG kLargestPageBlock = 0xFFFFFFFFull;
}  // namespace

CPagedMemAllocator::CPagedMemAllocator(const char* objectName, IUnknown* outer, HRESULT* result)
    : CAllocatorBase(objectName, outer, TRUE), m_pageBlock(nullptr) {
  if (m_semaphore == nullptr && result != nullptr) {
    *result = E_OUTOFMEMORY;
  }
}

CPagedMemAllocator::~CPagedMemAllocator() {
  Decommit();
  ReleaseAllBuffers();
}

void CPagedMemAllocator::FreeBuffers() {}

HRESULT CPagedMemAllocator::AllocateBuffers() {
  CAutoLock lock(&m_lock);
  const HRESULT check = CAllocatorBase::AllocateBuffers();
  if (FAILED(check)) {
    return check;
  }
  if (check == S_FALSE) {
    return S_OK;
  }
  // A block that cannot be sized in 32 bits would be smaller than the
  // samples carved out of it.
  const ULONGLONG stride = static_cast<ULONGLONG>(m_prefix) + static_cast<ULONGLONG>(m_bufferSize);
  const ULONGLONG blockSize = stride * static_cast<ULONGLONG>(m_bufferCount);
  if (blockSize > kLargestPageBlock) {
    return E_OUTOFMEMORY;
  }
  if (m_pageBlock != nullptr) {
    ReleaseAllBuffers();
  }
  m_pageBlock = static_cast<BYTE*>(
      VirtualAlloc(nullptr, static_cast<SIZE_T>(blockSize), MEM_COMMIT, PAGE_READWRITE));
  if (m_pageBlock == nullptr) {
    return E_OUTOFMEMORY;
  }
  // One array for every sample object, so that ReleaseBuffer can tell its
  // own samples by their address alone.
  const ULONGLONG arraySize = sizeof(CMemSample) * static_cast<ULONGLONG>(m_bufferCount);
  if (arraySize > static_cast<ULONGLONG>(SIZE_MAX)) {
    return E_OUTOFMEMORY;
  }
  void* storage = ::operator new[](static_cast<size_t>(arraySize), std::nothrow);
  if (storage == nullptr) {
    // The block stays; the next Commit starts over.
    return E_OUTOFMEMORY;
  }
  m_samples = static_cast<CMemSample*>(storage);
  for (LONG index = 0; index < m_bufferCount; ++index) {
    BYTE* buffer = m_pageBlock + static_cast<SIZE_T>(stride) * static_cast<SIZE_T>(index) +
                   static_cast<SIZE_T>(m_prefix);
    PushFreeSample(new (&m_samples[index]) CMemSample(this, buffer, m_bufferSize));
  }
  m_samplesCreated = m_bufferCount;
  m_propertiesChanged = FALSE;
  return S_OK;
}

void CPagedMemAllocator::ReleaseAllBuffers() {
  while (PopFreeSample() != nullptr) {
  }
  for (LONG index = 0; index < m_samplesCreated; ++index) {
    m_samples[index].~CMemSample();
  }
  ::operator delete[](m_samples);
  m_samples = nullptr;
  m_samplesCreated = 0;
  if (m_pageBlock != nullptr) {
    VirtualFree(m_pageBlock, 0, MEM_RELEASE);
    m_pageBlock = nullptr;
  }
}
