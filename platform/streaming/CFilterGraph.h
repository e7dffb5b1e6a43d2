// The platform's filter graph (CLSID_FilterGraph): owns its filters, names
// them, connects their pins, hands them a clock, and queues their events.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <platform/GraphEvents.h>
#include <win/platform.h>

#include "CGraphEventQueue.h"
#include "ComRef.h"

namespace platform {

class CFilterGraph : public IFilterGraph, public IMediaEventSink, public IGraphEventQueue {
 public:
  // Builtin class creator: no aggregation.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IFilterGraph
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) override;
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** ppEnum) override;
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn,
                                          const AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE Reconnect(IPin* ppin) override;
  HRESULT STDMETHODCALLTYPE Disconnect(IPin* ppin) override;
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override;

  // IMediaEventSink
  HRESULT STDMETHODCALLTYPE Notify(LONG EventCode, LONG_PTR EventParam1,
                                   LONG_PTR EventParam2) override;

  // IGraphEventQueue
  HRESULT STDMETHODCALLTYPE TakeEvent(GraphEvent* event, DWORD timeoutMs) override;
  ULONG STDMETHODCALLTYPE PendingEventCount() override;

  // For the filter enumerator: the membership version it was made for must
  // still hold, else VFW_E_ENUM_OUT_OF_SYNC.
  ULONG MembershipVersion();
  HRESULT CopyFilters(ULONG version, size_t from, ULONG count, IBaseFilter** out, ULONG* copied);
  HRESULT CountFilters(ULONG version, size_t* count);

 protected:
  CFilterGraph() = default;
  virtual ~CFilterGraph();

  struct Member {
    IBaseFilter* filter;  // counted
    std::u16string name;
  };

  // All with m_graphLock held.
  Member* FindMember(IBaseFilter* filter);
  bool IsNameTaken(const std::u16string& name) const;
  HRESULT ChooseName(LPCWSTR requested, std::u16string* name);
  HRESULT CheckPinInGraph(IPin* pin, PIN_DIRECTION direction);
  static void DisconnectPins(IBaseFilter* filter);

  std::atomic<ULONG> m_refs{0};
  std::recursive_mutex m_graphLock;  // outermost: taken before any member filter's lock
  std::vector<Member> m_members;
  ULONG m_version = 0;  // changes with every AddFilter and RemoveFilter
  ComRef<IReferenceClock> m_clock;
  CGraphEventQueue m_events;
};

}  // namespace platform
