// The platform's asynchronous file source (CLSID_AsyncReader): IFileSourceFilter
// opens a file, and its one output pin serves the bytes through IAsyncReader.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include <win/platform.h>

#include "CAsyncOutputPin.h"
#include <platform/ComRef.h>

namespace platform {

class CAsyncFileSource final : public IBaseFilter, public IFileSourceFilter {
 public:
  // Builtin class creator: no aggregation.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // For the pin: the lock guarding the filter and the pin's connection, and
  // what it guards.
  std::mutex& Lock() { return m_lock; }
  bool IsStoppedLocked() const { return m_state == State_Stopped; }
  const AM_MEDIA_TYPE& OutputTypeLocked() const { return m_outputType; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;

  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* pClock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** pClock) override;

  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin** ppPin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* pInfo) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* pVendorInfo) override;

  // IFileSourceFilter
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) override;

 private:
  CAsyncFileSource();
  ~CAsyncFileSource();

  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;
  FILTER_STATE m_state = State_Stopped;
  ComRef<IReferenceClock> m_clock;
  IFilterGraph* m_graph = nullptr;  // not counted: the graph holds the filter
  std::u16string m_name;
  std::u16string m_path;         // as given to Load; empty until a file is loaded
  AM_MEDIA_TYPE m_outputType{};  // no format block
  CAsyncOutputPin m_pin;         // shown once a file is loaded
};

}  // namespace platform
