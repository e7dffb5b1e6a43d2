#include "CSystemMediaSample.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "CSystemMemAllocator.h"
#include "MediaTypeCopy.h"

namespace platform {

namespace {

constexpr DWORD kTimeFlags = AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
// A caller of SetProperties must at least reach the media type; the buffer
// fields after it are read-only and optional.
constexpr DWORD kMinimumPropertySize = offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer);

}  // namespace

CSystemMediaSample::CSystemMediaSample(CSystemMemAllocator* allocator, BYTE* buffer, LONG size)
    : m_allocator(allocator), m_buffer(buffer), m_size(size), m_actual(size) {}

CSystemMediaSample::~CSystemMediaSample() { FreeMediaType(m_mediaType); }

HRESULT CSystemMediaSample::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IMediaSample || riid == IID_IMediaSample2) {
    *ppv = static_cast<IMediaSample2*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CSystemMediaSample::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CSystemMediaSample::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  // The return may drop the allocator's last count and with it this sample.
  if (left == 0) m_allocator->ReturnSample(this);
  return left;
}

HRESULT CSystemMediaSample::GetPointer(BYTE** ppBuffer) {
  if (!ppBuffer) return E_POINTER;
  *ppBuffer = m_buffer;
  return S_OK;
}

LONG CSystemMediaSample::GetSize() { return m_size; }

HRESULT CSystemMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  if (!pTimeStart || !pTimeEnd) return E_POINTER;
  if (!(m_flags & AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
  *pTimeStart = m_start;
  if (!(m_flags & AM_SAMPLE_STOPVALID)) {
    *pTimeEnd = m_start + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *pTimeEnd = m_stop;
  return S_OK;
}

HRESULT CSystemMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  m_flags &= ~kTimeFlags;
  if (!pTimeStart) return S_OK;
  m_start = *pTimeStart;
  m_flags |= AM_SAMPLE_TIMEVALID;
  if (pTimeEnd) {
    m_stop = *pTimeEnd;
    m_flags |= AM_SAMPLE_STOPVALID;
  }
  return S_OK;
}

void CSystemMediaSample::SetFlag(DWORD flag, BOOL on) {
  if (on) {
    m_flags |= flag;
  } else {
    m_flags &= ~flag;
  }
}

HRESULT CSystemMediaSample::IsSyncPoint() {
  return (m_flags & AM_SAMPLE_SPLICEPOINT) ? S_OK : S_FALSE;
}

HRESULT CSystemMediaSample::SetSyncPoint(BOOL bIsSyncPoint) {
  SetFlag(AM_SAMPLE_SPLICEPOINT, bIsSyncPoint);
  return S_OK;
}

HRESULT CSystemMediaSample::IsPreroll() { return (m_flags & AM_SAMPLE_PREROLL) ? S_OK : S_FALSE; }

HRESULT CSystemMediaSample::SetPreroll(BOOL bIsPreroll) {
  SetFlag(AM_SAMPLE_PREROLL, bIsPreroll);
  return S_OK;
}

LONG CSystemMediaSample::GetActualDataLength() { return m_actual; }

HRESULT CSystemMediaSample::SetActualDataLength(LONG length) {
  if (length < 0) return E_INVALIDARG;
  if (length > m_size) return VFW_E_BUFFER_OVERFLOW;
  m_actual = length;
  return S_OK;
}

HRESULT CSystemMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
  if (!ppMediaType) return E_POINTER;
  *ppMediaType = nullptr;
  if (!m_mediaType) return S_FALSE;
  return DuplicateMediaType(*m_mediaType, ppMediaType);
}

HRESULT CSystemMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
  if (!pMediaType) {
    FreeMediaType(m_mediaType);
    m_mediaType = nullptr;
    m_flags &= ~AM_SAMPLE_TYPECHANGED;
    return S_OK;
  }
  AM_MEDIA_TYPE* copy = nullptr;
  HRESULT hr = DuplicateMediaType(*pMediaType, &copy);
  if (FAILED(hr)) return hr;
  FreeMediaType(m_mediaType);
  m_mediaType = copy;
  m_flags |= AM_SAMPLE_TYPECHANGED;
  return S_OK;
}

