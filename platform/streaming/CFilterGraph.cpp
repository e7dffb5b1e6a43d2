#include "CFilterGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "CFilterEnumerator.h"
#include "CIntelligentConnect.h"
#include "CSystemClock.h"
#include "FileTypeDetection.h"
#include "GraphTopology.h"
#include "NewObject.h"

namespace platform {

namespace {

constexpr size_t kLongestName = MAX_FILTER_NAME - 1;
// Generated names are numbered "0001" and up; a taken name gets " 0001" and up.
constexpr int kLastNameNumber = 9999;
constexpr size_t kSuffixLength = 5;
// Run starts stream time a little after now, so that every filter receives
// the base before it falls due.
constexpr REFERENCE_TIME kRunDelay = 10 * 10000;

std::u16string NumberText(int number) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04d", number);
  return std::u16string(text, text + 4);
}

}  // namespace

HRESULT CFilterGraph::Create(IUnknown* outer, REFIID riid, void** ppv) {
  HRESULT hr = CheckUnaggregatedCreate(outer, ppv);
  if (FAILED(hr)) return hr;
  return HandOutNewObject(new (std::nothrow) CFilterGraph, riid, ppv);
}

CFilterGraph::~CFilterGraph() {
  // The starter calls into the graph and waits on its filters: end it first.
  m_starter.Quit();
  // Workers of running filters report to this graph: end them before it goes.
  if (m_state != State_Stopped) StopLocked();
  // Connected filters hold each other through their pins: break every
  // connection first, or the filters would keep one another alive.
  for (Member& member : m_members) DisconnectPins(member.filter);
  for (Member& member : m_members) {
    if (m_clock) member.filter->SetSyncSource(nullptr);
    member.filter->JoinFilterGraph(nullptr, nullptr);
    member.filter->Release();
  }
  m_members.clear();
}

HRESULT CFilterGraph::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder) {
    *ppv = static_cast<IGraphBuilder*>(this);
  } else if (riid == IID_IMediaControl || riid == IID_IDispatch) {
    *ppv = static_cast<IMediaControl*>(this);
  } else if (riid == IID_IMediaEvent || riid == IID_IMediaEventEx) {
    *ppv = static_cast<IMediaEventEx*>(this);
  } else if (riid == IID_IMediaEventSink) {
    *ppv = static_cast<IMediaEventSink*>(this);
  } else if (riid == IID_IGraphEventQueue) {
    *ppv = static_cast<IGraphEventQueue*>(this);
  } else if (riid == IID_IGraphRendering) {
    *ppv = static_cast<IGraphRendering*>(this);
  } else if (riid == IID_IMediaSeeking) {
    *ppv = static_cast<IMediaSeeking*>(this);
  } else if (riid == IID_IMediaPosition) {
    *ppv = static_cast<IMediaPosition*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CFilterGraph::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CFilterGraph::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

CFilterGraph::Member* CFilterGraph::FindMember(IBaseFilter* filter) {
  auto it = std::find_if(m_members.begin(), m_members.end(),
                         [filter](const Member& m) { return m.filter == filter; });
  return it == m_members.end() ? nullptr : &*it;
}

bool CFilterGraph::IsNameTaken(const std::u16string& name) const {
  return std::any_of(m_members.begin(), m_members.end(),
                     [&name](const Member& m) { return m.name == name; });
}

HRESULT CFilterGraph::ChooseName(LPCWSTR requested, std::u16string* name) {
  std::u16string base;
  if (requested) base = std::u16string(requested).substr(0, kLongestName);
  if (base.empty()) {
    for (int number = 1; number <= kLastNameNumber; ++number) {
      *name = NumberText(number);
      if (!IsNameTaken(*name)) return S_OK;
    }
    return VFW_E_DUPLICATE_NAME;
  }
  if (!IsNameTaken(base)) {
    *name = base;
    return S_OK;
  }
  base.resize(std::min(base.size(), kLongestName - kSuffixLength));
  for (int number = 1; number <= kLastNameNumber; ++number) {
    *name = base + u' ' + NumberText(number);
    if (!IsNameTaken(*name)) return VFW_S_DUPLICATE_NAME;
  }
  return VFW_E_DUPLICATE_NAME;
}

HRESULT CFilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
  if (!pFilter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (FindMember(pFilter)) return E_INVALIDARG;
  std::u16string name;
  HRESULT named = ChooseName(pName, &name);
  if (FAILED(named)) return named;
  try {
    m_members.push_back(Member{pFilter, name});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  pFilter->AddRef();
  HRESULT hr = pFilter->JoinFilterGraph(static_cast<IGraphBuilder*>(this), name.c_str());
  if (FAILED(hr)) {
    m_members.erase(std::find_if(m_members.begin(), m_members.end(),
                                 [pFilter](const Member& m) { return m.filter == pFilter; }));
    pFilter->Release();
    return hr;
  }
  ++m_version;
  // The newcomer has no clock yet: the next Pause from Stopped hands it out.
  m_clockHandedOut = false;
  return named;
}

void CFilterGraph::DisconnectPins(IBaseFilter* filter) {
  ComRef<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Out())) || !pins) return;
  ComRef<IPin> pin;
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    ComRef<IPin> peer;
    if (pin->ConnectedTo(peer.Out()) == S_OK && peer) {
      peer->Disconnect();
      pin->Disconnect();
    }
  }
}

