#include "sinks/CRecordingInputPin.h"

#include <cstring>

#include "sinks/CEmptyTypeEnumerator.h"
#include "sinks/CRecordingSink.h"
#include "sinks/WideText.h"

namespace tessaly::sinks {

namespace {

constexpr char16_t kPinName[] = u"In";

std::string PinName(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return std::string();
  if (info.pFilter != nullptr) info.pFilter->Release();
  info.achName[MAX_PIN_NAME - 1] = 0;
  return Utf8FromWide(info.achName);
}

}  // namespace

CRecordingInputPin::~CRecordingInputPin() = default;

HRESULT CRecordingInputPin::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin)) {
    *ppv = static_cast<IPin*>(this);
  } else if (IsEqualIID(riid, IID_IMemInputPin)) {
    *ppv = static_cast<IMemInputPin*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CRecordingInputPin::AddRef() { return m_filter->AddRef(); }

ULONG CRecordingInputPin::Release() { return m_filter->Release(); }

HRESULT CRecordingInputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  // An input pin only receives connections.
  return pReceivePin == nullptr ? E_POINTER : E_UNEXPECTED;
}

HRESULT CRecordingInputPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  if (pConnector == nullptr || pmt == nullptr) return E_POINTER;
  PIN_DIRECTION direction = PINDIR_INPUT;
  if (FAILED(pConnector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  // Asked before the lock: the connector's own lock may be held by its caller.
  std::string peerName = PinName(pConnector);
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  if (m_peer) return VFW_E_ALREADY_CONNECTED;
  if (!m_filter->IsStoppedLocked()) return VFW_E_NOT_STOPPED;
  if (!CSinkMediaType::IsComplete(*pmt)) return VFW_E_TYPE_NOT_ACCEPTED;
  m_type = CSinkMediaType(*pmt);
  m_peer = platform::ComRef<IPin>::Share(pConnector);
  m_peerName = std::move(peerName);
  m_flushing = false;
  return S_OK;
}

HRESULT CRecordingInputPin::Disconnect() {
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  if (!m_filter->IsStoppedLocked()) return VFW_E_NOT_STOPPED;
  if (!m_peer) return S_FALSE;
  m_peer.Reset();
  m_allocator.Reset();
  return S_OK;
}

HRESULT CRecordingInputPin::ConnectedTo(IPin** pPin) {
  if (pPin == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  *pPin = m_peer.Get();
  if (*pPin == nullptr) return VFW_E_NOT_CONNECTED;
  (*pPin)->AddRef();
  return S_OK;
}

HRESULT CRecordingInputPin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (pmt == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  if (!m_peer) {
    std::memset(pmt, 0, sizeof(*pmt));
    return VFW_E_NOT_CONNECTED;
  }
  return m_type.CopyTo(pmt);
}

HRESULT CRecordingInputPin::QueryPinInfo(PIN_INFO* pInfo) {
  if (pInfo == nullptr) return E_POINTER;
  pInfo->pFilter = m_filter;
  m_filter->AddRef();
  pInfo->dir = PINDIR_INPUT;
  static_assert(sizeof(kPinName) <= sizeof(pInfo->achName));
  std::memcpy(pInfo->achName, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT CRecordingInputPin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (pPinDir == nullptr) return E_POINTER;
  *pPinDir = PINDIR_INPUT;
  return S_OK;
}

HRESULT CRecordingInputPin::QueryId(LPWSTR* Id) {
  if (Id == nullptr) return E_POINTER;
  *Id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kPinName)));
  if (*Id == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*Id, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT CRecordingInputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (pmt == nullptr) return E_POINTER;
  return CSinkMediaType::IsComplete(*pmt) ? S_OK : S_FALSE;
}

HRESULT CRecordingInputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  return CEmptyTypeEnumerator::Create(ppEnum);
}

HRESULT CRecordingInputPin::QueryInternalConnections(IPin** apPin, ULONG* nPin) {
  return E_NOTIMPL;
}

HRESULT CRecordingInputPin::EndOfStream() { return m_filter->DeliverEndOfStream(); }

HRESULT CRecordingInputPin::BeginFlush() {
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  m_flushing = true;
  m_filter->ResetEndOfStreamLocked();
  return S_OK;
}

HRESULT CRecordingInputPin::EndFlush() {
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  m_flushing = false;
  return S_OK;
}

HRESULT CRecordingInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  return S_OK;
}

HRESULT CRecordingInputPin::GetAllocator(IMemAllocator** ppAllocator) {
  if (ppAllocator == nullptr) return E_POINTER;
  *ppAllocator = nullptr;
  return VFW_E_NO_ALLOCATOR;
}

HRESULT CRecordingInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) {
  if (pAllocator == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  m_allocator = platform::ComRef<IMemAllocator>::Share(pAllocator);
  return S_OK;
}

HRESULT CRecordingInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) {
  return E_NOTIMPL;
}

HRESULT CRecordingInputPin::Receive(IMediaSample* pSample) {
  if (pSample == nullptr) return E_POINTER;
  return m_filter->DeliverSample(pSample);
}

HRESULT CRecordingInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                            LONG* nSamplesProcessed) {
  if (pSamples == nullptr || nSamplesProcessed == nullptr) return E_POINTER;
  *nSamplesProcessed = 0;
  HRESULT hr = S_OK;
  for (LONG i = 0; i < nSamples; ++i) {
    hr = Receive(pSamples[i]);
    if (hr != S_OK) break;
    ++*nSamplesProcessed;
  }
  return hr;
}

HRESULT CRecordingInputPin::ReceiveCanBlock() { return S_FALSE; }

}  // namespace tessaly::sinks
