#include "framework/CFilterBase.h"

#include <new>

#include "com/WideString.h"
#include "framework/CPinBase.h"
#include "framework/CPinEnumerator.h"
#include "runtime/CAutoLock.h"

CFilterBase::CFilterBase(const char* objectName, IUnknown* outer, CRITICAL_SECTION* filterLock,
                         REFCLSID classId)
    : CInnerUnknown(objectName, outer),
      m_state(State_Stopped),
      m_startTime(0),
      m_classId(classId),
      m_filterLock(filterLock),
      m_name(nullptr),
      m_graph(nullptr),
      m_eventSink(nullptr),
      m_pinListVersion(1) {}

CFilterBase::~CFilterBase() {
  delete[] m_name;
  m_clock.Reset();
}

HRESULT CFilterBase::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IBaseFilter) || IsEqualGUID(riid, IID_IMediaFilter) ||
      IsEqualGUID(riid, IID_IPersist)) {
    return HandOutInterface(static_cast<IBaseFilter*>(this), ppv);
  }
  if (IsEqualGUID(riid, IID_IAMovieSetup)) {
    return HandOutInterface(static_cast<IAMovieSetup*>(this), ppv);
  }
  return CInnerUnknown::InnerQueryInterface(riid, ppv);
}

HRESULT CFilterBase::CurrentStreamTime(REFERENCE_TIME& out) {
  // A reference of its own, so that SetSyncSource on another thread cannot
  // free the clock while it is read, and the lock is not held across it.
  CComHolder<IReferenceClock> clock;
  {
    CAutoLock lock(m_filterLock);
    clock = m_clock;
  }
  if (!clock) {
    return VFW_E_NO_CLOCK;
  }
  HRESULT hr = clock->GetTime(&out);
  if (FAILED(hr)) {
    return hr;
  }
  out -= m_startTime.load();
  return S_OK;
}

LONG CFilterBase::PinListVersion() { return m_pinListVersion; }

const AMOVIESETUP_FILTER* CFilterBase::SetupData() { return nullptr; }

CRITICAL_SECTION* CFilterBase::StateLock() { return nullptr; }

STDMETHODIMP CFilterBase::GetClassID(CLSID* classId) {
  if (classId == nullptr) {
    return E_POINTER;
  }
  *classId = m_classId;
  return S_OK;
}

STDMETHODIMP CFilterBase::Run(REFERENCE_TIME start) {
  // Running is published under the lock Stop takes, so that a Stop cannot
  // slip in between the Pause below and the store at the end.
  CRITICAL_SECTION* stateLock = StateLock();
  CAutoLock lock(stateLock != nullptr ? stateLock : m_filterLock);
  m_startTime = start;
  if (m_state == State_Stopped) {
    HRESULT hr = static_cast<IBaseFilter*>(this)->Pause();
    if (FAILED(hr)) {
      return hr;
    }
  }
  if (m_state != State_Running) {
    int count = PinCount();
    for (int index = 0; index < count; ++index) {
      CPinBase* pin = PinAt(index);
      if (pin == nullptr || !pin->IsConnected()) {
        continue;
      }
      HRESULT hr = pin->RunAt(start);
      if (FAILED(hr)) {
        return hr;
      }
    }
  }
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP CFilterBase::GetState(DWORD timeout, FILTER_STATE* state) {
  if (state == nullptr) {
    return E_POINTER;
  }
  *state = m_state.load();
  return S_OK;
}

STDMETHODIMP CFilterBase::SetSyncSource(IReferenceClock* clock) {
  CAutoLock lock(m_filterLock);
  m_clock = clock;
  return S_OK;
}

STDMETHODIMP CFilterBase::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(m_filterLock);
  return m_clock.CopyTo(clock);
}

STDMETHODIMP CFilterBase::EnumPins(IEnumPins** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = new (std::nothrow) CPinEnumerator(this, nullptr);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CFilterBase::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(m_filterLock);
  int count = PinCount();
  for (int index = 0; index < count; ++index) {
    CPinBase* candidate = PinAt(index);
    if (candidate != nullptr && WideCompare(candidate->PinName(), id) == 0) {
      return HandOutInterface(static_cast<IPin*>(candidate), reinterpret_cast<void**>(pin));
    }
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CFilterBase::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  // JoinFilterGraph on another thread frees the name it replaces.
  CAutoLock lock(m_filterLock);
  WideCopyBounded(info->achName, m_name, MAX_FILTER_NAME);
  info->pGraph = m_graph;
  if (info->pGraph != nullptr) {
    info->pGraph->AddRef();
  }
  return S_OK;
}

STDMETHODIMP CFilterBase::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CAutoLock lock(m_filterLock);
  m_graph = graph;
  m_eventSink = nullptr;
  if (graph != nullptr) {
    void* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, &sink)) && sink != nullptr) {
      // The graph owns this filter, so holding a reference on its sink would
      // keep both alive for ever.
      m_eventSink = static_cast<IMediaEventSink*>(sink);
      m_eventSink->Release();
    }
  }
  delete[] m_name;
  m_name = nullptr;
  if (name != nullptr) {
    m_name = new (std::nothrow) WCHAR[WideLength(name) + 1];
    WideCopy(m_name, name);
  }
  return S_OK;
}

STDMETHODIMP CFilterBase::QueryVendorInfo(LPWSTR* vendorInfo) { return E_NOTIMPL; }

HRESULT CFilterBase::NotifyGraph(LONG eventCode, LONG_PTR parameter1, LONG_PTR parameter2) {
  IMediaEventSink* sink = m_eventSink;
  if (sink == nullptr) {
    return E_NOTIMPL;
  }
  return sink->Notify(eventCode, parameter1, parameter2);
}
