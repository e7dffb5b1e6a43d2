// The platform's renderer (platform/Rendering.h): holds the sample it receives
// while paused and completes its Pause only then; while running, releases
// each sample at its presentation time on the graph's clock. Preroll samples
// (those before a seek's target) are dropped, as a player's renderers drop
// them. Its IMediaSeeking asks the pin upstream.
//
// Lock: m_lock guards every field below and the pin's connection; it is a
// leaf for the clock and the observer, which are called outside it. Samples
// wait for their time on the clock's advise event and on m_wake, which every
// state change and flush sets, so that Stop never waits for a presentation.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include <platform/CSeekingPassThrough.h>
#include <platform/ComRef.h>
#include <platform/Rendering.h>
#include <win/platform.h>

#include "CRendererInputPin.h"

namespace platform {

class CRenderer final : public IBaseFilter {
 public:
  static HRESULT Create(IRenderObserver* observer, IBaseFilter** out);

  // For the pin.
  std::mutex& Lock() { return m_lock; }
  bool IsStoppedLocked() const { return m_state == State_Stopped; }
  HRESULT Receive(IMediaSample* sample);
  HRESULT EndOfStream();
  HRESULT BeginFlush();
  HRESULT EndFlush();

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

 private:
  explicit CRenderer(IRenderObserver* observer);
  ~CRenderer();

  // Pause has completed: a sample is held, the stream has ended, or nothing feeds the pin.
  bool IsCuedLocked() const;
  // Leaves m_lock held again; false when the sample's wait was interrupted.
  bool WaitForPresentation(std::unique_lock<std::mutex>& lock, REFERENCE_TIME start);
  void ChangedLocked();  // wakes every waiting sample and GetState
  // Once per stream, once it has ended and the renderer runs; outside m_lock.
  void SendCompletion();

  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;
  std::condition_variable m_changed;
  ComRef<IRenderObserver> m_observer;  // counted; may be null
  FILTER_STATE m_state = State_Stopped;
  REFERENCE_TIME m_base = 0;  // stream time 0 on the clock, from the last Run
  ComRef<IReferenceClock> m_clock;
  IFilterGraph* m_graph = nullptr;  // not counted: the graph holds the renderer
  std::u16string m_name;
  ULONG m_epoch = 0;  // changes with every state change and flush; a waiting sample re-examines
  bool m_holding = false;  // a sample waits in Receive while paused
  bool m_flushing = false;
  bool m_endOfStream = false;  // since the last Stop or flush
  bool m_completionSent = false;
  HANDLE m_adviseEvent = nullptr;  // owned: the clock signals a sample's time
  HANDLE m_wake = nullptr;         // owned: manual-reset, set by state changes and flushes
  CRendererInputPin m_pin;         // refers to the fields above
  CSeekingPassThrough m_seeking{static_cast<IBaseFilter*>(this), &m_pin};  // asks upstream of m_pin
};

}  // namespace platform
