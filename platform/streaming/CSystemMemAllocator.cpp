#include "CSystemMemAllocator.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

#include "CSystemMediaSample.h"
#include "NewObject.h"

namespace platform {

namespace {

bool IsPowerOfTwo(LONG value) { return value > 0 && (value & (value - 1)) == 0; }

}  // namespace

HRESULT CSystemMemAllocator::Create(IUnknown* outer, REFIID riid, void** ppv) {
  HRESULT hr = CheckUnaggregatedCreate(outer, ppv);
  if (FAILED(hr)) return hr;
  return HandOutNewObject(new (std::nothrow) CSystemMemAllocator, riid, ppv);
}

CSystemMemAllocator::~CSystemMemAllocator() { FreeSamples(); }

HRESULT CSystemMemAllocator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMemAllocator) {
    *ppv = static_cast<IMemAllocator*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CSystemMemAllocator::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CSystemMemAllocator::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CSystemMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                           ALLOCATOR_PROPERTIES* pActual) {
  if (!pRequest || !pActual) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_committed) return VFW_E_ALREADY_COMMITTED;
  if (!m_samples.empty()) return VFW_E_BUFFERS_OUTSTANDING;
  if (!IsPowerOfTwo(pRequest->cbAlign)) return VFW_E_BADALIGN;
  if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) {
    return E_INVALIDARG;
  }
  // Each buffer is padded so that the next one starts aligned as well.
  int64_t align = pRequest->cbAlign;
  int64_t stride = (int64_t{pRequest->cbPrefix} + pRequest->cbBuffer + align - 1) / align * align;
  int64_t size = stride - pRequest->cbPrefix;
  if (size > std::numeric_limits<LONG>::max()) return E_INVALIDARG;
  m_props = *pRequest;
  m_props.cbBuffer = static_cast<LONG>(size);
  *pActual = m_props;
  return S_OK;
}

HRESULT CSystemMemAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps) {
  if (!pProps) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  *pProps = m_props;
  return S_OK;
}

HRESULT CSystemMemAllocator::Commit() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_committed) return S_OK;
  if (m_props.cBuffers <= 0 || m_props.cbBuffer <= 0) return VFW_E_SIZENOTSET;
  // Samples from before a Decommit that are still out are simply taken into use again.
  if (m_samples.empty()) {
    HRESULT hr = AllocateSamples();
    if (FAILED(hr)) return hr;
  }
  m_committed = true;
  return S_OK;
}

HRESULT CSystemMemAllocator::Decommit() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_committed) return S_OK;
  m_committed = false;
  if (m_free.size() == m_samples.size()) FreeSamples();
  m_sampleFreed.notify_all();
  return S_OK;
}

HRESULT CSystemMemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                       REFERENCE_TIME* pEndTime, DWORD dwFlags) {
  if (!ppBuffer) return E_POINTER;
  *ppBuffer = nullptr;
  std::unique_lock<std::mutex> lock(m_lock);
  for (;;) {
    if (!m_committed) return VFW_E_NOT_COMMITTED;
    if (!m_free.empty()) break;
    if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
    m_sampleFreed.wait(lock);
  }
  CSystemMediaSample* sample = m_free.back();
  m_free.pop_back();
  sample->HandOut();
  // An outstanding sample keeps its allocator alive until it comes back.
  AddRef();
  *ppBuffer = sample;
  return S_OK;
}

HRESULT CSystemMemAllocator::ReleaseBuffer(IMediaSample* pBuffer) {
  if (!pBuffer) return E_POINTER;
  bool returned = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = std::find_if(m_samples.begin(), m_samples.end(), [pBuffer](CSystemMediaSample* s) {
      return static_cast<IMediaSample*>(s) == pBuffer;
    });
    if (it == m_samples.end()) return E_INVALIDARG;
    returned = TakeBack(*it);
  }
  if (!returned) return E_INVALIDARG;
  Release();
  return S_OK;
}

void CSystemMemAllocator::ReturnSample(CSystemMediaSample* sample) {
  bool returned = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    returned = TakeBack(sample);
  }
  // Last: this may be the allocator's final count.
  if (returned) Release();
}

bool CSystemMemAllocator::TakeBack(CSystemMediaSample* sample) {
  if (std::find(m_free.begin(), m_free.end(), sample) != m_free.end()) return false;
  sample->ClearProperties();
  m_free.push_back(sample);
  if (!m_committed && m_free.size() == m_samples.size()) {
    FreeSamples();
  } else {
    m_sampleFreed.notify_one();
  }
  return true;
}

HRESULT CSystemMemAllocator::AllocateSamples() {
  const int64_t count = m_props.cBuffers;
  const int64_t align = m_props.cbAlign;
  const int64_t stride = int64_t{m_props.cbPrefix} + m_props.cbBuffer;
  const uint64_t total =
      static_cast<uint64_t>(count) * static_cast<uint64_t>(stride) + static_cast<uint64_t>(align);
  if (total > std::numeric_limits<size_t>::max() / 2) return E_OUTOFMEMORY;
  try {
    m_samples.reserve(static_cast<size_t>(count));
    m_free.reserve(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  m_block = new (std::nothrow) BYTE[static_cast<size_t>(total)];
  if (!m_block) return E_OUTOFMEMORY;
  // The first buffer after its prefix starts on the alignment; the stride keeps the others there.
  uintptr_t raw = reinterpret_cast<uintptr_t>(m_block) + static_cast<uintptr_t>(m_props.cbPrefix);
  uintptr_t first = (raw + static_cast<uintptr_t>(align) - 1) & ~static_cast<uintptr_t>(align - 1);
  for (int64_t i = 0; i < count; ++i) {
    BYTE* buffer = reinterpret_cast<BYTE*>(first) + i * stride;
    auto* sample = new (std::nothrow) CSystemMediaSample(this, buffer, m_props.cbBuffer);
    if (!sample) {
      FreeSamples();
      return E_OUTOFMEMORY;
    }
    m_samples.push_back(sample);
    m_free.push_back(sample);
  }
  return S_OK;
}

void CSystemMemAllocator::FreeSamples() {
  for (CSystemMediaSample* sample : m_samples) delete sample;
  m_samples.clear();
  m_free.clear();
  delete[] m_block;
  m_block = nullptr;
}

}  // namespace platform
