#include "CRenderer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "CSourcePinEnumerator.h"

namespace platform {

HRESULT CreateRenderer(IRenderObserver* observer, IBaseFilter** renderer) {
  return CRenderer::Create(observer, renderer);
}

CRenderer::CRenderer(IRenderObserver* observer)
    : m_observer(ComRef<IRenderObserver>::Share(observer)), m_pin(this) {}

CRenderer::~CRenderer() {
  if (m_adviseEvent) CloseHandle(m_adviseEvent);
  if (m_wake) CloseHandle(m_wake);
}

HRESULT CRenderer::Create(IRenderObserver* observer, IBaseFilter** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* renderer = new (std::nothrow) CRenderer(observer);
  if (!renderer) return E_OUTOFMEMORY;
  renderer->AddRef();
  renderer->m_adviseEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  renderer->m_wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!renderer->m_adviseEvent || !renderer->m_wake) {
    renderer->Release();
    return E_OUTOFMEMORY;
  }
  *out = renderer;
  return S_OK;
}

HRESULT CRenderer::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter ||
      riid == IID_IPersist) {
    *ppv = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IMediaSeeking) {
    *ppv = static_cast<IMediaSeeking*>(&m_seeking);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CRenderer::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CRenderer::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CRenderer::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_PlatformRenderer;
  return S_OK;
}

bool CRenderer::IsCuedLocked() const {
  return m_holding || m_endOfStream || !m_pin.IsConnectedLocked();
}

void CRenderer::ChangedLocked() {
  ++m_epoch;
  SetEvent(m_wake);
  m_changed.notify_all();
}

// ---- state ----

HRESULT CRenderer::Stop() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Stopped;
  m_holding = false;
  m_endOfStream = false;
  m_completionSent = false;
  ChangedLocked();
  return S_OK;
}

HRESULT CRenderer::Pause() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_state == State_Stopped) {
    m_endOfStream = false;
    m_completionSent = false;
  }
  m_state = State_Paused;
  ChangedLocked();
  return IsCuedLocked() ? S_OK : S_FALSE;
}

HRESULT CRenderer::Run(REFERENCE_TIME tStart) {
  bool complete = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State_Stopped) {
      m_endOfStream = false;
      m_completionSent = false;
    }
    m_state = State_Running;
    m_base = tStart;
    // A stream that ended while paused completes now.
    complete = m_endOfStream && !m_completionSent;
    m_completionSent = m_completionSent || complete;
    ChangedLocked();
  }
  if (complete) SendCompletion();
  return S_OK;
}

HRESULT CRenderer::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  if (!State) return E_POINTER;
  std::unique_lock<std::mutex> lock(m_lock);
  auto settled = [this] { return m_state != State_Paused || IsCuedLocked(); };
  if (dwMilliSecsTimeout == INFINITE) {
    m_changed.wait(lock, settled);
  } else {
    m_changed.wait_for(lock, std::chrono::milliseconds(dwMilliSecsTimeout), settled);
  }
  *State = m_state;
  return settled() ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT CRenderer::SetSyncSource(IReferenceClock* pClock) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_clock = ComRef<IReferenceClock>::Share(pClock);
  return S_OK;
}

HRESULT CRenderer::GetSyncSource(IReferenceClock** pClock) {
  if (!pClock) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  *pClock = m_clock.Get();
  if (*pClock) (*pClock)->AddRef();
  return S_OK;
}

// ---- streaming ----

bool CRenderer::WaitForPresentation(std::unique_lock<std::mutex>& lock, REFERENCE_TIME start) {
  ComRef<IReferenceClock> clock = ComRef<IReferenceClock>::Share(m_clock.Get());
  const ULONG epoch = m_epoch;
  // Reset under the lock: a state change after this point sets m_wake again.
  ResetEvent(m_wake);
  ResetEvent(m_adviseEvent);
  DWORD_PTR cookie = 0;
  if (FAILED(clock->AdviseTime(m_base, start, reinterpret_cast<HEVENT>(m_adviseEvent), &cookie))) {
    return true;  // a time the clock cannot wait for is shown at once
  }
  const HANDLE handles[2] = {m_adviseEvent, m_wake};
  lock.unlock();
  const DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  clock->Unadvise(cookie);
  lock.lock();
  return which == WAIT_OBJECT_0 && m_epoch == epoch;
}