HRESULT CFilterGraph::RemoveFilter(IBaseFilter* pFilter) {
  if (!pFilter) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (!FindMember(pFilter)) return VFW_E_NOT_FOUND;
  // A filter leaves the graph stopped, its worker ended, before its pins let go.
  if (m_state != State_Stopped) pFilter->Stop();
  DisconnectPins(pFilter);
  if (m_clock) pFilter->SetSyncSource(nullptr);
  pFilter->JoinFilterGraph(nullptr, nullptr);
  // The filter may have been removed again from inside its own calls.
  auto it = std::find_if(m_members.begin(), m_members.end(),
                         [pFilter](const Member& m) { return m.filter == pFilter; });
  if (it == m_members.end()) return S_OK;
  m_members.erase(it);
  ++m_version;
  pFilter->Release();
  return S_OK;
}

HRESULT CFilterGraph::EnumFilters(IEnumFilters** ppEnum) {
  if (!ppEnum) return E_POINTER;
  return CFilterEnumerator::Create(this, MembershipVersion(), 0, ppEnum);
}

HRESULT CFilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
  if (!ppFilter) return E_POINTER;
  *ppFilter = nullptr;
  if (!pName) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  std::u16string name(pName);
  for (const Member& member : m_members) {
    if (member.name == name) {
      member.filter->AddRef();
      *ppFilter = member.filter;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CFilterGraph::CheckPinInGraph(IPin* pin, PIN_DIRECTION direction) {
  PIN_INFO info{};
  HRESULT hr = pin->QueryPinInfo(&info);
  if (FAILED(hr)) return hr;
  ComRef<IBaseFilter> owner = ComRef<IBaseFilter>::Adopt(info.pFilter);
  if (!owner || !FindMember(owner.Get())) return VFW_E_NOT_IN_GRAPH;
  if (info.dir != direction) return VFW_E_INVALID_DIRECTION;
  return S_OK;
}

HRESULT CFilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
  if (!ppinOut || !ppinIn) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  HRESULT hr = CheckPinInGraph(ppinOut, PINDIR_OUTPUT);
  if (FAILED(hr)) return hr;
  hr = CheckPinInGraph(ppinIn, PINDIR_INPUT);
  if (FAILED(hr)) return hr;
  return ppinOut->Connect(ppinIn, pmt);
}

HRESULT CFilterGraph::Reconnect(IPin* ppin) {
  if (!ppin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  ComRef<IPin> peer;
  if (ppin->ConnectedTo(peer.Out()) != S_OK || !peer) return VFW_E_NOT_CONNECTED;
  PIN_DIRECTION direction = PINDIR_INPUT;
  HRESULT hr = ppin->QueryDirection(&direction);
  if (FAILED(hr)) return hr;
  IPin* output = direction == PINDIR_OUTPUT ? ppin : peer.Get();
  IPin* input = direction == PINDIR_OUTPUT ? peer.Get() : ppin;
  hr = CheckPinInGraph(output, PINDIR_OUTPUT);
  if (FAILED(hr)) return hr;
  hr = CheckPinInGraph(input, PINDIR_INPUT);
  if (FAILED(hr)) return hr;
  // Both sides let go before the pins negotiate afresh.
  output->Disconnect();
  input->Disconnect();
  return output->Connect(input, nullptr);
}

HRESULT CFilterGraph::Disconnect(IPin* ppin) {
  if (!ppin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return ppin->Disconnect();
}

HRESULT CFilterGraph::SetDefaultSyncSource() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  ComRef<IReferenceClock> clock;
  HRESULT hr = CSystemClock::Create(nullptr, IID_IReferenceClock, clock.OutVoid());
  if (FAILED(hr)) return hr;
  m_clock = std::move(clock);
  m_clockHandedOut = false;
  return DistributeClockLocked();
}

HRESULT CFilterGraph::DistributeClockLocked() {
  if (!m_clock) {
    HRESULT hr = CSystemClock::Create(nullptr, IID_IReferenceClock, m_clock.OutVoid());
    if (FAILED(hr)) return hr;
  }
  HRESULT first = S_OK;
  for (const Member& member : m_members) {
    HRESULT hr = member.filter->SetSyncSource(m_clock.Get());
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  m_clockHandedOut = SUCCEEDED(first);
  return first;
}

HRESULT CFilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
  // Only leaf locks here: filters report from their workers, which Stop may be
  // waiting for while it holds the graph lock.
  GraphEvent report{};
  if (!m_completion.Filter(GraphEvent{EventCode, EventParam1, EventParam2}, &report)) return S_OK;
  HRESULT hr = m_events.Push(report);
  return FAILED(hr) ? hr : S_OK;
}

void CFilterGraph::Post(const GraphEvent& event) { m_events.Push(event); }

HRESULT CFilterGraph::TakeEvent(GraphEvent* event, DWORD timeoutMs) {
  return m_events.Take(event, timeoutMs);
}

ULONG CFilterGraph::PendingEventCount() { return m_events.Count(); }

ULONG CFilterGraph::MembershipVersion() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return m_version;
}

HRESULT CFilterGraph::CopyFilters(ULONG version, size_t from, ULONG count, IBaseFilter** out,
                                  ULONG* copied) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  *copied = 0;
  if (version != m_version) return VFW_E_ENUM_OUT_OF_SYNC;
  for (size_t i = from; i < m_members.size() && *copied < count; ++i) {
    m_members[i].filter->AddRef();
    out[(*copied)++] = m_members[i].filter;
  }
  return S_OK;
}

