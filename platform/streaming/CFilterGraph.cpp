#include "CFilterGraph.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "CFilterEnumerator.h"
#include "CSystemClock.h"

namespace platform {

namespace {

constexpr size_t kLongestName = MAX_FILTER_NAME - 1;
// Generated names are numbered "0001" and up; a taken name gets " 0001" and up.
constexpr int kLastNameNumber = 9999;
constexpr size_t kSuffixLength = 5;

std::u16string NumberText(int number) {
  char text[8];
  std::snprintf(text, sizeof(text), "%04d", number);
  return std::u16string(text, text + 4);
}

}  // namespace

HRESULT CFilterGraph::Create(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* graph = new (std::nothrow) CFilterGraph;
  if (!graph) return E_OUTOFMEMORY;
  graph->AddRef();
  HRESULT hr = graph->QueryInterface(riid, ppv);
  graph->Release();
  return hr;
}

CFilterGraph::~CFilterGraph() {
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
  if (riid == IID_IUnknown || riid == IID_IFilterGraph) {
    *ppv = static_cast<IFilterGraph*>(this);
  } else if (riid == IID_IMediaEventSink) {
    *ppv = static_cast<IMediaEventSink*>(this);
  } else if (riid == IID_IGraphEventQueue) {
    *ppv = static_cast<IGraphEventQueue*>(this);
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
  HRESULT hr = pFilter->JoinFilterGraph(static_cast<IFilterGraph*>(this), name.c_str());
  if (FAILED(hr)) {
    m_members.erase(std::find_if(m_members.begin(), m_members.end(),
                                 [pFilter](const Member& m) { return m.filter == pFilter; }));
    pFilter->Release();
    return hr;
  }
  ++m_version;
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
  HRESULT first = S_OK;
  for (const Member& member : m_members) {
    hr = member.filter->SetSyncSource(m_clock.Get());
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

HRESULT CFilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) {
  return m_events.Push(GraphEvent{EventCode, EventParam1, EventParam2});
}

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

}  // namespace platform
