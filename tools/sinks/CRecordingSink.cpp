#include "sinks/CRecordingSink.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sinks/CSinkPinEnumerator.h"

namespace tessaly::sinks {

namespace {

std::optional<REFERENCE_TIME> Known(bool known, REFERENCE_TIME value) {
  return known ? std::optional<REFERENCE_TIME>(value) : std::nullopt;
}

}  // namespace

CRecordingSink::CRecordingSink(std::shared_ptr<ISinkObserver> observer)
    : m_observer(std::move(observer)), m_pin(this) {}

HRESULT CRecordingSink::Create(std::shared_ptr<ISinkObserver> observer, IBaseFilter** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (!observer) return E_INVALIDARG;
  CRecordingSink* sink = new (std::nothrow) CRecordingSink(std::move(observer));
  if (sink == nullptr) return E_OUTOFMEMORY;
  sink->AddRef();
  *out = sink;
  return S_OK;
}

HRESULT CRecordingSink::DeliverSample(IMediaSample* sample) {
  std::lock_guard<std::mutex> order(m_deliveryLock);
  std::string stream;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pin.IsConnectedLocked() || m_state == State_Stopped) return VFW_E_WRONG_STATE;
    if (m_pin.IsFlushingLocked()) return S_FALSE;
    if (FAILED(m_abortResult)) return m_abortResult;
    stream = m_pin.PeerNameLocked();
  }

  SinkSample record;
  record.stream = std::move(stream);
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timeResult = sample->GetTime(&start, &stop);
  record.start = Known(SUCCEEDED(timeResult), start);
  record.stop = Known(timeResult == S_OK, stop);
  LONGLONG mediaStart = 0, mediaStop = 0;
  const HRESULT mediaResult = sample->GetMediaTime(&mediaStart, &mediaStop);
  record.mediaStart = Known(SUCCEEDED(mediaResult), mediaStart);
  record.mediaStop = Known(SUCCEEDED(mediaResult), mediaStop);
  record.syncPoint = sample->IsSyncPoint() == S_OK;
  record.preroll = sample->IsPreroll() == S_OK;
  record.discontinuity = sample->IsDiscontinuity() == S_OK;
  record.length = sample->GetActualDataLength();
  BYTE* buffer = nullptr;
  if (SUCCEEDED(sample->GetPointer(&buffer)) && buffer != nullptr && record.length > 0) {
    // A length beyond the buffer is reported as given but never read past it.
    const LONG size = std::max<LONG>(0, sample->GetSize());
    record.data = buffer;
    record.dataBytes = static_cast<size_t>(std::min(record.length, size));
  }

  const HRESULT hr = m_observer->OnSample(record);
  if (SUCCEEDED(hr)) return S_OK;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_abortResult = hr;
  }
  NotifyGraph(EC_ERRORABORT, hr, 0);
  return hr;
}

HRESULT CRecordingSink::DeliverEndOfStream() {
  std::lock_guard<std::mutex> order(m_deliveryLock);
  std::string stream;
  bool completeNow = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_pin.IsConnectedLocked()) return VFW_E_NOT_CONNECTED;
    if (m_pin.IsFlushingLocked()) return S_FALSE;
    if (m_state == State_Stopped) return VFW_E_WRONG_STATE;
    stream = m_pin.PeerNameLocked();
    completeNow = m_state == State_Running;
    m_endOfStreamPending = !completeNow;
  }
  m_observer->OnEndOfStream(stream);
  if (completeNow) NotifyGraph(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(this));
  return S_OK;
}

void CRecordingSink::NotifyGraph(LONG code, LONG_PTR param1, LONG_PTR param2) {
  platform::ComRef<IMediaEventSink> events;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_graph == nullptr) return;
    m_graph->QueryInterface(IID_IMediaEventSink, events.OutVoid());
  }
  if (events) events->Notify(code, param1, param2);
}

HRESULT CRecordingSink::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBaseFilter) ||
      IsEqualIID(riid, IID_IMediaFilter) || IsEqualIID(riid, IID_IPersist)) {
    *ppv = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IMediaSeeking)) {
    *ppv = static_cast<IMediaSeeking*>(&m_seeking);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CRecordingSink::AddRef() { return ++m_refs; }

ULONG CRecordingSink::Release() {
  const ULONG left = --m_refs;
  if (left == 0) delete this;
  return left;
}

HRESULT CRecordingSink::GetClassID(CLSID* pClassID) {
  if (pClassID == nullptr) return E_POINTER;
  *pClassID = CLSID_TessalyRecordingSink;
  return S_OK;
}

HRESULT CRecordingSink::Stop() {
  bool leaving = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    leaving = m_state != State_Stopped;
    m_state = State_Stopped;
    m_endOfStreamPending = false;
    m_abortResult = S_OK;
  }
  if (leaving) m_observer->OnStop();
  return S_OK;
}

HRESULT CRecordingSink::Pause() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_state == State_Stopped) {
    m_endOfStreamPending = false;
    m_abortResult = S_OK;
  }
  m_state = State_Paused;
  return S_OK;
}

HRESULT CRecordingSink::Run(REFERENCE_TIME tStart) {
  bool completeNow = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State_Stopped) {
      m_endOfStreamPending = false;
      m_abortResult = S_OK;
    }
    m_state = State_Running;
    completeNow = m_endOfStreamPending;
    m_endOfStreamPending = false;
  }
  // An end of stream that arrived before the graph ran completes now.
  if (completeNow) NotifyGraph(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(this));
  return S_OK;
}

HRESULT CRecordingSink::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  if (State == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  *State = m_state;
  return S_OK;
}

HRESULT CRecordingSink::SetSyncSource(IReferenceClock* pClock) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_clock = platform::ComRef<IReferenceClock>::Share(pClock);
  return S_OK;
}

HRESULT CRecordingSink::GetSyncSource(IReferenceClock** pClock) {
  if (pClock == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  *pClock = m_clock.Get();
  if (*pClock != nullptr) (*pClock)->AddRef();
  return S_OK;
}

HRESULT CRecordingSink::EnumPins(IEnumPins** ppEnum) {
  return CSinkPinEnumerator::Create(static_cast<IPin*>(&m_pin), 0, ppEnum);
}

HRESULT CRecordingSink::FindPin(LPCWSTR Id, IPin** ppPin) {
  if (Id == nullptr || ppPin == nullptr) return E_POINTER;
  if (std::u16string_view(Id) != u"In") {
    *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *ppPin = static_cast<IPin*>(&m_pin);
  (*ppPin)->AddRef();
  return S_OK;
}

HRESULT CRecordingSink::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (pInfo == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  std::memset(pInfo->achName, 0, sizeof(pInfo->achName));
  const size_t count = std::min<size_t>(m_name.size(), MAX_FILTER_NAME - 1);
  std::memcpy(pInfo->achName, m_name.data(), count * sizeof(WCHAR));
  pInfo->pGraph = m_graph;
  if (m_graph != nullptr) m_graph->AddRef();
  return S_OK;
}

HRESULT CRecordingSink::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_graph = pGraph;
  m_name = pName != nullptr && pGraph != nullptr ? std::u16string(pName) : std::u16string();
  return S_OK;
}

HRESULT CRecordingSink::QueryVendorInfo(LPWSTR* pVendorInfo) { return E_NOTIMPL; }

}  // namespace tessaly::sinks