HRESULT CFilterGraph::CountFilters(ULONG version, size_t* count) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (version != m_version) return VFW_E_ENUM_OUT_OF_SYNC;
  *count = m_members.size();
  return S_OK;
}

// ---- state control ----

HRESULT CFilterGraph::OrderedFiltersLocked(std::vector<IBaseFilter*>* ordered) {
  std::vector<IBaseFilter*> filters;
  try {
    filters.reserve(m_members.size());
    for (const Member& member : m_members) filters.push_back(member.filter);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return OrderDownstreamFirst(filters, ordered);
}

REFERENCE_TIME CFilterGraph::ClockTimeLocked() {
  REFERENCE_TIME now = 0;
  if (m_clock) m_clock->GetTime(&now);
  return now;
}

HRESULT CFilterGraph::BeginCompletionLocked(const std::vector<IBaseFilter*>& ordered) {
  std::vector<IBaseFilter*> sinks;
  std::vector<IBaseFilter*> others;
  try {
    for (IBaseFilter* filter : ordered) (IsSink(filter) ? sinks : others).push_back(filter);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return m_completion.Begin(sinks, others);
}

HRESULT CFilterGraph::LeaveStoppedLocked(const std::vector<IBaseFilter*>& ordered) {
  HRESULT clock = m_clockHandedOut ? S_OK : DistributeClockLocked();
  // Counted before any filter moves: a short stream may end before Pause returns.
  HRESULT hr = BeginCompletionLocked(ordered);
  if (FAILED(hr)) return hr;
  return clock;
}

namespace {

// Every filter is asked; the first failure is the answer, else S_FALSE when
// some filter has not finished its transition.
template <typename Change>
HRESULT ChangeEveryState(const std::vector<IBaseFilter*>& ordered, Change change) {
  HRESULT result = S_OK;
  for (IBaseFilter* filter : ordered) {
    HRESULT hr = change(filter);
    if (FAILED(hr)) {
      if (SUCCEEDED(result)) result = hr;
    } else if (hr == S_FALSE && result == S_OK) {
      result = S_FALSE;
    }
  }
  return result;
}

HRESULT Earlier(HRESULT first, HRESULT second) { return FAILED(first) ? first : second; }

}  // namespace

HRESULT CFilterGraph::PauseLocked() {
  if (m_state == State_Paused) return S_OK;
  const bool neverRan = m_runPending;
  CancelPendingRunLocked();
  std::vector<IBaseFilter*> ordered;
  HRESULT hr = OrderedFiltersLocked(&ordered);
  if (FAILED(hr)) return hr;
  HRESULT prepared = S_OK;
  if (m_state == State_Stopped) {
    prepared = LeaveStoppedLocked(ordered);
    if (prepared == E_OUTOFMEMORY) return prepared;
  } else if (!neverRan) {
    m_pausedAt = ClockTimeLocked();
  }
  hr = ChangeEveryState(ordered, [](IBaseFilter* filter) { return filter->Pause(); });
  m_state = State_Paused;
  return Earlier(prepared, hr);
}

HRESULT CFilterGraph::StopLocked() {
  auto stop = [](IBaseFilter* filter) { return filter->Stop(); };
  std::vector<IBaseFilter*> ordered;
  HRESULT hr = OrderedFiltersLocked(&ordered);
  if (SUCCEEDED(hr)) {
    hr = ChangeEveryState(ordered, stop);
  } else {
    // Stop must reach every filter even when the order cannot be worked out.
    hr = S_OK;
    for (const Member& member : m_members) {
      HRESULT stopped = stop(member.filter);
      if (FAILED(stopped) && SUCCEEDED(hr)) hr = stopped;
    }
  }
  CancelPendingRunLocked();
  m_state = State_Stopped;
  m_hasRun = false;
  m_completion.End();
  return hr;
}

void CFilterGraph::CancelPendingRunLocked() {
  if (!m_runPending) return;
  m_runPending = false;
  m_starter.Cancel();
}

bool CFilterGraph::IsPauseCompleteLocked() {
  // Filters answer at once with no timeout; a failure is left for Run to meet.
  for (const Member& member : m_members) {
    FILTER_STATE state = State_Stopped;
    if (member.filter->GetState(0, &state) == VFW_S_STATE_INTERMEDIATE) return false;
  }
  return true;
}

void CFilterGraph::RunWhenPaused(ULONG request) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (!m_runPending || request != m_runRequest) return;
  m_runPending = false;
  RunFiltersLocked(S_OK);
}

HRESULT CFilterGraph::Pause() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return PauseLocked();
}

