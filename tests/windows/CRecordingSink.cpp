#include "CRecordingSink.h"

#include <evcode.h>
#include <vfwmsgs.h>

#include <new>

#include "CScopedLock.h"
#include "SinkEnumerators.h"

namespace {

// The test's own class identifier; the sink is never registered.
const CLSID kRecordingSinkClass = {
    0x7A1C55D0, 0x3B2E, 0x4F61, {0x9D, 0x41, 0x52, 0x0E, 0x6C, 0x17, 0x8B, 0x93}};

}  // namespace

CRecordingSink::CRecordingSink(CReceiveGate* gate) : m_gate(gate), m_pin(this) {
  InitializeCriticalSection(&m_lock);
}

CRecordingSink::~CRecordingSink() {
  if (m_clock != nullptr) {
    m_clock->Release();
  }
  DeleteCriticalSection(&m_lock);
}

HRESULT STDMETHODCALLTYPE CRecordingSink::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) ||
      IsEqualIID(iid, IID_IMediaFilter) || IsEqualIID(iid, IID_IBaseFilter)) {
    *out = static_cast<IBaseFilter*>(this);
  } else if (IsEqualIID(iid, IID_IAMFilterMiscFlags)) {
    *out = static_cast<IAMFilterMiscFlags*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CRecordingSink::AddRef() { return InterlockedIncrement(&m_refs); }

ULONG STDMETHODCALLTYPE CRecordingSink::Release() {
  LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) {
    delete this;
  }
  return refs;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) {
    return E_POINTER;
  }
  *clsid = kRecordingSinkClass;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::Stop() {
  {
    CScopedLock lock(&m_lock);
    m_state = State_Stopped;
    m_completePending = false;
  }
  // A receive held at the gate must return, or the upstream worker never
  // reaches the point where it can be told to stop.
  if (m_gate != nullptr) {
    m_gate->Open();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::Pause() {
  CScopedLock lock(&m_lock);
  if (m_state == State_Stopped) {
    m_pin.EndFlushing();
  }
  m_state = State_Paused;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::Run(REFERENCE_TIME start) {
  bool notify = false;
  {
    CScopedLock lock(&m_lock);
    m_state = State_Running;
    notify = m_completePending;
    m_completePending = false;
  }
  if (notify) {
    NotifyComplete();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::GetState(DWORD timeoutMs, FILTER_STATE* state) {
  if (state == nullptr) {
    return E_POINTER;
  }
  *state = State();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::SetSyncSource(IReferenceClock* clock) {
  CScopedLock lock(&m_lock);
  if (clock != nullptr) {
    clock->AddRef();
  }
  if (m_clock != nullptr) {
    m_clock->Release();
  }
  m_clock = clock;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) {
    return E_POINTER;
  }
  CScopedLock lock(&m_lock);
  *clock = m_clock;
  if (m_clock != nullptr) {
    m_clock->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::EnumPins(IEnumPins** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = new (std::nothrow) CSinglePinEnum(static_cast<IPin*>(&m_pin), 0);
  return *enumerator == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) {
    return E_POINTER;
  }
  if (lstrcmpW(id, L"In") != 0) {
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *pin = static_cast<IPin*>(&m_pin);
  (*pin)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  CScopedLock lock(&m_lock);
  lstrcpynW(info->achName, m_name, MAX_FILTER_NAME);
  info->pGraph = m_graph;
  if (m_graph != nullptr) {
    m_graph->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CScopedLock lock(&m_lock);
  m_graph = graph;
  m_eventSink = nullptr;
  m_name[0] = 0;
  if (graph == nullptr) {
    return S_OK;
  }
  if (name != nullptr) {
    lstrcpynW(m_name, name, MAX_FILTER_NAME);
  }
  // Kept without a reference: the graph holds the sink, and a reference back
  // would keep both alive forever.
  IMediaEventSink* events = nullptr;
  if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&events)))) {
    m_eventSink = events;
    events->Release();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingSink::QueryVendorInfo(LPWSTR* info) { return E_NOTIMPL; }

ULONG STDMETHODCALLTYPE CRecordingSink::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

FILTER_STATE CRecordingSink::State() {
  CScopedLock lock(&m_lock);
  return m_state;
}

void CRecordingSink::OnEndOfStream() {
  {
    CScopedLock lock(&m_lock);
    if (m_state == State_Paused) {
      // A renderer completes only once it runs; the graph counts EC_COMPLETE
      // from running renderers.
      m_completePending = true;
      return;
    }
    if (m_state != State_Running) {
      return;
    }
  }
  NotifyComplete();
}

void CRecordingSink::NotifyComplete() {
  IMediaEventSink* events = nullptr;
  {
    CScopedLock lock(&m_lock);
    events = m_eventSink;
  }
  if (events != nullptr) {
    events->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }
}
