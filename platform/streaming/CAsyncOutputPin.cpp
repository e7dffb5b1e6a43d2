#include "CAsyncOutputPin.h"

#include <cstring>

#include "CAsyncFileSource.h"
#include "CSourceTypeEnumerator.h"
#include "MediaTypeCopy.h"

namespace platform {

namespace {

constexpr WCHAR kPinName[] = u"Output";

// A partial type from the caller: GUID_NULL leaves that field open.
bool MatchesOffered(const AM_MEDIA_TYPE& asked, const AM_MEDIA_TYPE& offered) {
  auto open = [](REFGUID asked, REFGUID offered) { return asked == GUID_NULL || asked == offered; };
  return open(asked.majortype, offered.majortype) && open(asked.subtype, offered.subtype) &&
         open(asked.formattype, offered.formattype);
}

}  // namespace

CAsyncOutputPin::CAsyncOutputPin(CAsyncFileSource* filter)
    : m_filter(filter), m_reader(static_cast<IPin*>(this)) {}

CAsyncOutputPin::~CAsyncOutputPin() {
  if (m_peer) m_peer->Release();
  ClearMediaTypeFields(&m_connectionType);
}

HRESULT CAsyncOutputPin::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *ppv = static_cast<IPin*>(this);
  } else if (riid == IID_IAsyncReader) {
    *ppv = static_cast<IAsyncReader*>(&m_reader);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CAsyncOutputPin::AddRef() { return m_filter->AddRef(); }

ULONG CAsyncOutputPin::Release() { return m_filter->Release(); }

HRESULT CAsyncOutputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) {
  if (!pReceivePin) return E_POINTER;
  AM_MEDIA_TYPE offered{};
  {
    std::lock_guard<std::mutex> guard(m_filter->Lock());
    if (IsConnectedLocked()) return VFW_E_ALREADY_CONNECTED;
    if (!m_filter->IsStoppedLocked()) return VFW_E_NOT_STOPPED;
    const AM_MEDIA_TYPE& ours = m_filter->OutputTypeLocked();
    if (pmt && !MatchesOffered(*pmt, ours)) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = CopyMediaTypeFields(&offered, ours);
    if (FAILED(hr)) return hr;
    m_connecting = true;
  }
  PIN_DIRECTION direction = PINDIR_INPUT;
  HRESULT hr = pReceivePin->QueryDirection(&direction);
  if (SUCCEEDED(hr) && direction != PINDIR_INPUT) hr = VFW_E_INVALID_DIRECTION;
  if (SUCCEEDED(hr)) hr = pReceivePin->ReceiveConnection(this, &offered);

  std::lock_guard<std::mutex> guard(m_filter->Lock());
  m_connecting = false;
  if (FAILED(hr)) {
    ClearMediaTypeFields(&offered);
    return hr;
  }
  pReceivePin->AddRef();
  m_peer = pReceivePin;
  m_connectionType = offered;
  return S_OK;
}

HRESULT CAsyncOutputPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  if (!pConnector || !pmt) return E_POINTER;
  return VFW_E_INVALID_DIRECTION;
}

HRESULT CAsyncOutputPin::Disconnect() {
  IPin* peer = nullptr;
  {
    std::lock_guard<std::mutex> guard(m_filter->Lock());
    if (!m_filter->IsStoppedLocked()) return VFW_E_NOT_STOPPED;
    if (!m_peer) return S_FALSE;
    peer = m_peer;
    m_peer = nullptr;
    ClearMediaTypeFields(&m_connectionType);
    std::memset(&m_connectionType, 0, sizeof(m_connectionType));
  }
  peer->Release();
  return S_OK;
}

HRESULT CAsyncOutputPin::ConnectedTo(IPin** pPin) {
  if (!pPin) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  *pPin = m_peer;
  if (!m_peer) return VFW_E_NOT_CONNECTED;
  m_peer->AddRef();
  return S_OK;
}

HRESULT CAsyncOutputPin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  if (!m_peer) {
    std::memset(pmt, 0, sizeof(*pmt));
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaTypeFields(pmt, m_connectionType);
}

HRESULT CAsyncOutputPin::QueryPinInfo(PIN_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->pFilter = static_cast<IBaseFilter*>(m_filter);
  pInfo->pFilter->AddRef();
  pInfo->dir = PINDIR_OUTPUT;
  static_assert(sizeof(kPinName) <= sizeof(pInfo->achName));
  std::memcpy(pInfo->achName, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT CAsyncOutputPin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (!pPinDir) return E_POINTER;
  *pPinDir = PINDIR_OUTPUT;
  return S_OK;
}

HRESULT CAsyncOutputPin::QueryId(LPWSTR* Id) {
  if (!Id) return E_POINTER;
  *Id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kPinName)));
  if (!*Id) return E_OUTOFMEMORY;
  std::memcpy(*Id, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT CAsyncOutputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  const AM_MEDIA_TYPE& ours = m_filter->OutputTypeLocked();
  return pmt->majortype == ours.majortype && pmt->subtype == ours.subtype ? S_OK : S_FALSE;
}

HRESULT CAsyncOutputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_filter->Lock());
  return CSourceTypeEnumerator::Create(m_filter->OutputTypeLocked(), ppEnum);
}

HRESULT CAsyncOutputPin::QueryInternalConnections(IPin** apPin, ULONG* nPin) {
  (void)apPin;
  (void)nPin;
  return E_NOTIMPL;
}

HRESULT CAsyncOutputPin::EndOfStream() { return E_UNEXPECTED; }

HRESULT CAsyncOutputPin::BeginFlush() { return E_UNEXPECTED; }

HRESULT CAsyncOutputPin::EndFlush() { return E_UNEXPECTED; }

HRESULT CAsyncOutputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
  (void)tStart;
  (void)tStop;
  (void)dRate;
  return S_OK;
}

}  // namespace platform
