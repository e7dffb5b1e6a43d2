#include "framework/CPinBase.h"

#include <new>

#include "com/WideString.h"
#include "framework/CFilterBase.h"
#include "framework/CMediaTypeEnumerator.h"
#include "runtime/CAutoLock.h"

namespace {

const REFERENCE_TIME kMaxReferenceTime = 0x7FFFFFFFFFFFFFFFLL;

// A type is refused in many ways; these say only "not this type".
bool IsPlainRefusal(HRESULT hr) {
  return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

// An error worth reporting over "no acceptable types": it says why.
bool IsSpecificFailure(HRESULT hr) {
  return FAILED(hr) && !IsPlainRefusal(hr) && hr != VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT AsTypeRefusal(HRESULT hr) {
  if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return hr;
}

const CMediaTypeRecord* AsRecord(const AM_MEDIA_TYPE* type) {
  return static_cast<const CMediaTypeRecord*>(type);
}

}  // namespace

CPinBase::CPinBase(const char* objectName, CFilterBase* owner, CRITICAL_SECTION* lock,
                   HRESULT* result, LPCWSTR pinName, PIN_DIRECTION direction)
    : CInnerUnknown(objectName, nullptr),
      m_pinName(nullptr),
      m_direction(direction),
      m_lock(lock),
      m_runtimeError(FALSE),
      m_owner(owner),
      m_qualitySink(nullptr),
      m_typeVersion(1),
      m_segmentStart(0),
      m_segmentStop(kMaxReferenceTime),
      m_segmentRate(1.0) {
  if (pinName != nullptr) {
    m_pinName = new (std::nothrow) WCHAR[WideLength(pinName) + 1];
    WideCopy(m_pinName, pinName);
  }
}

CPinBase::~CPinBase() {
  delete[] m_pinName;
  // A pin left connected by a careless owner still gives its peer back.
  m_peer.Reset();
}

HRESULT CPinBase::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IPin)) {
    return HandOutInterface(static_cast<IPin*>(this), ppv);
  }
  if (IsEqualGUID(riid, IID_IQualityControl)) {
    return HandOutInterface(static_cast<IQualityControl*>(this), ppv);
  }
  return CInnerUnknown::InnerQueryInterface(riid, ppv);
}

ULONG CPinBase::InnerAddRef() {
  if (m_owner == nullptr) {
    return 1;
  }
  return m_owner->BaseFilter()->AddRef();
}

ULONG CPinBase::InnerRelease() {
  if (m_owner == nullptr) {
    return 1;
  }
  return m_owner->BaseFilter()->Release();
}

LONG CPinBase::TypeVersion() { return m_typeVersion; }

HRESULT CPinBase::Activate() { return S_OK; }

HRESULT CPinBase::RunAt(REFERENCE_TIME start) { return S_OK; }

HRESULT CPinBase::AdoptMediaType(const CMediaTypeRecord* type) {
  m_connectionType = *type;
  return S_OK;
}

HRESULT CPinBase::PreparePeer(IPin* other) {
  PIN_DIRECTION otherDirection = m_direction;
  other->QueryDirection(&otherDirection);
  return otherDirection == m_direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CPinBase::ReleasePeer() { return S_OK; }

HRESULT CPinBase::OfferedMediaType(int index, CMediaTypeRecord* out) { return E_UNEXPECTED; }

bool CPinBase::OwnerIsStopped() const {
  return m_owner != nullptr && m_owner->State() == State_Stopped;
}

CRITICAL_SECTION* CPinBase::OwnerStateLock() const {
  return m_owner != nullptr ? m_owner->StateLock() : nullptr;
}

STDMETHODIMP CPinBase::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
  if (receiver == nullptr) {
    return E_POINTER;
  }
  // A state change in progress may be committing the allocator or starting
  // threads that use the peer: a connection change racing it is refused,
  // never waited for, as the platform's own filters refuse it.
  CTryLock state(OwnerStateLock());
  if (!state.Held()) {
    return VFW_E_NOT_STOPPED;
  }
  CAutoLock lock(m_lock);
  if (m_peer) {
    return VFW_E_ALREADY_CONNECTED;
  }
  if (!OwnerIsStopped()) {
    return VFW_E_NOT_STOPPED;
  }
  HRESULT hr = NegotiateMediaType(receiver, AsRecord(type));
  if (FAILED(hr)) {
    ReleasePeer();
    return hr;
  }
  return S_OK;
}

HRESULT CPinBase::NegotiateMediaType(IPin* receiver, const CMediaTypeRecord* type) {
  if (type != nullptr && !type->IsPattern()) {
    return TryConnectWith(receiver, type);
  }
  // The first specific failure is reported, whichever list it came from.
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;

  CComHolder<IEnumMediaTypes> receiverTypes;
  if (SUCCEEDED(receiver->EnumMediaTypes(receiverTypes.ReleaseAndGetAddressOf())) &&
      receiverTypes) {
    HRESULT hr = TryTypeList(receiver, type, receiverTypes.Get());
    receiverTypes.Reset();
    if (SUCCEEDED(hr)) {
      return S_OK;
    }
    if (IsSpecificFailure(hr)) {
      failure = hr;
    }
  }

  CComHolder<IEnumMediaTypes> ownTypes;
  if (FAILED(static_cast<IPin*>(this)->EnumMediaTypes(ownTypes.ReleaseAndGetAddressOf())) ||
      !ownTypes) {
    return failure;
  }
  HRESULT hr = TryTypeList(receiver, type, ownTypes.Get());
  if (SUCCEEDED(hr)) {
    return S_OK;
  }
  if (IsSpecificFailure(hr) && failure == VFW_E_NO_ACCEPTABLE_TYPES) {
    failure = hr;
  }
  return failure;
}