HRESULT CFilterGraph::Run() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (m_state == State_Running) return m_runPending ? S_FALSE : S_OK;
  HRESULT paused = S_OK;
  if (m_state == State_Stopped) {
    paused = PauseLocked();
    if (FAILED(paused)) return paused;
  }
  if (IsPauseCompleteLocked()) return RunFiltersLocked(paused);
  std::vector<ComRef<IBaseFilter>> filters;
  try {
    for (const Member& member : m_members)
      filters.push_back(ComRef<IBaseFilter>::Share(member.filter));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  HRESULT hr = m_starter.Request(std::move(filters), &m_runRequest);
  if (FAILED(hr)) return hr;
  m_runPending = true;
  m_state = State_Running;
  return S_FALSE;
}

HRESULT CFilterGraph::RunFiltersLocked(HRESULT paused) {
  std::vector<IBaseFilter*> ordered;
  HRESULT hr = OrderedFiltersLocked(&ordered);
  if (FAILED(hr)) return hr;
  const REFERENCE_TIME start = ClockTimeLocked() + kRunDelay;
  // Resuming: stream time goes on from where the pause held it.
  m_streamBase = m_hasRun ? start - (m_pausedAt - m_streamBase) : start;
  m_hasRun = true;
  const REFERENCE_TIME base = m_streamBase;
  hr = ChangeEveryState(ordered, [base](IBaseFilter* filter) { return filter->Run(base); });
  m_state = State_Running;
  GraphEvent complete{};
  if (m_completion.OnRunning(&complete)) Post(complete);
  return FAILED(hr) ? hr : (hr == S_FALSE ? hr : paused);
}

HRESULT CFilterGraph::Stop() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return StopLocked();
}

HRESULT CFilterGraph::GetState(LONG msTimeout, OAFilterState* pfs) {
  if (!pfs) return E_POINTER;
  std::vector<ComRef<IBaseFilter>> filters;
  {
    std::lock_guard<std::recursive_mutex> guard(m_graphLock);
    *pfs = m_state;
    try {
      for (const Member& member : m_members)
        filters.push_back(ComRef<IBaseFilter>::Share(member.filter));
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  // One deadline for the whole graph, not one per filter.
  const DWORD started = GetTickCount();
  HRESULT result = S_OK;
  for (ComRef<IBaseFilter>& filter : filters) {
    DWORD left = INFINITE;
    if (msTimeout >= 0) {
      DWORD spent = GetTickCount() - started;
      left = spent >= static_cast<DWORD>(msTimeout) ? 0 : static_cast<DWORD>(msTimeout) - spent;
    }
    FILTER_STATE state = State_Stopped;
    HRESULT hr = filter->GetState(left, &state);
    if (FAILED(hr)) return hr;
    if (hr == VFW_S_STATE_INTERMEDIATE) result = hr;
    if (hr == VFW_S_CANT_CUE && result == S_OK) result = hr;
  }
  // Every filter has settled, but the starter has not yet run them.
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (m_runPending && *pfs == State_Running) return VFW_S_STATE_INTERMEDIATE;
  return result;
}

HRESULT CFilterGraph::StopWhenReady() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  HRESULT paused = PauseLocked();
  HRESULT stopped = StopLocked();
  return FAILED(paused) ? paused : stopped;
}

HRESULT CFilterGraph::RenderFile(BSTR strFilename) { return RenderFile(strFilename, nullptr); }

HRESULT CFilterGraph::AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  // The automation form hands out a filter-info object, which this graph does not have.
  return E_NOTIMPL;
}

HRESULT CFilterGraph::get_FilterCollection(IDispatch** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return E_NOTIMPL;
}

HRESULT CFilterGraph::get_RegFilterCollection(IDispatch** ppUnk) {
  if (ppUnk) *ppUnk = nullptr;
  return E_NOTIMPL;
}

// ---- IDispatch ----

HRESULT CFilterGraph::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT CFilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CFilterGraph::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT CFilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

// ---- seeking ----

namespace {

constexpr double kUnitsPerSecond = 10000000.0;

LONGLONG ToUnits(REFTIME seconds) { return std::llround(seconds * kUnitsPerSecond); }
REFTIME ToSeconds(LONGLONG units) { return static_cast<REFTIME>(units) / kUnitsPerSecond; }

bool IsMediaTimeOrCurrent(const GUID* format) {
  return !format || *format == TIME_FORMAT_MEDIA_TIME;
}

}  // namespace

