#include "CAsyncFileReader.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <utility>

#include <platform/ComRef.h>

namespace platform {

namespace {

// Sample times on a byte stream are byte positions in 100-ns units.
constexpr LONGLONG kUnits = 10000000;
constexpr DWORD kErrorHandleEof = 38;

}  // namespace

CAsyncFileReader::~CAsyncFileReader() {
  for (PendingRead& read : m_pending) read.sample->Release();
}

void CAsyncFileReader::SetFile(std::shared_ptr<CPositionedFile> file) {
  std::lock_guard<std::mutex> guard(m_fileLock);
  m_file = std::move(file);
}

std::shared_ptr<CPositionedFile> CAsyncFileReader::CurrentFile() {
  std::lock_guard<std::mutex> guard(m_fileLock);
  return m_file;
}

HRESULT CAsyncFileReader::QueryInterface(REFIID riid, void** ppv) {
  return m_owner->QueryInterface(riid, ppv);
}

ULONG CAsyncFileReader::AddRef() { return m_owner->AddRef(); }

ULONG CAsyncFileReader::Release() { return m_owner->Release(); }

HRESULT CAsyncFileReader::RequestAllocator(IMemAllocator* pPreferred, ALLOCATOR_PROPERTIES* pProps,
                                           IMemAllocator** ppActual) {
  if (!pProps || !ppActual) return E_POINTER;
  *ppActual = nullptr;
  ALLOCATOR_PROPERTIES request = *pProps;
  if (request.cbAlign < 1) request.cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  if (pPreferred && SUCCEEDED(pPreferred->SetProperties(&request, &actual)) &&
      actual.cbAlign >= 1) {
    {
      std::lock_guard<std::mutex> guard(m_queueLock);
      m_alignment = actual.cbAlign;
    }
    pPreferred->AddRef();
    *ppActual = pPreferred;
    return S_OK;
  }
  ComRef<IMemAllocator> created;
  HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IMemAllocator, created.OutVoid());
  if (FAILED(hr)) return hr;
  hr = created->SetProperties(&request, &actual);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_alignment = actual.cbAlign < 1 ? 1 : actual.cbAlign;
  }
  *ppActual = created.Detach();
  return S_OK;
}

HRESULT CAsyncFileReader::SampleRange(IMediaSample* sample, LONGLONG* position, LONG* length) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  HRESULT hr = sample->GetTime(&start, &stop);
  if (FAILED(hr) || hr == VFW_S_NO_STOP_TIME) return VFW_E_SAMPLE_TIME_NOT_SET;
  if (start < 0 || stop < start) return E_INVALIDARG;
  LONGLONG first = start / kUnits;
  LONGLONG count = stop / kUnits - first;
  if (count > sample->GetSize()) return VFW_E_BUFFER_OVERFLOW;
  BYTE* buffer = nullptr;
  hr = sample->GetPointer(&buffer);
  if (FAILED(hr)) return hr;
  LONG alignment = 1;
  {
    std::lock_guard<std::mutex> guard(m_queueLock);
    alignment = m_alignment;
  }
  if (first % alignment != 0 || count % alignment != 0 ||
      reinterpret_cast<uintptr_t>(buffer) % static_cast<uintptr_t>(alignment) != 0) {
    return VFW_E_BADALIGN;
  }
  *position = first;
  *length = static_cast<LONG>(count);
  return S_OK;
}

HRESULT CAsyncFileReader::ReadIntoSample(const PendingRead& read) {
  BYTE* buffer = nullptr;
  HRESULT hr = read.sample->GetPointer(&buffer);
  if (FAILED(hr)) return hr;
  std::shared_ptr<CPositionedFile> file = CurrentFile();
  if (!file) return E_UNEXPECTED;
  LONG done = 0;
  hr = file->Read(read.position, read.length, buffer, &done);
  read.sample->SetActualDataLength(done);
  return hr;
}

