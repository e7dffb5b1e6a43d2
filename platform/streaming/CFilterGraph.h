// The platform's filter graph (CLSID_FilterGraph): owns its filters, names
// them, connects their pins, builds chains from files, changes their states
// with one clock, and queues their events for the application.
//
// State changes go to every filter downstream first (sinks before the filters
// that feed them). When one filter fails, the others still change and the
// graph reports the first failure; the graph counts as being in the new state,
// so that Stop brings every filter back. Run from Stopped pauses first and does
// not run when that pause failed. Pause completes only when every filter has
// (renderers hold their first sample); a Run asked before that answers S_FALSE
// and starts the filters once it has, on the graph's starter thread.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <platform/GraphBuilding.h>
#include <platform/GraphEvents.h>
#include <win/platform.h>

#include <platform/ComRef.h>
#include "CGraphCompletion.h"
#include "CGraphEventQueue.h"
#include "CGraphStarter.h"

namespace platform {

class CFilterGraph : public IGraphBuilder,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaEventSink,
                     public IGraphEventQueue,
                     public IGraphRendering,
                     public IMediaSeeking,
                     public IMediaPosition {
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

  // IGraphBuilder (results listed in platform/GraphBuilding.h)
  HRESULT STDMETHODCALLTYPE Connect(IPin* ppinOut, IPin* ppinIn) override;
  HRESULT STDMETHODCALLTYPE Render(IPin* ppinOut) override;
  HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
  HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                            IBaseFilter** ppFilter) override;
  HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR hFile) override;
  HRESULT STDMETHODCALLTYPE Abort() override;
  HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override;

  // IDispatch, shared by IMediaControl and IMediaEventEx: the graph has no
  // type library, so late binding is not offered.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IMediaControl
  HRESULT STDMETHODCALLTYPE Run() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState* pfs) override;
  HRESULT STDMETHODCALLTYPE RenderFile(BSTR strFilename) override;
  HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
  HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch** ppUnk) override;
  HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch** ppUnk) override;
  HRESULT STDMETHODCALLTYPE StopWhenReady() override;

  // IMediaEvent, IMediaEventEx
  HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT* hEvent) override;
  HRESULT STDMETHODCALLTYPE GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                                     LONG msTimeout) override;
  HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
  HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG lEvCode) override;
  HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG lEvCode) override;
  HRESULT STDMETHODCALLTYPE FreeEventParams(LONG lEvCode, LONG_PTR lParam1,
                                            LONG_PTR lParam2) override;
  HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND hwnd, LONG lMsg,
                                            LONG_PTR lInstanceData) override;
  HRESULT STDMETHODCALLTYPE SetNotifyFlags(LONG lNoNotifyFlags) override;
  HRESULT STDMETHODCALLTYPE GetNotifyFlags(LONG* lplNoNotifyFlags) override;

  // IMediaEventSink
  HRESULT STDMETHODCALLTYPE Notify(LONG EventCode, LONG_PTR EventParam1,
                                   LONG_PTR EventParam2) override;

  // IGraphEventQueue
  HRESULT STDMETHODCALLTYPE TakeEvent(GraphEvent* event, DWORD timeoutMs) override;
  ULONG STDMETHODCALLTYPE PendingEventCount() override;

  // IMediaSeeking, in media time only
  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* pCapabilities) override;
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* pCapabilities) override;
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* pFormat) override;
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* pFormat) override;
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* pFormat) override;
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* pFormat) override;
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* pFormat) override;
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* pDuration) override;
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* pStop) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* pCurrent) override;
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                              LONGLONG Source, const GUID* pSourceFormat) override;
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                         DWORD dwStopFlags) override;
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
  HRESULT STDMETHODCALLTYPE SetRate(double dRate) override;
  HRESULT STDMETHODCALLTYPE GetRate(double* pdRate) override;
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* pllPreroll) override;

  // IMediaPosition: the same positions in seconds
  HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* plength) override;
  HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME llTime) override;
  HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* pllTime) override;
  HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* pllTime) override;
  HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME llTime) override;
  HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* pllTime) override;
  HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME llTime) override;
  HRESULT STDMETHODCALLTYPE put_Rate(double dRate) override;
  HRESULT STDMETHODCALLTYPE get_Rate(double* pdRate) override;
  HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* pCanSeekForward) override;
  HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* pCanSeekBackward) override;

  // IGraphRendering
  HRESULT STDMETHODCALLTYPE SetRenderSinkFactory(IRenderSinkFactory* factory) override;
  ULONG STDMETHODCALLTYPE SinkCount() override;

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
  HRESULT OrderedFiltersLocked(std::vector<IBaseFilter*>* ordered);
  HRESULT DistributeClockLocked();
  HRESULT LeaveStoppedLocked(const std::vector<IBaseFilter*>& ordered);
  HRESULT PauseLocked();
  HRESULT StopLocked();
  HRESULT RunFiltersLocked(HRESULT paused);
  bool IsPauseCompleteLocked();
  void CancelPendingRunLocked();
  void RunWhenPaused(ULONG request);  // on the starter's thread
  REFERENCE_TIME ClockTimeLocked();
  void RemoveAddedSinceLocked(const std::vector<IBaseFilter*>& before);
  HRESULT AddSourceFilterLocked(LPCWSTR file, LPCWSTR name, IBaseFilter** filter);
  void Post(const GraphEvent& event);
  HRESULT BeginCompletionLocked(const std::vector<IBaseFilter*>& ordered);
  // The renderers that answer IMediaSeeking, counted; empty when none does.
  HRESULT SeekersLocked(std::vector<ComRef<IMediaSeeking>>* seekers);
  // The largest answer of the renderers; E_NOTIMPL when none can answer.
  HRESULT LargestLocked(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*get)(LONGLONG*),
                        LONGLONG* value);
  REFERENCE_TIME StreamTimeLocked();
  HRESULT CurrentPositionLocked(LONGLONG* current);
  HRESULT SeekLocked(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags);
  HRESULT PositionCapability(DWORD capability, LONG* answer);

  std::atomic<ULONG> m_refs{0};
  std::recursive_mutex m_graphLock;  // outermost: taken before any member filter's lock
  std::vector<Member> m_members;
  ULONG m_version = 0;  // changes with every AddFilter and RemoveFilter
  ComRef<IReferenceClock> m_clock;
  bool m_clockHandedOut = false;  // every member has been given m_clock
  FILTER_STATE m_state = State_Stopped;
  REFERENCE_TIME m_streamBase = 0;  // the clock time at which stream time 0 fell in the last Run
  REFERENCE_TIME m_pausedAt = 0;    // the clock time of the last Pause from Running
  bool m_hasRun = false;            // m_streamBase and m_pausedAt hold since the last Stop or seek
  LONGLONG m_segmentStart = 0;      // where the last seek put the streams: stream time 0
  ComRef<IRenderSinkFactory> m_sinkFactory;
  std::atomic<bool> m_aborted{false};
  CGraphEventQueue m_events;
  CGraphCompletion m_completion;
  bool m_runPending = false;  // Running asked for; the filters wait for every Pause to complete
  ULONG m_runRequest = 0;     // the starter's request that may start them
  // Declared last: its thread calls into the graph, so it ends first.
  CGraphStarter m_starter{[this](ULONG request) { RunWhenPaused(request); }};
};

}  // namespace platform