HRESULT CFilterGraph::SeekersLocked(std::vector<ComRef<IMediaSeeking>>* seekers) {
  try {
    for (const Member& member : m_members) {
      if (!IsSink(member.filter)) continue;
      ComRef<IMediaSeeking> seeking;
      if (FAILED(member.filter->QueryInterface(IID_IMediaSeeking, seeking.OutVoid()))) continue;
      if (seeking) seekers->push_back(std::move(seeking));
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CFilterGraph::LargestLocked(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*get)(LONGLONG*),
                                    LONGLONG* value) {
  std::vector<ComRef<IMediaSeeking>> seekers;
  HRESULT hr = SeekersLocked(&seekers);
  if (FAILED(hr)) return hr;
  bool answered = false;
  HRESULT failure = E_NOTIMPL;
  for (ComRef<IMediaSeeking>& seeking : seekers) {
    LONGLONG answer = 0;
    hr = (seeking.Get()->*get)(&answer);
    if (FAILED(hr)) {
      failure = hr;
      continue;
    }
    if (!answered || answer > *value) *value = answer;
    answered = true;
  }
  return answered ? S_OK : failure;
}

REFERENCE_TIME CFilterGraph::StreamTimeLocked() {
  if (!m_hasRun) return 0;
  const bool running = m_state == State_Running && !m_runPending;
  const REFERENCE_TIME at = running ? ClockTimeLocked() : m_pausedAt;
  // Run sets the base a little ahead of the clock.
  return std::max<REFERENCE_TIME>(0, at - m_streamBase);
}

HRESULT CFilterGraph::CurrentPositionLocked(LONGLONG* current) {
  LONGLONG position = m_segmentStart + StreamTimeLocked();
  LONGLONG stop = 0;
  // The clock goes on after the streams have ended; the position does not.
  if (SUCCEEDED(LargestLocked(&IMediaSeeking::GetStopPosition, &stop)) && position > stop) {
    position = std::max(stop, m_segmentStart);
  }
  *current = position;
  return S_OK;
}

HRESULT CFilterGraph::SeekLocked(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                 DWORD stopFlags) {
  const DWORD currentHow = currentFlags & AM_SEEKING_PositioningBitsMask;
  const DWORD stopHow = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((currentHow && !current) || (stopHow && !stop)) return E_POINTER;
  // Incremental means "from the new current position", which only a stop can be.
  if (currentHow == AM_SEEKING_IncrementalPositioning) return E_INVALIDARG;
  std::vector<ComRef<IMediaSeeking>> seekers;
  HRESULT hr = SeekersLocked(&seekers);
  if (FAILED(hr)) return hr;
  if (seekers.empty()) return E_NOTIMPL;

  // The renderers are all given the same absolute positions, so that relative
  // ones are not applied once per renderer.
  LONGLONG target = currentHow ? *current : 0;
  LONGLONG now = 0;
  CurrentPositionLocked(&now);
  if (currentHow == AM_SEEKING_RelativePositioning) target += now;
  LONGLONG end = stopHow ? *stop : 0;
  if (stopHow == AM_SEEKING_RelativePositioning) {
    LONGLONG old = 0;
    hr = LargestLocked(&IMediaSeeking::GetStopPosition, &old);
    if (FAILED(hr)) return hr;
    end += old;
  } else if (stopHow == AM_SEEKING_IncrementalPositioning) {
    end += currentHow ? target : now;
  }

  // Renderers hold a sample while paused, so the flush of a seek while
  // running finds them waiting rather than presenting.
  const bool wasRunning = m_state == State_Running && currentHow;
  HRESULT paused = wasRunning ? PauseLocked() : S_OK;
  bool moved = false;
  HRESULT failure = E_NOTIMPL;
  for (ComRef<IMediaSeeking>& seeking : seekers) {
    LONGLONG c = target;
    LONGLONG s = end;
    hr = seeking->SetPositions(
        currentHow ? &c : nullptr, currentHow ? AM_SEEKING_AbsolutePositioning : 0,
        stopHow ? &s : nullptr, stopHow ? AM_SEEKING_AbsolutePositioning : 0);
    if (FAILED(hr)) {
      failure = hr;
      continue;
    }
    moved = true;
  }
  if (moved && currentHow) {
    m_segmentStart = target;
    m_hasRun = false;  // stream time starts again at 0 from the target
    std::vector<IBaseFilter*> ordered;
    // The streams end again from the new place: every sink must complete anew.
    if (m_state != State_Stopped && SUCCEEDED(OrderedFiltersLocked(&ordered))) {
      BeginCompletionLocked(ordered);
    }
  }
  HRESULT ran = wasRunning ? Run() : S_OK;
  if (!moved) return failure;
  if (currentHow && (currentFlags & AM_SEEKING_ReturnTime)) *current = target;
  if (stopHow && (stopFlags & AM_SEEKING_ReturnTime)) *stop = end;
  return FAILED(paused) ? paused : (FAILED(ran) ? ran : S_OK);
}

HRESULT CFilterGraph::GetCapabilities(DWORD* pCapabilities) {
  if (!pCapabilities) return E_POINTER;
  *pCapabilities = 0;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  std::vector<ComRef<IMediaSeeking>> seekers;
  HRESULT hr = SeekersLocked(&seekers);
  if (FAILED(hr)) return hr;
  // The graph can do only what every renderer can.
  DWORD common = ~DWORD{0};
  bool answered = false;
  HRESULT failure = E_NOTIMPL;
  for (ComRef<IMediaSeeking>& seeking : seekers) {
    DWORD capabilities = 0;
    hr = seeking->GetCapabilities(&capabilities);
    if (FAILED(hr)) {
      failure = hr;
      continue;
    }
    common &= capabilities;
    answered = true;
  }
  if (!answered) return failure;
  *pCapabilities = common;
  return S_OK;
}

HRESULT CFilterGraph::CheckCapabilities(DWORD* pCapabilities) {
  if (!pCapabilities) return E_POINTER;
  DWORD have = 0;
  HRESULT hr = GetCapabilities(&have);
  if (FAILED(hr)) return hr;
  const DWORD asked = *pCapabilities;
  *pCapabilities = asked & have;
  if (*pCapabilities == asked) return S_OK;
  return *pCapabilities ? S_FALSE : E_FAIL;
}

HRESULT CFilterGraph::IsFormatSupported(const GUID* pFormat) {
  if (!pFormat) return E_POINTER;
  return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT CFilterGraph::QueryPreferredFormat(GUID* pFormat) {
  if (!pFormat) return E_POINTER;
  *pFormat = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

HRESULT CFilterGraph::GetTimeFormat(GUID* pFormat) { return QueryPreferredFormat(pFormat); }

HRESULT CFilterGraph::IsUsingTimeFormat(const GUID* pFormat) { return IsFormatSupported(pFormat); }

HRESULT CFilterGraph::SetTimeFormat(const GUID* pFormat) {
  if (!pFormat) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (m_state != State_Stopped) return VFW_E_WRONG_STATE;
  return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT CFilterGraph::GetDuration(LONGLONG* pDuration) {
  if (!pDuration) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return LargestLocked(&IMediaSeeking::GetDuration, pDuration);
}

HRESULT CFilterGraph::GetStopPosition(LONGLONG* pStop) {
  if (!pStop) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return LargestLocked(&IMediaSeeking::GetStopPosition, pStop);
}

HRESULT CFilterGraph::GetCurrentPosition(LONGLONG* pCurrent) {
  if (!pCurrent) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return CurrentPositionLocked(pCurrent);
}

HRESULT CFilterGraph::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                        LONGLONG Source, const GUID* pSourceFormat) {
  if (!pTarget) return E_POINTER;
  if (!IsMediaTimeOrCurrent(pTargetFormat) || !IsMediaTimeOrCurrent(pSourceFormat)) {
    return E_INVALIDARG;
  }
  *pTarget = Source;
  return S_OK;
}

HRESULT CFilterGraph::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                   DWORD dwStopFlags) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return SeekLocked(pCurrent, dwCurrentFlags, pStop, dwStopFlags);
}

HRESULT CFilterGraph::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  HRESULT hr = S_OK;
  if (pCurrent) hr = CurrentPositionLocked(pCurrent);
  if (SUCCEEDED(hr) && pStop) hr = LargestLocked(&IMediaSeeking::GetStopPosition, pStop);
  return hr;
}

HRESULT CFilterGraph::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (pEarliest) *pEarliest = 0;
  if (!pLatest) return S_OK;
  return LargestLocked(&IMediaSeeking::GetDuration, pLatest);
}