HRESULT CAsyncFileReader::Request(IMediaSample* pSample, DWORD_PTR dwUser) {
  if (!pSample) return E_POINTER;
  PendingRead read{pSample, dwUser, 0, 0};
  HRESULT hr = SampleRange(pSample, &read.position, &read.length);
  if (FAILED(hr)) return hr;
  std::shared_ptr<CPositionedFile> file = CurrentFile();
  if (!file) return E_UNEXPECTED;
  LONGLONG total = 0;
  hr = file->Size(&total);
  if (FAILED(hr)) return hr;
  if (read.position >= total) return HRESULT_FROM_WIN32(kErrorHandleEof);
  if (read.length > total - read.position) {
    // The last piece of a file is shorter than asked: the sample's stop time says so.
    read.length = static_cast<LONG>(total - read.position);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME ignored = 0;
    pSample->GetTime(&start, &ignored);
    REFERENCE_TIME stop = (read.position + read.length) * kUnits;
    pSample->SetTime(&start, &stop);
  }
  std::lock_guard<std::mutex> guard(m_queueLock);
  if (m_flushing) return VFW_E_WRONG_STATE;
  pSample->AddRef();
  m_pending.push_back(read);
  m_queueChanged.notify_one();
  return S_OK;
}

HRESULT CAsyncFileReader::WaitForNext(DWORD dwTimeout, IMediaSample** ppSample,
                                      DWORD_PTR* pdwUser) {
  if (!ppSample) return E_POINTER;
  *ppSample = nullptr;
  if (pdwUser) *pdwUser = 0;
  std::unique_lock<std::mutex> lock(m_queueLock);
  auto ready = [this] { return m_flushing || !m_pending.empty(); };
  if (dwTimeout == INFINITE) {
    m_queueChanged.wait(lock, ready);
  } else if (!m_queueChanged.wait_for(lock, std::chrono::milliseconds(dwTimeout), ready)) {
    return VFW_E_TIMEOUT;
  }
  if (m_pending.empty()) return VFW_E_WRONG_STATE;
  PendingRead read = m_pending.front();
  m_pending.pop_front();
  const bool flushing = m_flushing;
  lock.unlock();

  HRESULT hr = VFW_E_WRONG_STATE;
  if (flushing) {
    read.sample->SetActualDataLength(0);
  } else {
    hr = ReadIntoSample(read);
  }
  // The caller's own reference from before Request comes back; the queue's goes.
  *ppSample = read.sample;
  if (pdwUser) *pdwUser = read.user;
  read.sample->Release();
  return hr;
}

HRESULT CAsyncFileReader::SyncReadAligned(IMediaSample* pSample) {
  if (!pSample) return E_POINTER;
  PendingRead read{pSample, 0, 0, 0};
  HRESULT hr = SampleRange(pSample, &read.position, &read.length);
  if (FAILED(hr)) return hr;
  return ReadIntoSample(read);
}

HRESULT CAsyncFileReader::SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) {
  if (llPosition < 0 || lLength < 0) return E_INVALIDARG;
  if (lLength == 0) return S_OK;
  if (!pBuffer) return E_POINTER;
  if (llPosition > std::numeric_limits<LONGLONG>::max() - lLength) return E_INVALIDARG;
  std::shared_ptr<CPositionedFile> file = CurrentFile();
  if (!file) return E_UNEXPECTED;
  LONG done = 0;
  HRESULT hr = file->Read(llPosition, lLength, pBuffer, &done);
  // A short read leaves no stale bytes behind for a caller that cannot see the count.
  if (hr == S_FALSE) std::memset(pBuffer + done, 0, static_cast<size_t>(lLength - done));
  return hr;
}

HRESULT CAsyncFileReader::Length(LONGLONG* pTotal, LONGLONG* pAvailable) {
  if (!pTotal || !pAvailable) return E_POINTER;
  std::shared_ptr<CPositionedFile> file = CurrentFile();
  if (!file) return E_UNEXPECTED;
  LONGLONG size = 0;
  HRESULT hr = file->Size(&size);
  if (FAILED(hr)) return hr;
  *pTotal = size;
  *pAvailable = size;
  return S_OK;
}

HRESULT CAsyncFileReader::BeginFlush() {
  std::lock_guard<std::mutex> guard(m_queueLock);
  m_flushing = true;
  m_queueChanged.notify_all();
  return S_OK;
}

HRESULT CAsyncFileReader::EndFlush() {
  std::lock_guard<std::mutex> guard(m_queueLock);
  m_flushing = false;
  return S_OK;
}

}  // namespace platform
