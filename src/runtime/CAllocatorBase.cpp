#include "runtime/CAllocatorBase.h"

#include <cstdint>

#include "runtime/CAutoLock.h"

namespace {

constexpr LONG kSemaphoreMaximum = 0x7FFFFFFF;
constexpr LONGLONG kLongMin = -2147483647LL - 1;
constexpr LONGLONG kLongMax = 2147483647LL;

void ClearProperties(ALLOCATOR_PROPERTIES* properties) {
  properties->cBuffers = 0;
  properties->cbBuffer = 0;
  properties->cbAlign = 0;
  properties->cbPrefix = 0;
}

}  // namespace

CAllocatorBase::CAllocatorBase(const char* objectName, IUnknown* outer, BOOL createSemaphore)
    : CInnerUnknown(objectName, outer),
      m_freeHead(nullptr),
      m_samples(nullptr),
      m_freeCount(0),
      m_semaphore(nullptr),
      m_waitingCount(0),
      m_bufferCount(0),
      m_samplesCreated(0),
      m_bufferSize(0),
      m_alignment(0),
      m_prefix(0),
      m_propertiesChanged(FALSE),
      m_committed(FALSE),
      m_decommitPending(FALSE) {
  InitializeCriticalSection(&m_lock);
  if (createSemaphore) {
    m_semaphore = CreateSemaphoreA(nullptr, 0, kSemaphoreMaximum, nullptr);
  }
}

CAllocatorBase::~CAllocatorBase() {
  if (m_semaphore != nullptr) {
    CloseHandle(m_semaphore);
  }
  DeleteCriticalSection(&m_lock);
}

HRESULT CAllocatorBase::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IMemAllocator)) {
    return HandOutInterface(static_cast<IMemAllocator*>(this), ppv);
  }
  return CInnerUnknown::InnerQueryInterface(riid, ppv);
}

