#include "CRecordingPin.h"

#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>
#include <new>

#include "CRecordingSink.h"
#include "CScopedLock.h"
#include "SinkEnumerators.h"

namespace {

const WCHAR kPinName[] = L"In";

// Copies a media type with its own format block in task memory.
HRESULT CopyType(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE* to) {
  *to = from;
  to->pbFormat = nullptr;
  to->cbFormat = 0;
  if (from.cbFormat != 0 && from.pbFormat != nullptr) {
    to->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
    if (to->pbFormat == nullptr) {
      to->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(to->pbFormat, from.pbFormat, from.cbFormat);
    to->cbFormat = from.cbFormat;
  }
  if (to->pUnk != nullptr) {
    to->pUnk->AddRef();
  }
  return S_OK;
}

}  // namespace

CRecordingPin::CRecordingPin(CRecordingSink* owner) : m_owner(owner) {}

CRecordingPin::~CRecordingPin() {
  if (m_peer != nullptr) {
    m_peer->Release();
  }
  if (m_allocator != nullptr) {
    m_allocator->Release();
  }
  FreeType();
}

void CRecordingPin::FreeType() {
  if (m_type.pbFormat != nullptr) {
    CoTaskMemFree(m_type.pbFormat);
  }
  if (m_type.pUnk != nullptr) {
    m_type.pUnk->Release();
  }
  m_type = AM_MEDIA_TYPE{};
}

HRESULT STDMETHODCALLTYPE CRecordingPin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPin)) {
    *out = static_cast<IPin*>(this);
  } else if (IsEqualIID(iid, IID_IMemInputPin)) {
    *out = static_cast<IMemInputPin*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CRecordingPin::AddRef() { return m_owner->AddRef(); }

ULONG STDMETHODCALLTYPE CRecordingPin::Release() { return m_owner->Release(); }

HRESULT STDMETHODCALLTYPE CRecordingPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::ReceiveConnection(IPin* connector,
                                                           const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) {
    return E_POINTER;
  }
  CScopedLock lock(m_owner->Lock());
  if (m_peer != nullptr) {
    return VFW_E_ALREADY_CONNECTED;
  }
  if (m_owner->State() != State_Stopped) {
    return VFW_E_NOT_STOPPED;
  }
  PIN_DIRECTION direction;
  if (FAILED(connector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  if (QueryAccept(type) != S_OK) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT hr = CopyType(*type, &m_type);
  if (FAILED(hr)) {
    m_type = AM_MEDIA_TYPE{};
    return hr;
  }
  m_peer = connector;
  m_peer->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::Disconnect() {
  CScopedLock lock(m_owner->Lock());
  if (m_owner->State() != State_Stopped) {
    return VFW_E_NOT_STOPPED;
  }
  if (m_peer == nullptr) {
    return S_FALSE;
  }
  m_peer->Release();
  m_peer = nullptr;
  if (m_allocator != nullptr) {
    m_allocator->Release();
    m_allocator = nullptr;
  }
  FreeType();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) {
    return E_POINTER;
  }
  CScopedLock lock(m_owner->Lock());
  *pin = m_peer;
  if (m_peer == nullptr) {
    return VFW_E_NOT_CONNECTED;
  }
  m_peer->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  CScopedLock lock(m_owner->Lock());
  if (m_peer == nullptr) {
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyType(m_type, type);
}

HRESULT STDMETHODCALLTYPE CRecordingPin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  info->pFilter = static_cast<IBaseFilter*>(m_owner);
  info->pFilter->AddRef();
  info->dir = PINDIR_INPUT;
  lstrcpynW(info->achName, kPinName, MAX_PIN_NAME);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) {
    return E_POINTER;
  }
  *direction = PINDIR_INPUT;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::QueryId(LPWSTR* id) {
  if (id == nullptr) {
    return E_POINTER;
  }
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kPinName)));
  if (*id == nullptr) {
    return E_OUTOFMEMORY;
  }
  std::memcpy(*id, kPinName, sizeof(kPinName));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  if (!IsEqualGUID(m_acceptedMajor, GUID_NULL) && !IsEqualGUID(type->majortype, m_acceptedMajor)) {
    return S_FALSE;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::EnumMediaTypes(IEnumMediaTypes** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = new (std::nothrow) CEmptyMediaTypeEnum();
  return *enumerator == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::QueryInternalConnections(IPin** pins, ULONG* count) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::EndOfStream() {
  {
    CScopedLock lock(m_owner->Lock());
    ++m_endOfStream;
  }
  m_owner->OnEndOfStream();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::BeginFlush() {
  {
    CScopedLock lock(m_owner->Lock());
    m_flushing = true;
  }
  if (m_owner->Gate() != nullptr) {
    m_owner->Gate()->Open();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::EndFlush() {
  EndFlushing();
  return S_OK;
}

void CRecordingPin::EndFlushing() {
  CScopedLock lock(m_owner->Lock());
  m_flushing = false;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                    double rate) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) {
    return E_POINTER;
  }
  *allocator = nullptr;
  if (!m_offerAllocator) {
    return VFW_E_NO_ALLOCATOR;
  }
  CScopedLock lock(m_owner->Lock());
  if (m_allocator == nullptr) {
    HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IMemAllocator, reinterpret_cast<void**>(&m_allocator));
    if (FAILED(hr)) {
      m_allocator = nullptr;
      return hr;
    }
  }
  *allocator = m_allocator;
  m_allocator->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (allocator == nullptr) {
    return E_POINTER;
  }
  CScopedLock lock(m_owner->Lock());
  allocator->AddRef();
  if (m_allocator != nullptr) {
    m_allocator->Release();
  }
  m_allocator = allocator;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE
CRecordingPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  if (!m_askForRequirements) {
    return E_NOTIMPL;
  }
  if (properties == nullptr) {
    return E_POINTER;
  }
  properties->cBuffers = 4;
  properties->cbBuffer = 1024;
  properties->cbAlign = 1;
  properties->cbPrefix = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) {
    return E_POINTER;
  }
  {
    CScopedLock lock(m_owner->Lock());
    if (m_flushing) {
      return S_FALSE;
    }
    if (m_owner->State() == State_Stopped) {
      return VFW_E_WRONG_STATE;
    }
  }
  if (m_owner->Gate() != nullptr && !m_owner->Gate()->Pass()) {
    return VFW_E_WRONG_STATE;
  }

  RecordedSample record;
  record.timeResult = sample->GetTime(&record.start, &record.stop);
  record.mediaTimeResult = sample->GetMediaTime(&record.mediaStart, &record.mediaStop);
  record.syncResult = sample->IsSyncPoint();
  record.discontinuityResult = sample->IsDiscontinuity();
  record.length = sample->GetActualDataLength();
  BYTE* data = nullptr;
  if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && record.length > 0 &&
      record.length <= sample->GetSize()) {
    record.bytes.assign(data, data + record.length);
  }

  CScopedLock lock(m_owner->Lock());
  m_samples.push_back(std::move(record));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::ReceiveMultiple(IMediaSample** samples, LONG count,
                                                         LONG* processed) {
  if (samples == nullptr || processed == nullptr) {
    return E_POINTER;
  }
  *processed = 0;
  HRESULT hr = S_OK;
  while (*processed < count) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) {
      break;
    }
    ++*processed;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE CRecordingPin::ReceiveCanBlock() { return S_OK; }

std::vector<RecordedSample> CRecordingPin::Samples() {
  CScopedLock lock(m_owner->Lock());
  return m_samples;
}

int CRecordingPin::EndOfStreamCount() {
  CScopedLock lock(m_owner->Lock());
  return m_endOfStream;
}

void CRecordingPin::ClearRecords() {
  CScopedLock lock(m_owner->Lock());
  m_samples.clear();
  m_endOfStream = 0;
}

IMemAllocator* CRecordingPin::Allocator() {
  CScopedLock lock(m_owner->Lock());
  if (m_allocator != nullptr) {
    m_allocator->AddRef();
  }
  return m_allocator;
}
