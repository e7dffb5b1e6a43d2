#pragma once

#include "Platform.h"

class CAllocatorBase;

// One buffer of an allocator, handed out by GetBuffer and given back to the
// allocator by its last Release. Not a tracked object and not aggregatable:
// it lives exactly as long as its allocator's buffers.
class CMemSample : public IMediaSample2 {
 public:
  CMemSample(CAllocatorBase* allocator, BYTE* buffer, LONG length);
  virtual ~CMemSample();

  CMemSample(const CMemSample&) = delete;
  CMemSample& operator=(const CMemSample&) = delete;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IMediaSample
  STDMETHODIMP GetPointer(BYTE** ppBuffer) override;
  STDMETHODIMP_(LONG) GetSize() override;
  STDMETHODIMP GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  STDMETHODIMP SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
  STDMETHODIMP IsSyncPoint() override;
  STDMETHODIMP SetSyncPoint(BOOL bIsSyncPoint) override;
  STDMETHODIMP IsPreroll() override;
  STDMETHODIMP SetPreroll(BOOL bIsPreroll) override;
  STDMETHODIMP_(LONG) GetActualDataLength() override;
  STDMETHODIMP SetActualDataLength(LONG length) override;
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
  STDMETHODIMP IsDiscontinuity() override;
  STDMETHODIMP SetDiscontinuity(BOOL bDiscontinuity) override;
  STDMETHODIMP GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
  STDMETHODIMP SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

  // IMediaSample2
  STDMETHODIMP GetProperties(DWORD cbProperties, BYTE* pbProperties) override;
  STDMETHODIMP SetProperties(DWORD cbProperties, const BYTE* pbProperties) override;

 private:
  // The allocator keeps the free list through m_nextFree and m_onFreeList
  // and hands a sample out by setting its count to 1.
  friend class CAllocatorBase;

  HRESULT TestFlag(DWORD flag) const { return (m_sampleFlags & flag) != 0 ? S_OK : S_FALSE; }
  void AssignFlag(DWORD flag, BOOL value);
  void DetachMediaType();

  DWORD m_sampleFlags;
  DWORD m_typeSpecificFlags;
  BYTE* m_buffer;  // borrowed: part of the allocator's page block
  LONG m_actualLength;
  LONG m_bufferSize;
  CAllocatorBase* m_allocator;  // not counted: the allocator outlives its samples
  CMemSample* m_nextFree;       // not counted: free-list link, guarded by the allocator's lock
  BOOL m_onFreeList;            // guarded by the allocator's lock
  REFERENCE_TIME m_start;
  REFERENCE_TIME m_stop;
  LONGLONG m_mediaStart;
  LONG m_mediaEndOffset;
  AM_MEDIA_TYPE* m_mediaType;  // owned: task memory, null when no type is attached
  DWORD m_streamId;
  LONG volatile m_referenceCount;
};
