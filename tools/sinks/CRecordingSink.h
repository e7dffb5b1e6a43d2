// A renderer for the host: a filter with one input pin that passes what it
// receives to an observer and signals EC_COMPLETE to its graph once the
// stream has ended and the graph runs. Its IMediaSeeking asks the pin
// upstream, as a player's renderers do. It stands for an application's
// renderer, written against the published interfaces alone.
#pragma once

#include <win/platform.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include <platform/CSeekingPassThrough.h>
#include <platform/ComRef.h>
#include "sinks/CRecordingInputPin.h"
#include "sinks/SinkObserver.h"

namespace tessaly::sinks {

// Class identifier the sink answers to IPersist::GetClassID (it is not a
// registered class).
inline constexpr GUID CLSID_TessalyRecordingSink = {
    0x9C2F3E60, 0x0B4A, 0x4F59, {0xA0, 0xE4, 0x5D, 0x1B, 0x7C, 0x3A, 0x2E, 0x91}};

class CRecordingSink final : public IBaseFilter {
 public:
  // Hands out a new sink with one reference in *out.
  static HRESULT Create(std::shared_ptr<ISinkObserver> observer, IBaseFilter** out);

  // For the pin.
  std::mutex& Lock() { return m_lock; }
  bool IsStoppedLocked() const { return m_state == State_Stopped; }
  HRESULT DeliverSample(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  void ResetEndOfStreamLocked() { m_endOfStreamPending = false; }

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
  explicit CRecordingSink(std::shared_ptr<ISinkObserver> observer);
  ~CRecordingSink() = default;

  // Tells the graph, outside every lock of the sink.
  void NotifyGraph(LONG code, LONG_PTR param1, LONG_PTR param2);

  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;          // state, graph membership, clock and the pin's connection
  std::mutex m_deliveryLock;  // keeps samples and end-of-stream in their arrival order
  std::shared_ptr<ISinkObserver> m_observer;
  FILTER_STATE m_state = State_Stopped;
  IFilterGraph* m_graph = nullptr;  // not counted: the graph holds the filter
  std::u16string m_name;
  platform::ComRef<IReferenceClock> m_clock;
  bool m_endOfStreamPending = false;  // received while not running: EC_COMPLETE waits for Run
  HRESULT m_abortResult = S_OK;       // the observer's refusal; later samples are refused too
  CRecordingInputPin m_pin;           // refers to the fields above
  platform::CSeekingPassThrough m_seeking{static_cast<IBaseFilter*>(this), &m_pin};
};

}  // namespace tessaly::sinks
