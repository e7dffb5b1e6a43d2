#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"
#include "com/CInnerUnknown.h"

class CPinBase;

// The generic half of a filter: identity, state, clock, stream-time base,
// graph membership and pin lookup. The concrete filter supplies its pins
// (PinCount, PinAt), its Stop and Pause transitions, and the filter lock.
class CFilterBase : public CInnerUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // filterLock: the concrete filter's critical section, shared with its pins.
  CFilterBase(const char* objectName, IUnknown* outer, CRITICAL_SECTION* filterLock,
              REFCLSID classId);
  ~CFilterBase() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  // Takes the filter lock for a moment: not for a thread that a holder of
  // the filter lock may wait for.
  virtual HRESULT CurrentStreamTime(REFERENCE_TIME& out);
  virtual LONG PinListVersion();
  virtual int PinCount() = 0;
  // No reference is added to the pin returned.
  virtual CPinBase* PinAt(int index) = 0;
  virtual const AMOVIESETUP_FILTER* SetupData();
  // The lock a filter's state changes hold for their whole run, taken before
  // the filter lock and never after it; null when the filter lock serves. A
  // filter whose state changes wait for its own threads needs one: those
  // threads call downstream, and downstream may call back into the pins,
  // which take the filter lock.
  virtual CRITICAL_SECTION* StateLock();

  // IUnknown, shared by IBaseFilter and IAMovieSetup.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

  // IPersist
  STDMETHODIMP GetClassID(CLSID* classId) override;

  // IMediaFilter; Stop and Pause belong to the concrete filter.
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** enumerator) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  // E_NOTIMPL outside a graph that offers an event sink.
  HRESULT NotifyGraph(LONG eventCode, LONG_PTR parameter1, LONG_PTR parameter2);

  // Read without a lock: pins consult it on their own threads.
  FILTER_STATE State() const { return m_state.load(); }
  IBaseFilter* BaseFilter() { return this; }

 protected:
  std::atomic<FILTER_STATE> m_state;
  CComHolder<IReferenceClock> m_clock;      // counted
  std::atomic<REFERENCE_TIME> m_startTime;  // read by streaming threads without the lock
  CLSID m_classId;
  CRITICAL_SECTION* m_filterLock;  // not owned: the concrete filter's
  WCHAR* m_name;                   // owned
  IFilterGraph* m_graph;           // not counted: the graph owns the filter
  IMediaEventSink* m_eventSink;    // not counted: part of the graph
  LONG m_pinListVersion;
};
