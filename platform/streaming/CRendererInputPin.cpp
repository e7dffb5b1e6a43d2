#include "CRendererInputPin.h"

#include <cstring>

#include "CEmptyTypeEnumerator.h"
#include "CRenderer.h"
#include "MediaTypeCopy.h"

namespace platform {

namespace {

constexpr char16_t kPinName[] = u"In";

bool IsComplete(const AM_MEDIA_TYPE& type) {
  return type.majortype != GUID_NULL && type.formattype != GUID_NULL;
}

}  // namespace

CRendererInputPin::~CRendererInputPin() { ClearMediaTypeFields(&m_type); }

HRESULT CRendererInputPin::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *ppv = static_cast<IPin*>(this);
  } else if (riid == IID_IMemInputPin) {
    *ppv = static_cast<IMemInputPin*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CRendererInputPin::AddRef() { return m_renderer->AddRef(); }

ULONG CRendererInputPin::Release() { return m_renderer->Release(); }

// An input pin only receives connections.
HRESULT CRendererInputPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE*) {
  return pReceivePin ? E_UNEXPECTED : E_POINTER;
}

HRESULT CRendererInputPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) {
  if (!pConnector || !pmt) return E_POINTER;
  PIN_DIRECTION direction = PINDIR_INPUT;
  if (FAILED(pConnector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  std::lock_guard<std::mutex> guard(m_renderer->Lock());
  if (m_peer) return VFW_E_ALREADY_CONNECTED;
  if (!m_renderer->IsStoppedLocked()) return VFW_E_NOT_STOPPED;
  if (!IsComplete(*pmt)) return VFW_E_TYPE_NOT_ACCEPTED;
  ClearMediaTypeFields(&m_type);
  HRESULT hr = CopyMediaTypeFields(&m_type, *pmt);
  if (FAILED(hr)) return hr;
  m_peer = ComRef<IPin>::Share(pConnector);
  return S_OK;
}

HRESULT CRendererInputPin::Disconnect() {
  std::lock_guard<std::mutex> guard(m_renderer->Lock());
  if (!m_renderer->IsStoppedLocked()) return VFW_E_NOT_STOPPED;
  if (!m_peer) return S_FALSE;
  m_peer.Reset();
  m_allocator.Reset();
  ClearMediaTypeFields(&m_type);
  return S_OK;
}

HRESULT CRendererInputPin::ConnectedTo(IPin** pPin) {
  if (!pPin) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_renderer->Lock());
  *pPin = m_peer.Get();
  if (!*pPin) return VFW_E_NOT_CONNECTED;
  (*pPin)->AddRef();
  return S_OK;
}

HRESULT CRendererInputPin::ConnectionMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_renderer->Lock());
  if (!m_peer) {
    std::memset(pmt, 0, sizeof(*pmt));
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaTypeFields(pmt, m_type);
}

HRESULT CRendererInputPin::QueryPinInfo(PIN_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->pFilter = m_renderer;
  m_renderer->AddRef();
  pInfo->dir = PINDIR_INPUT;
  static_assert(sizeof(kPinName) <= sizeof(pInfo->achName));
  std::memset(pInfo->achName, 0, sizeof(pInfo->achName));
  std::memcpy(pInfo->achName, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT CRendererInputPin::QueryDirection(PIN_DIRECTION* pPinDir) {
  if (!pPinDir) return E_POINTER;
  *pPinDir = PINDIR_INPUT;
  return S_OK;
}

HRESULT CRendererInputPin::QueryId(LPWSTR* Id) {
  if (!Id) return E_POINTER;
  *Id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kPinName)));
  if (!*Id) return E_OUTOFMEMORY;
  std::memcpy(*Id, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT CRendererInputPin::QueryAccept(const AM_MEDIA_TYPE* pmt) {
  if (!pmt) return E_POINTER;
  return IsComplete(*pmt) ? S_OK : S_FALSE;
}

HRESULT CRendererInputPin::EnumMediaTypes(IEnumMediaTypes** ppEnum) {
  return CEmptyTypeEnumerator::Create(ppEnum);
}

HRESULT CRendererInputPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT CRendererInputPin::EndOfStream() { return m_renderer->EndOfStream(); }

HRESULT CRendererInputPin::BeginFlush() { return m_renderer->BeginFlush(); }

HRESULT CRendererInputPin::EndFlush() { return m_renderer->EndFlush(); }

HRESULT CRendererInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT CRendererInputPin::GetAllocator(IMemAllocator** ppAllocator) {
  if (!ppAllocator) return E_POINTER;
  *ppAllocator = nullptr;
  return VFW_E_NO_ALLOCATOR;
}

HRESULT CRendererInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL) {
  if (!pAllocator) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_renderer->Lock());
  m_allocator = ComRef<IMemAllocator>::Share(pAllocator);
  return S_OK;
}

HRESULT CRendererInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CRendererInputPin::Receive(IMediaSample* pSample) {
  if (!pSample) return E_POINTER;
  return m_renderer->Receive(pSample);
}

HRESULT CRendererInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                           LONG* nSamplesProcessed) {
  if (!pSamples || !nSamplesProcessed) return E_POINTER;
  *nSamplesProcessed = 0;
  HRESULT hr = S_OK;
  for (LONG i = 0; i < nSamples; ++i) {
    hr = Receive(pSamples[i]);
    if (hr != S_OK) break;
    ++*nSamplesProcessed;
  }
  return hr;
}

// Receive holds samples while paused and waits for their time while running.
HRESULT CRendererInputPin::ReceiveCanBlock() { return S_OK; }

}  // namespace platform
