// One sample of the system memory allocator: a window on the allocator's block
// plus the properties a sender stamps on it.
#pragma once

#include <atomic>

#include <win/platform.h>

namespace platform {

class CSystemMemAllocator;

class CSystemMediaSample final : public IMediaSample2 {
 public:
  CSystemMediaSample(CSystemMemAllocator* allocator, BYTE* buffer, LONG size);
  ~CSystemMediaSample();
  CSystemMediaSample(const CSystemMediaSample&) = delete;
  CSystemMediaSample& operator=(const CSystemMediaSample&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IMediaSample
  HRESULT STDMETHODCALLTYPE GetPointer(BYTE** ppBuffer) override;
  LONG STDMETHODCALLTYPE GetSize() override;
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
  HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL bIsSyncPoint) override;
  HRESULT STDMETHODCALLTYPE IsPreroll() override;
  HRESULT STDMETHODCALLTYPE SetPreroll(BOOL bIsPreroll) override;
  LONG STDMETHODCALLTYPE GetActualDataLength() override;
  HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
  HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
  HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
  HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
  HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL bDiscontinuity) override;
  HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
  HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

  // IMediaSample2
  HRESULT STDMETHODCALLTYPE GetProperties(DWORD cbProperties, BYTE* pbProperties) override;
  HRESULT STDMETHODCALLTYPE SetProperties(DWORD cbProperties, const BYTE* pbProperties) override;

  // Allocator side, under the allocator's lock.
  void HandOut();
  void ClearProperties();

 private:
  void SetFlag(DWORD flag, BOOL on);

  CSystemMemAllocator* m_allocator;  // not counted: an outstanding sample holds a count on it
  BYTE* m_buffer;                    // borrowed from the allocator's block
  LONG m_size;
  std::atomic<ULONG> m_refs{0};
  DWORD m_flags = 0;  // AM_SAMPLE_* bits, including the time-validity ones
  DWORD m_typeSpecificFlags = 0;
  DWORD m_streamId = AM_STREAM_MEDIA;
  LONG m_actual;
  REFERENCE_TIME m_start = 0;
  REFERENCE_TIME m_stop = 0;
  bool m_mediaTimeValid = false;
  LONGLONG m_mediaStart = 0;
  LONGLONG m_mediaStop = 0;
  AM_MEDIA_TYPE* m_mediaType = nullptr;  // owned, task memory; null when the type did not change
};

}  // namespace platform
