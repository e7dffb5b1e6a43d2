// The IAsyncReader of the async file source's output pin: synchronous reads
// straight from the file, and a request queue whose reads run in WaitForNext.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include <win/platform.h>

#include "CPositionedFile.h"

namespace platform {

class CAsyncFileReader final : public IAsyncReader {
 public:
  // owner answers QueryInterface and carries the reference count (not counted).
  explicit CAsyncFileReader(IUnknown* owner) : m_owner(owner) {}
  ~CAsyncFileReader();
  CAsyncFileReader(const CAsyncFileReader&) = delete;
  CAsyncFileReader& operator=(const CAsyncFileReader&) = delete;

  // The file every later read goes to; reads already running finish on the old one.
  void SetFile(std::shared_ptr<CPositionedFile> file);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IAsyncReader
  HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* pPreferred,
                                             ALLOCATOR_PROPERTIES* pProps,
                                             IMemAllocator** ppActual) override;
  HRESULT STDMETHODCALLTYPE Request(IMediaSample* pSample, DWORD_PTR dwUser) override;
  HRESULT STDMETHODCALLTYPE WaitForNext(DWORD dwTimeout, IMediaSample** ppSample,
                                        DWORD_PTR* pdwUser) override;
  HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* pSample) override;
  HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) override;
  HRESULT STDMETHODCALLTYPE Length(LONGLONG* pTotal, LONGLONG* pAvailable) override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;

 private:
  // Request takes a reference of its own while the read waits; WaitForNext
  // drops it and hands the sample back under the caller's own reference.
  struct PendingRead {
    IMediaSample* sample;  // counted while queued
    DWORD_PTR user;
    LONGLONG position;
    LONG length;
  };

  std::shared_ptr<CPositionedFile> CurrentFile();
  // The byte range a sample's times name, checked against the agreed alignment.
  HRESULT SampleRange(IMediaSample* sample, LONGLONG* position, LONG* length);
  HRESULT ReadIntoSample(const PendingRead& read);

  IUnknown* const m_owner;  // not counted

  std::mutex m_fileLock;
  std::shared_ptr<CPositionedFile> m_file;  // shared with reads in progress

  std::mutex m_queueLock;
  std::condition_variable m_queueChanged;
  std::deque<PendingRead> m_pending;
  bool m_flushing = false;
  LONG m_alignment = 1;  // from the last RequestAllocator
};

}  // namespace platform