HRESULT CFilterGraph::SetRate(double dRate) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  std::vector<ComRef<IMediaSeeking>> seekers;
  HRESULT hr = SeekersLocked(&seekers);
  if (FAILED(hr)) return hr;
  if (seekers.empty()) return E_NOTIMPL;
  HRESULT first = S_OK;
  for (ComRef<IMediaSeeking>& seeking : seekers) {
    hr = seeking->SetRate(dRate);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT CFilterGraph::GetRate(double* pdRate) {
  if (!pdRate) return E_POINTER;
  *pdRate = 1.0;  // the only rate the graph lets its renderers take
  return S_OK;
}

HRESULT CFilterGraph::GetPreroll(LONGLONG* pllPreroll) {
  if (!pllPreroll) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return LargestLocked(&IMediaSeeking::GetPreroll, pllPreroll);
}

HRESULT CFilterGraph::get_Duration(REFTIME* plength) {
  if (!plength) return E_POINTER;
  LONGLONG duration = 0;
  HRESULT hr = GetDuration(&duration);
  *plength = ToSeconds(duration);
  return hr;
}

HRESULT CFilterGraph::put_CurrentPosition(REFTIME llTime) {
  LONGLONG target = ToUnits(llTime);
  return SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

HRESULT CFilterGraph::get_CurrentPosition(REFTIME* pllTime) {
  if (!pllTime) return E_POINTER;
  LONGLONG current = 0;
  HRESULT hr = GetCurrentPosition(&current);
  *pllTime = ToSeconds(current);
  return hr;
}

HRESULT CFilterGraph::get_StopTime(REFTIME* pllTime) {
  if (!pllTime) return E_POINTER;
  LONGLONG stop = 0;
  HRESULT hr = GetStopPosition(&stop);
  *pllTime = ToSeconds(stop);
  return hr;
}

HRESULT CFilterGraph::put_StopTime(REFTIME llTime) {
  LONGLONG stop = ToUnits(llTime);
  return SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning);
}

HRESULT CFilterGraph::get_PrerollTime(REFTIME* pllTime) {
  if (!pllTime) return E_POINTER;
  LONGLONG preroll = 0;
  HRESULT hr = GetPreroll(&preroll);
  *pllTime = ToSeconds(preroll);
  return hr;
}

HRESULT CFilterGraph::put_PrerollTime(REFTIME) { return E_NOTIMPL; }

HRESULT CFilterGraph::put_Rate(double dRate) { return SetRate(dRate); }

HRESULT CFilterGraph::get_Rate(double* pdRate) { return GetRate(pdRate); }

HRESULT CFilterGraph::PositionCapability(DWORD capability, LONG* answer) {
  if (!answer) return E_POINTER;
  DWORD capabilities = 0;
  // A graph none of whose renderers can seek simply cannot.
  if (FAILED(GetCapabilities(&capabilities))) capabilities = 0;
  *answer = (capabilities & capability) ? OATRUE : OAFALSE;
  return S_OK;
}

HRESULT CFilterGraph::CanSeekForward(LONG* pCanSeekForward) {
  return PositionCapability(AM_SEEKING_CanSeekForwards, pCanSeekForward);
}

HRESULT CFilterGraph::CanSeekBackward(LONG* pCanSeekBackward) {
  return PositionCapability(AM_SEEKING_CanSeekBackwards, pCanSeekBackward);
}

// ---- events ----

HRESULT CFilterGraph::GetEventHandle(OAEVENT* hEvent) {
  if (!hEvent) return E_POINTER;
  HANDLE handle = nullptr;
  HRESULT hr = m_events.Handle(&handle);
  *hEvent = reinterpret_cast<OAEVENT>(handle);
  return hr;
}

HRESULT CFilterGraph::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                               LONG msTimeout) {
  if (!lEventCode || !lParam1 || !lParam2) return E_POINTER;
  *lEventCode = 0;
  *lParam1 = 0;
  *lParam2 = 0;
  GraphEvent event{};
  HRESULT hr = m_events.Take(&event, msTimeout < 0 ? INFINITE : static_cast<DWORD>(msTimeout));
  if (FAILED(hr)) return hr;
  *lEventCode = event.code;
  *lParam1 = event.param1;
  *lParam2 = event.param2;
  return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode) {
  if (!pEvCode) return E_POINTER;
  return m_completion.Wait(msTimeout, pEvCode);
}