HRESULT CPinBase::TryTypeList(IPin* receiver, const CMediaTypeRecord* pattern,
                              IEnumMediaTypes* enumerator) {
  HRESULT hr = enumerator->Reset();
  if (FAILED(hr)) {
    return hr;
  }
  HRESULT recorded = S_OK;
  for (;;) {
    AM_MEDIA_TYPE* candidate = nullptr;
    ULONG fetched = 0;
    if (enumerator->Next(1, &candidate, &fetched) != S_OK || candidate == nullptr) {
      DeleteMediaTypeCopy(candidate);
      break;
    }
    HRESULT attempt = VFW_E_NO_ACCEPTABLE_TYPES;
    if (pattern == nullptr || AsRecord(candidate)->MatchesPattern(pattern)) {
      attempt = TryConnectWith(receiver, AsRecord(candidate));
      if (FAILED(attempt) && recorded == S_OK && !IsPlainRefusal(attempt)) {
        recorded = attempt;
      }
    }
    DeleteMediaTypeCopy(candidate);
    // Any success leaves the pin connected; trying another type on top of
    // it would overwrite the peer.
    if (SUCCEEDED(attempt)) {
      return S_OK;
    }
  }
  return recorded != S_OK ? recorded : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CPinBase::TryConnectWith(IPin* receiver, const CMediaTypeRecord* type) {
  HRESULT hr = PreparePeer(receiver);
  if (FAILED(hr)) {
    ReleasePeer();
    return hr;
  }
  hr = TestMediaType(type);
  if (hr != S_OK) {
    hr = AsTypeRefusal(hr);
  } else {
    m_peer = receiver;
    AdoptMediaType(type);
    hr = receiver->ReceiveConnection(static_cast<IPin*>(this), type);
    if (SUCCEEDED(hr)) {
      hr = FinishConnection(receiver);
      if (SUCCEEDED(hr)) {
        return hr;
      }
      receiver->Disconnect();
    }
  }
  ReleasePeer();
  m_peer.Reset();
  return hr;
}

STDMETHODIMP CPinBase::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) {
    return E_POINTER;
  }
  CTryLock state(OwnerStateLock());
  if (!state.Held()) {
    return VFW_E_NOT_STOPPED;
  }
  CAutoLock lock(m_lock);
  if (m_peer) {
    return VFW_E_ALREADY_CONNECTED;
  }
  if (!OwnerIsStopped()) {
    return VFW_E_NOT_STOPPED;
  }
  HRESULT hr = PreparePeer(connector);
  if (FAILED(hr)) {
    ReleasePeer();
    return hr;
  }
  hr = TestMediaType(AsRecord(type));
  if (hr != S_OK) {
    ReleasePeer();
    return AsTypeRefusal(hr);
  }
  m_peer = connector;
  AdoptMediaType(AsRecord(type));
  hr = FinishConnection(connector);
  if (FAILED(hr)) {
    m_peer.Reset();
    ReleasePeer();
    return hr;
  }
  return S_OK;
}

STDMETHODIMP CPinBase::Disconnect() {
  CTryLock state(OwnerStateLock());
  if (!state.Held()) {
    return VFW_E_NOT_STOPPED;
  }
  CAutoLock lock(m_lock);
  if (!OwnerIsStopped()) {
    return VFW_E_NOT_STOPPED;
  }
  if (!m_peer) {
    return S_FALSE;
  }
  ReleasePeer();
  m_peer.Reset();
  return S_OK;
}

STDMETHODIMP CPinBase::ConnectedTo(IPin** pin) {
  if (pin == nullptr) {
    return E_POINTER;
  }
  // Disconnect on another thread may release the peer meanwhile.
  CAutoLock lock(m_lock);
  m_peer.CopyTo(pin);
  return *pin != nullptr ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP CPinBase::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  CAutoLock lock(m_lock);
  if (!m_peer) {
    ResetMediaType(*type);
    return VFW_E_NOT_CONNECTED;
  }
  CopyMediaTypeContents(type, &m_connectionType);
  return S_OK;
}

STDMETHODIMP CPinBase::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  info->pFilter = nullptr;
  if (m_owner != nullptr) {
    info->pFilter = m_owner->BaseFilter();
    info->pFilter->AddRef();
  }
  // Bounded: a name longer than the field is cut, never written past it.
  WideCopyBounded(info->achName, m_pinName, MAX_PIN_NAME);
  info->dir = m_direction;
  return S_OK;
}

STDMETHODIMP CPinBase::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) {
    return E_POINTER;
  }
  *direction = m_direction;
  return S_OK;
}

STDMETHODIMP CPinBase::QueryId(LPWSTR* id) {
  // A pin without a name answers the empty string, which FindPin matches.
  return WideDuplicate(m_pinName, id);
}

STDMETHODIMP CPinBase::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  HRESULT hr = TestMediaType(AsRecord(type));
  return FAILED(hr) ? S_FALSE : hr;
}

STDMETHODIMP CPinBase::EnumMediaTypes(IEnumMediaTypes** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = new (std::nothrow) CMediaTypeEnumerator(this, nullptr);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CPinBase::QueryInternalConnections(IPin** pins, ULONG* count) { return E_NOTIMPL; }

STDMETHODIMP CPinBase::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  m_segmentStart = start;
  m_segmentStop = stop;
  m_segmentRate = rate;
  return S_OK;
}

STDMETHODIMP CPinBase::SetSink(IQualityControl* sink) {
  CAutoLock lock(m_lock);
  m_qualitySink = sink;
  return S_OK;
}