HRESULT CSystemMediaSample::IsDiscontinuity() {
  return (m_flags & AM_SAMPLE_DATADISCONTINUITY) ? S_OK : S_FALSE;
}

HRESULT CSystemMediaSample::SetDiscontinuity(BOOL bDiscontinuity) {
  SetFlag(AM_SAMPLE_DATADISCONTINUITY, bDiscontinuity);
  return S_OK;
}

HRESULT CSystemMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (!pTimeStart || !pTimeEnd) return E_POINTER;
  if (!m_mediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
  *pTimeStart = m_mediaStart;
  *pTimeEnd = m_mediaStop;
  return S_OK;
}

HRESULT CSystemMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (!pTimeStart) {
    m_mediaTimeValid = false;
    return S_OK;
  }
  if (!pTimeEnd) return E_POINTER;
  m_mediaStart = *pTimeStart;
  m_mediaStop = *pTimeEnd;
  m_mediaTimeValid = true;
  return S_OK;
}

HRESULT CSystemMediaSample::GetProperties(DWORD cbProperties, BYTE* pbProperties) {
  if (cbProperties == 0) return S_OK;
  if (!pbProperties) return E_POINTER;
  AM_SAMPLE2_PROPERTIES props{};
  props.cbData = std::min<DWORD>(cbProperties, sizeof(props));
  props.dwTypeSpecificFlags = m_typeSpecificFlags;
  props.dwSampleFlags = m_flags;
  props.lActual = m_actual;
  props.tStart = m_start;
  props.tStop = m_stop;
  props.dwStreamId = m_streamId;
  props.pMediaType = m_mediaType;
  props.pbBuffer = m_buffer;
  props.cbBuffer = m_size;
  std::memcpy(pbProperties, &props, props.cbData);
  return S_OK;
}

HRESULT CSystemMediaSample::SetProperties(DWORD cbProperties, const BYTE* pbProperties) {
  if (!pbProperties) return E_POINTER;
  if (cbProperties < kMinimumPropertySize || cbProperties > sizeof(AM_SAMPLE2_PROPERTIES)) {
    return E_INVALIDARG;
  }
  AM_SAMPLE2_PROPERTIES props{};
  std::memcpy(&props, pbProperties, cbProperties);
  if (props.cbData != cbProperties) return E_INVALIDARG;
  if (cbProperties > offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer) && props.pbBuffer != m_buffer) {
    return E_INVALIDARG;
  }
  if (cbProperties > offsetof(AM_SAMPLE2_PROPERTIES, cbBuffer) && props.cbBuffer != m_size) {
    return E_INVALIDARG;
  }
  if (props.lActual < 0) return E_INVALIDARG;
  if (props.lActual > m_size) return VFW_E_BUFFER_OVERFLOW;
  bool typeChanged = (props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
  if (typeChanged && !props.pMediaType) return E_INVALIDARG;

  // Everything is checked before the first change, so a refusal changes nothing.
  if (typeChanged && props.pMediaType != m_mediaType) {
    AM_MEDIA_TYPE* copy = nullptr;
    HRESULT hr = DuplicateMediaType(*props.pMediaType, &copy);
    if (FAILED(hr)) return hr;
    FreeMediaType(m_mediaType);
    m_mediaType = copy;
  } else if (!typeChanged) {
    FreeMediaType(m_mediaType);
    m_mediaType = nullptr;
  }
  m_typeSpecificFlags = props.dwTypeSpecificFlags;
  m_flags = props.dwSampleFlags;
  m_actual = props.lActual;
  m_start = props.tStart;
  m_stop = props.tStop;
  m_streamId = props.dwStreamId;
  return S_OK;
}

void CSystemMediaSample::HandOut() { m_refs.store(1, std::memory_order_relaxed); }

void CSystemMediaSample::ClearProperties() {
  m_refs.store(0, std::memory_order_relaxed);
  m_flags = 0;
  m_typeSpecificFlags = 0;
  m_streamId = AM_STREAM_MEDIA;
  m_actual = m_size;
  m_start = 0;
  m_stop = 0;
  m_mediaTimeValid = false;
  m_mediaStart = 0;
  m_mediaStop = 0;
  FreeMediaType(m_mediaType);
  m_mediaType = nullptr;
}

}  // namespace platform
