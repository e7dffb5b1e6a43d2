// The platform's system memory allocator (CLSID_MemoryAllocator): a fixed set
// of heap-backed samples, handed out by a blocking GetBuffer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <win/platform.h>

namespace platform {

class CSystemMediaSample;

class CSystemMemAllocator final : public IMemAllocator {
 public:
  // Builtin class creator: no aggregation.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IMemAllocator
  HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                          ALLOCATOR_PROPERTIES* pActual) override;
  HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* pProps) override;
  HRESULT STDMETHODCALLTYPE Commit() override;
  HRESULT STDMETHODCALLTYPE Decommit() override;
  HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags) override;
  HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* pBuffer) override;

  // A sample's last Release; this may destroy the allocator and the sample.
  void ReturnSample(CSystemMediaSample* sample);

 private:
  CSystemMemAllocator() = default;
  ~CSystemMemAllocator();

  // Both with m_lock held.
  HRESULT AllocateSamples();
  void FreeSamples();
  bool TakeBack(CSystemMediaSample* sample);

  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;
  std::condition_variable m_sampleFreed;
  ALLOCATOR_PROPERTIES m_props{};  // the actual values, all zero until SetProperties
  bool m_committed = false;
  BYTE* m_block = nullptr;                     // owned: every sample's prefix and buffer
  std::vector<CSystemMediaSample*> m_samples;  // owned; kept until every one has come back
  std::vector<CSystemMediaSample*> m_free;     // borrowed from m_samples
};

}  // namespace platform