HRESULT CRenderer::Receive(IMediaSample* sample) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (!m_pin.IsConnectedLocked() || m_state == State_Stopped) return VFW_E_WRONG_STATE;
  if (m_flushing) return S_FALSE;
  if (m_endOfStream) return VFW_E_SAMPLE_REJECTED_EOS;
  // Decoded only to reach the seek's target: neither held nor shown.
  if (sample->IsPreroll() == S_OK) return S_OK;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
  ComRef<IRenderObserver> observer = ComRef<IRenderObserver>::Share(m_observer.Get());
  bool reported = false;  // the observer heard of the hold in this pause
  for (;;) {
    if (m_state == State_Stopped || m_flushing) {
      m_holding = false;
      return m_flushing ? S_FALSE : VFW_E_WRONG_STATE;
    }
    if (m_state == State_Paused) {
      const ULONG epoch = m_epoch;
      if (!reported && observer) {
        // The host hears of the held sample before anyone sees the Pause complete.
        lock.unlock();
        observer->OnHold(sample);
        lock.lock();
        reported = true;
        if (m_epoch != epoch) continue;
      }
      if (!m_holding) {
        m_holding = true;
        m_changed.notify_all();
      }
      m_changed.wait(lock, [&] { return m_epoch != epoch; });
      continue;
    }
    m_holding = false;
    reported = false;
    if (!timed || !m_clock) break;
    if (WaitForPresentation(lock, start)) {
      // The time has come, but the renderer may have left Running meanwhile.
      if (m_state == State_Running && !m_flushing) break;
    }
  }
  REFERENCE_TIME now = -1;
  if (m_clock) m_clock->GetTime(&now);
  lock.unlock();
  if (observer) observer->OnPresent(sample, now);
  return S_OK;
}

HRESULT CRenderer::EndOfStream() {
  bool complete = false;
  ComRef<IRenderObserver> observer;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pin.IsConnectedLocked()) return VFW_E_NOT_CONNECTED;
    if (m_flushing) return S_FALSE;
    if (m_state == State_Stopped) return VFW_E_WRONG_STATE;
    m_endOfStream = true;
    complete = m_state == State_Running && !m_completionSent;
    m_completionSent = m_completionSent || complete;
    observer = ComRef<IRenderObserver>::Share(m_observer.Get());
    m_changed.notify_all();
  }
  if (observer) observer->OnEndOfStream();
  if (complete) SendCompletion();
  return S_OK;
}

HRESULT CRenderer::BeginFlush() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_flushing = true;
  m_holding = false;
  m_endOfStream = false;
  m_completionSent = false;
  ChangedLocked();
  return S_OK;
}

HRESULT CRenderer::EndFlush() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_flushing = false;
  ChangedLocked();
  return S_OK;
}

void CRenderer::SendCompletion() {
  ComRef<IMediaEventSink> events;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_graph) return;
    m_graph->QueryInterface(IID_IMediaEventSink, events.OutVoid());
  }
  if (events) events->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(this));
}

// ---- pins and membership ----

HRESULT CRenderer::EnumPins(IEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  try {
    return CSourcePinEnumerator::Create({static_cast<IPin*>(&m_pin)}, ppEnum);
  } catch (const std::bad_alloc&) {
    *ppEnum = nullptr;
    return E_OUTOFMEMORY;
  }
}

HRESULT CRenderer::FindPin(LPCWSTR Id, IPin** ppPin) {
  if (!Id || !ppPin) return E_POINTER;
  if (std::u16string_view(Id) != u"In") {
    *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *ppPin = static_cast<IPin*>(&m_pin);
  (*ppPin)->AddRef();
  return S_OK;
}

HRESULT CRenderer::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  std::memset(pInfo->achName, 0, sizeof(pInfo->achName));
  const size_t count = std::min<size_t>(m_name.size(), MAX_FILTER_NAME - 1);
  std::memcpy(pInfo->achName, m_name.data(), count * sizeof(WCHAR));
  pInfo->pGraph = m_graph;
  if (m_graph) m_graph->AddRef();
  return S_OK;
}

HRESULT CRenderer::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_graph = pGraph;
  m_name = pName && pGraph ? std::u16string(pName) : std::u16string();
  return S_OK;
}

HRESULT CRenderer::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

}  // namespace platform