HRESULT CFilterGraph::CancelDefaultHandling(LONG lEvCode) {
  return m_completion.SetDefaultHandling(lEvCode, false);
}

HRESULT CFilterGraph::RestoreDefaultHandling(LONG lEvCode) {
  return m_completion.SetDefaultHandling(lEvCode, true);
}

// No event this graph queues carries memory of its own.
HRESULT CFilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR) { return S_OK; }

// There are no windows to post to on this platform; a null window is the
// documented way to stop posting and is accepted.
HRESULT CFilterGraph::SetNotifyWindow(OAHWND hwnd, LONG, LONG_PTR) {
  return hwnd == 0 ? S_OK : E_NOTIMPL;
}

HRESULT CFilterGraph::SetNotifyFlags(LONG lNoNotifyFlags) {
  if (lNoNotifyFlags != 0 && lNoNotifyFlags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
  m_events.SetDiscarding(lNoNotifyFlags == AM_MEDIAEVENT_NONOTIFY);
  return S_OK;
}

HRESULT CFilterGraph::GetNotifyFlags(LONG* lplNoNotifyFlags) {
  if (!lplNoNotifyFlags) return E_POINTER;
  *lplNoNotifyFlags = m_events.IsDiscarding() ? AM_MEDIAEVENT_NONOTIFY : 0;
  return S_OK;
}

// ---- building ----

HRESULT CFilterGraph::SetRenderSinkFactory(IRenderSinkFactory* factory) {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  m_sinkFactory = ComRef<IRenderSinkFactory>::Share(factory);
  return S_OK;
}

ULONG CFilterGraph::SinkCount() {
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  ULONG count = 0;
  for (const Member& member : m_members) {
    if (IsSink(member.filter)) ++count;
  }
  return count;
}

void CFilterGraph::RemoveAddedSinceLocked(const std::vector<IBaseFilter*>& before) {
  std::vector<IBaseFilter*> added;
  for (const Member& member : m_members) {
    if (std::find(before.begin(), before.end(), member.filter) == before.end()) {
      added.push_back(member.filter);
    }
  }
  for (IBaseFilter* filter : added) RemoveFilter(filter);
}

HRESULT CFilterGraph::AddSourceFilterLocked(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) {
  GUID subtype{};
  CLSID sourceClass{};
  HRESULT hr = DetectFileType(file, &subtype, &sourceClass);
  if (FAILED(hr)) return hr;
  ComRef<IBaseFilter> source;
  hr = CoCreateInstance(sourceClass, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                        source.OutVoid());
  if (FAILED(hr) || !source) return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
  ComRef<IFileSourceFilter> loader;
  if (FAILED(source->QueryInterface(IID_IFileSourceFilter, loader.OutVoid())) || !loader) {
    return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
  }
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Stream;
  type.subtype = subtype;
  type.formattype = GUID_NULL;
  hr = loader->Load(file, &type);
  if (FAILED(hr)) return hr;
  hr = AddFilter(source.Get(), name ? name : file);
  if (FAILED(hr)) return hr;
  *filter = source.Detach();
  return S_OK;
}

HRESULT CFilterGraph::AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                      IBaseFilter** ppFilter) {
  if (!ppFilter) return E_POINTER;
  *ppFilter = nullptr;
  if (!lpcwstrFileName) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  return AddSourceFilterLocked(lpcwstrFileName, lpcwstrFilterName, ppFilter);
}