STDMETHODIMP CAllocatorBase::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                           ALLOCATOR_PROPERTIES* pActual) {
  if (pActual == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(&m_lock);
  ClearProperties(pActual);
  if (pRequest == nullptr) {
    return E_POINTER;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  if (pRequest->cbAlign == 0 ||
      (pRequest->cbAlign != 1 && (info.dwAllocationGranularity & 1) != 0)) {
    return VFW_E_BADALIGN;
  }
  if (m_committed) {
    return VFW_E_ALREADY_COMMITTED;
  }
  if (m_freeCount < m_samplesCreated) {
    return VFW_E_BUFFERS_OUTSTANDING;
  }
  // The buffer grows until prefix plus buffer is a multiple of the alignment.
  // Wide arithmetic: a size that no longer fits in 32 bits is refused rather
  // than wrapped.
  LONGLONG total = static_cast<LONGLONG>(pRequest->cbBuffer) + pRequest->cbPrefix;
  const LONGLONG remainder = total % pRequest->cbAlign;
  if (remainder != 0) {
    total += pRequest->cbAlign - remainder;
  }
  const LONGLONG bufferSize = total - pRequest->cbPrefix;
  if (bufferSize < kLongMin || bufferSize > kLongMax) {
    return E_INVALIDARG;
  }
  m_bufferCount = pRequest->cBuffers;
  m_bufferSize = static_cast<LONG>(bufferSize);
  m_alignment = pRequest->cbAlign;
  m_prefix = pRequest->cbPrefix;
  pActual->cBuffers = m_bufferCount;
  pActual->cbBuffer = m_bufferSize;
  pActual->cbAlign = m_alignment;
  pActual->cbPrefix = m_prefix;
  m_propertiesChanged = TRUE;
  return S_OK;
}

STDMETHODIMP CAllocatorBase::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
  if (pProps == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(&m_lock);
  pProps->cBuffers = m_bufferCount;
  pProps->cbBuffer = m_bufferSize;
  pProps->cbAlign = m_alignment;
  pProps->cbPrefix = m_prefix;
  return S_OK;
}

STDMETHODIMP CAllocatorBase::Commit() {
  CAutoLock lock(&m_lock);
  if (m_committed) {
    return S_OK;
  }
  m_committed = TRUE;
  if (m_decommitPending) {
    // The samples still out and the self-reference carry over.
    m_decommitPending = FALSE;
    return S_OK;
  }
  const HRESULT hr = AllocateBuffers();
  if (FAILED(hr)) {
    m_committed = FALSE;
    return hr;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP CAllocatorBase::Decommit() {
  BOOL dropSelfReference = FALSE;
  {
    CAutoLock lock(&m_lock);
    if (!m_committed && !m_decommitPending) {
      return S_OK;
    }
    m_committed = FALSE;
    if (m_freeCount < m_samplesCreated) {
      m_decommitPending = TRUE;
    } else {
      m_decommitPending = FALSE;
      FreeBuffers();
      dropSelfReference = TRUE;
    }
    WakeWaiters();
  }
  // After the lock is gone: this Release may destroy the allocator.
  if (dropSelfReference) {
    Release();
  }
  return S_OK;
}

STDMETHODIMP CAllocatorBase::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                       REFERENCE_TIME* pEndTime, DWORD dwFlags) {
  if (ppBuffer == nullptr) {
    return E_POINTER;
  }
  *ppBuffer = nullptr;
  for (;;) {
    CMemSample* sample = nullptr;
    {
      CAutoLock lock(&m_lock);
      if (!m_committed) {
        return VFW_E_NOT_COMMITTED;
      }
      sample = PopFreeSample();
      if (sample == nullptr) {
        // Only a caller that really waits counts as a waiter, so that polling
        // callers do not pile up permits in the semaphore.
        if ((dwFlags & AM_GBF_NOWAIT) != 0 || m_semaphore == nullptr) {
          return VFW_E_TIMEOUT;
        }
        ++m_waitingCount;
      }
    }
    if (sample != nullptr) {
      sample->m_referenceCount = 1;
      *ppBuffer = sample;
      return S_OK;
    }
    // Woken by every returned sample and by Decommit; without a sample the
    // next round counts itself as a waiter again.
    WaitForSingleObject(m_semaphore, INFINITE);
  }
}

STDMETHODIMP CAllocatorBase::ReleaseBuffer(IMediaSample* pBuffer) {
  if (pBuffer == nullptr) {
    return E_POINTER;
  }
  BOOL dropSelfReference = FALSE;
  {
    CAutoLock lock(&m_lock);
    // A stranger or a second release on the free list would hand one buffer
    // out twice.
    CMemSample* sample = OwnSample(pBuffer);
    if (sample == nullptr || sample->m_onFreeList) {
      return E_INVALIDARG;
    }
    PushFreeSample(sample);
    WakeWaiters();
    if (m_decommitPending && m_freeCount == m_samplesCreated) {
      FreeBuffers();
      m_decommitPending = FALSE;
      dropSelfReference = TRUE;
    }
  }
  // The last reference may go here, and with it this allocator and the
  // sample that called.
  if (dropSelfReference) {
    Release();
  }
  return S_OK;
}

HRESULT CAllocatorBase::AllocateBuffers() {
  // A negative prefix would place buffers before the start of their memory.
  if (m_bufferCount <= 0 || m_bufferSize <= 0 || m_alignment <= 0 || m_prefix < 0) {
    return VFW_E_SIZENOTSET;
  }
  return m_propertiesChanged ? S_OK : S_FALSE;
}

void CAllocatorBase::WakeWaiters() {
  if (m_waitingCount == 0 || m_semaphore == nullptr) {
    return;
  }
  ReleaseSemaphore(m_semaphore, m_waitingCount, nullptr);
  m_waitingCount = 0;
}

void CAllocatorBase::PushFreeSample(CMemSample* sample) {
  sample->m_nextFree = m_freeHead;
  sample->m_onFreeList = TRUE;
  m_freeHead = sample;
  ++m_freeCount;
}

CMemSample* CAllocatorBase::PopFreeSample() {
  CMemSample* sample = m_freeHead;
  if (sample == nullptr) {
    return nullptr;
  }
  m_freeHead = sample->m_nextFree;
  sample->m_nextFree = nullptr;
  sample->m_onFreeList = FALSE;
  --m_freeCount;
  return sample;
}

CMemSample* CAllocatorBase::OwnSample(IMediaSample* sample) const {
  if (m_samples == nullptr) {
    return nullptr;
  }
  const uintptr_t first = reinterpret_cast<uintptr_t>(static_cast<IMediaSample*>(m_samples));
  const uintptr_t address = reinterpret_cast<uintptr_t>(sample);
  if (address < first) {
    return nullptr;
  }
  const uintptr_t index = (address - first) / sizeof(CMemSample);
  if (index >= static_cast<uintptr_t>(m_samplesCreated)) {
    return nullptr;
  }
  CMemSample* own = &m_samples[index];
  return static_cast<IMediaSample*>(own) == sample ? own : nullptr;
}
