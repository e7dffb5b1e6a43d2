// A renderer of the test's own: one input pin "In" that records samples.
// It tells the graph it is a renderer and signals EC_COMPLETE on
// end-of-stream once running, so that IMediaEvent::WaitForCompletion works.
#pragma once

#include <windows.h>

#include <strmif.h>

#include "CReceiveGate.h"
#include "CRecordingPin.h"

class CRecordingSink : public IBaseFilter, public IAMFilterMiscFlags {
 public:
  // gate: borrowed, may be null; it must outlive the sink's streaming.
  explicit CRecordingSink(CReceiveGate* gate);
  virtual ~CRecordingSink();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPersist, IMediaFilter, IBaseFilter
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** enumerator) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

  // IAMFilterMiscFlags
  ULONG STDMETHODCALLTYPE GetMiscFlags() override;

  CRecordingPin* Input() { return &m_pin; }
  CReceiveGate* Gate() { return m_gate; }
  CRITICAL_SECTION* Lock() { return &m_lock; }
  FILTER_STATE State();
  // Called by the pin when end-of-stream arrives.
  void OnEndOfStream();

 private:
  void NotifyComplete();

  volatile LONG m_refs = 1;
  CRITICAL_SECTION m_lock;
  FILTER_STATE m_state = State_Stopped;
  bool m_completePending = false;
  IFilterGraph* m_graph = nullptr;         // not counted: the graph holds the sink
  IMediaEventSink* m_eventSink = nullptr;  // not counted, like the graph it belongs to
  IReferenceClock* m_clock = nullptr;      // counted
  WCHAR m_name[MAX_FILTER_NAME] = {};
  CReceiveGate* m_gate;  // borrowed
  CRecordingPin m_pin;
};