HRESULT CFilterGraph::RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) {
  if (!lpcwstrFile) return E_POINTER;
  // The play list is reserved by the platform.
  if (lpcwstrPlayList && *lpcwstrPlayList) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
  m_aborted.store(false, std::memory_order_relaxed);
  std::vector<IBaseFilter*> before;
  try {
    for (const Member& member : m_members) before.push_back(member.filter);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  ComRef<IBaseFilter> source;
  HRESULT hr = AddSourceFilterLocked(lpcwstrFile, nullptr, source.Out());
  if (FAILED(hr)) return hr;
  const bool unconnected = false;
  std::vector<ComRef<IPin>> outputs;
  hr = FilterPins(source.Get(), PINDIR_OUTPUT, &unconnected, &outputs);
  if (SUCCEEDED(hr) && outputs.empty()) hr = VFW_E_CANNOT_RENDER;
  bool partial = false;
  HRESULT firstFailure = S_OK;
  size_t rendered = 0;
  CIntelligentConnect builder(static_cast<IGraphBuilder*>(this), m_sinkFactory.Get(), &m_aborted);
  for (size_t i = 0; SUCCEEDED(hr) && i < outputs.size(); ++i) {
    HRESULT pin = builder.Render(outputs[i].Get());
    if (pin == E_ABORT || pin == E_OUTOFMEMORY) hr = pin;
    if (SUCCEEDED(pin)) ++rendered;
    if (pin != S_OK) partial = true;
    if (FAILED(pin) && SUCCEEDED(firstFailure)) firstFailure = pin;
  }
  if (SUCCEEDED(hr) && rendered == 0) hr = firstFailure;
  if (FAILED(hr)) {
    source.Reset();
    RemoveAddedSinceLocked(before);
    return hr;
  }
  return partial ? VFW_S_PARTIAL_RENDER : S_OK;
}

HRESULT CFilterGraph::Render(IPin* ppinOut) {
  if (!ppinOut) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  HRESULT hr = CheckPinInGraph(ppinOut, PINDIR_OUTPUT);
  if (FAILED(hr)) return hr;
  m_aborted.store(false, std::memory_order_relaxed);
  CIntelligentConnect builder(static_cast<IGraphBuilder*>(this), m_sinkFactory.Get(), &m_aborted);
  return builder.Render(ppinOut);
}

HRESULT CFilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
  if (!ppinOut || !ppinIn) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(m_graphLock);
  m_aborted.store(false, std::memory_order_relaxed);
  CIntelligentConnect builder(static_cast<IGraphBuilder*>(this), m_sinkFactory.Get(), &m_aborted);
  return builder.Connect(ppinOut, ppinIn);
}

// The graph writes no log.
HRESULT CFilterGraph::SetLogFile(DWORD_PTR) { return S_OK; }

HRESULT CFilterGraph::Abort() {
  m_aborted.store(true, std::memory_order_relaxed);
  return S_OK;
}

HRESULT CFilterGraph::ShouldOperationContinue() {
  return m_aborted.load(std::memory_order_relaxed) ? S_FALSE : S_OK;
}

}  // namespace platform
