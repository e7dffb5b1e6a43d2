#include "runtime/CMemSample.h"

#include <cstddef>
#include <cstring>

#include "com/CInnerUnknown.h"
#include "com/CMediaTypeRecord.h"
#include "runtime/CAllocatorBase.h"

namespace {

// The sample's own bit beside the published AM_SAMPLE_* flags; it never
// crosses GetProperties or SetProperties.
constexpr DWORD kMediaTimeValid = 0x020;

// Every published flag SetProperties accepts.
constexpr DWORD kSettableFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_PREROLL |
                                 AM_SAMPLE_DATADISCONTINUITY | AM_SAMPLE_TYPECHANGED |
                                 AM_SAMPLE_TIMEVALID | AM_SAMPLE_TIMEDISCONTINUITY |
                                 AM_SAMPLE_FLUSH_ON_PAUSE | AM_SAMPLE_STOPVALID;

// A field of AM_SAMPLE2_PROPERTIES is covered by the first n bytes when it
// lies wholly inside them.
#define PROPERTY_END(field) \
  (offsetof(AM_SAMPLE2_PROPERTIES, field) + sizeof(AM_SAMPLE2_PROPERTIES::field))

// Times wrap like the platform's 64-bit registers instead of overflowing.
LONGLONG WrappingAdd(LONGLONG a, LONGLONG b) {
  return static_cast<LONGLONG>(static_cast<ULONGLONG>(a) + static_cast<ULONGLONG>(b));
}

}  // namespace

CMemSample::CMemSample(CAllocatorBase* allocator, BYTE* buffer, LONG length)
    : m_sampleFlags(0),
      m_typeSpecificFlags(0),
      m_buffer(buffer),
      m_actualLength(length),
      m_bufferSize(length),
      m_allocator(allocator),
      m_nextFree(nullptr),
      m_onFreeList(FALSE),
      m_start(0),
      m_stop(0),
      m_mediaStart(0),
      m_mediaEndOffset(0),
      m_mediaType(nullptr),
      m_streamId(0),
      m_referenceCount(0) {}

CMemSample::~CMemSample() { DeleteMediaTypeCopy(m_mediaType); }

STDMETHODIMP CMemSample::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IMediaSample) || IsEqualGUID(riid, IID_IMediaSample2) ||
      IsEqualGUID(riid, IID_IUnknown)) {
    return HandOutInterface(static_cast<IMediaSample2*>(this), ppv);
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMemSample::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_referenceCount));
}

STDMETHODIMP_(ULONG) CMemSample::Release() {
  // At a count of 1 the caller holds the only reference; the exchange keeps
  // that test atomic against AddRef/Release traffic on other references.
  LONG count = 0;
  if (InterlockedCompareExchange(&m_referenceCount, 0, 1) != 1) {
    count = InterlockedDecrement(&m_referenceCount);
  }
  if (count != 0) {
    return static_cast<ULONG>(count);
  }
  DetachMediaType();
  m_sampleFlags = 0;
  m_typeSpecificFlags = 0;
  m_streamId = 0;
  // This call may destroy the allocator and with it this sample: nothing
  // below may touch either.
  static_cast<IMemAllocator*>(m_allocator)->ReleaseBuffer(this);
  return 0;
}

STDMETHODIMP CMemSample::GetPointer(BYTE** ppBuffer) {
  if (ppBuffer == nullptr) {
    return E_POINTER;
  }
  *ppBuffer = m_buffer;
  return S_OK;
}

STDMETHODIMP_(LONG) CMemSample::GetSize() { return m_bufferSize; }

STDMETHODIMP CMemSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  if (pTimeStart == nullptr || pTimeEnd == nullptr) {
    return E_POINTER;
  }
  if ((m_sampleFlags & AM_SAMPLE_STOPVALID) != 0) {
    *pTimeStart = m_start;
    *pTimeEnd = m_stop;
    return S_OK;
  }
  if ((m_sampleFlags & AM_SAMPLE_TIMEVALID) != 0) {
    *pTimeStart = m_start;
    *pTimeEnd = WrappingAdd(m_start, 1);
    return VFW_S_NO_STOP_TIME;
  }
  return VFW_E_SAMPLE_TIME_NOT_SET;
}

STDMETHODIMP CMemSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
  if (pTimeStart == nullptr) {
    m_sampleFlags &= ~static_cast<DWORD>(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
    return S_OK;
  }
  m_start = *pTimeStart;
  m_sampleFlags |= AM_SAMPLE_TIMEVALID;
  if (pTimeEnd == nullptr) {
    m_sampleFlags &= ~static_cast<DWORD>(AM_SAMPLE_STOPVALID);
    return S_OK;
  }
  m_stop = *pTimeEnd;
  m_sampleFlags |= AM_SAMPLE_STOPVALID;
  return S_OK;
}

void CMemSample::AssignFlag(DWORD flag, BOOL value) {
  if (value) {
    m_sampleFlags |= flag;
  } else {
    m_sampleFlags &= ~flag;
  }
}

STDMETHODIMP CMemSample::IsSyncPoint() { return TestFlag(AM_SAMPLE_SPLICEPOINT); }

STDMETHODIMP CMemSample::SetSyncPoint(BOOL bIsSyncPoint) {
  AssignFlag(AM_SAMPLE_SPLICEPOINT, bIsSyncPoint);
  return S_OK;
}

STDMETHODIMP CMemSample::IsPreroll() { return TestFlag(AM_SAMPLE_PREROLL); }

STDMETHODIMP CMemSample::SetPreroll(BOOL bIsPreroll) {
  AssignFlag(AM_SAMPLE_PREROLL, bIsPreroll);
  return S_OK;
}

STDMETHODIMP CMemSample::IsDiscontinuity() { return TestFlag(AM_SAMPLE_DATADISCONTINUITY); }

STDMETHODIMP CMemSample::SetDiscontinuity(BOOL bDiscontinuity) {
  AssignFlag(AM_SAMPLE_DATADISCONTINUITY, bDiscontinuity);
  return S_OK;
}

STDMETHODIMP_(LONG) CMemSample::GetActualDataLength() { return m_actualLength; }

STDMETHODIMP CMemSample::SetActualDataLength(LONG length) {
  if (length > m_bufferSize) {
    return VFW_E_BUFFER_OVERFLOW;
  }
  // A negative length would make a consumer copy a huge unsigned count.
  if (length < 0) {
    return E_INVALIDARG;
  }
  m_actualLength = length;
  return S_OK;
}

STDMETHODIMP CMemSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
  if (ppMediaType == nullptr) {
    return E_POINTER;
  }
  *ppMediaType = nullptr;
  if (m_mediaType == nullptr) {
    return S_FALSE;
  }
  *ppMediaType = NewMediaTypeCopy(m_mediaType);
  return *ppMediaType != nullptr ? S_OK : E_OUTOFMEMORY;
}

void CMemSample::DetachMediaType() {
  DeleteMediaTypeCopy(m_mediaType);
  m_mediaType = nullptr;
  m_sampleFlags &= ~static_cast<DWORD>(AM_SAMPLE_TYPECHANGED);
}

STDMETHODIMP CMemSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
  // Copy before the old type goes: the caller may pass the very type
  // GetProperties handed out.
  AM_MEDIA_TYPE* copy = pMediaType != nullptr ? NewMediaTypeCopy(pMediaType) : nullptr;
  DetachMediaType();
  if (pMediaType == nullptr) {
    return S_OK;
  }
  if (copy == nullptr) {
    return E_OUTOFMEMORY;
  }
  m_mediaType = copy;
  m_sampleFlags |= AM_SAMPLE_TYPECHANGED;
  return S_OK;
}

STDMETHODIMP CMemSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (pTimeStart == nullptr || pTimeEnd == nullptr) {
    return E_POINTER;
  }
  if ((m_sampleFlags & kMediaTimeValid) == 0) {
    return VFW_E_MEDIA_TIME_NOT_SET;
  }
  *pTimeStart = m_mediaStart;
  *pTimeEnd = WrappingAdd(m_mediaStart, m_mediaEndOffset);
  return S_OK;
}

STDMETHODIMP CMemSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
  if (pTimeStart == nullptr) {
    m_sampleFlags &= ~kMediaTimeValid;
    return S_OK;
  }
  if (pTimeEnd == nullptr) {
    return E_POINTER;
  }
  // The end is kept as a 32-bit offset from the start, as the platform does.
  m_mediaStart = *pTimeStart;
  m_mediaEndOffset =
      static_cast<LONG>(static_cast<DWORD>(*pTimeEnd) - static_cast<DWORD>(*pTimeStart));
  m_sampleFlags |= kMediaTimeValid;
  return S_OK;
}

STDMETHODIMP CMemSample::GetProperties(DWORD cbProperties, BYTE* pbProperties) {
  if (cbProperties == 0) {
    return S_OK;
  }
  if (pbProperties == nullptr) {
    return E_POINTER;
  }
  AM_SAMPLE2_PROPERTIES properties;
  std::memset(&properties, 0, sizeof(properties));
  properties.cbData =
      cbProperties < sizeof(properties) ? cbProperties : static_cast<DWORD>(sizeof(properties));
  properties.dwTypeSpecificFlags = m_typeSpecificFlags;
  properties.dwSampleFlags = m_sampleFlags & ~kMediaTimeValid;
  properties.lActual = m_actualLength;
  properties.tStart = m_start;
  properties.tStop = m_stop;
  properties.dwStreamId = m_streamId;
  properties.pMediaType = (m_sampleFlags & AM_SAMPLE_TYPECHANGED) != 0 ? m_mediaType : nullptr;
  properties.pbBuffer = m_buffer;
  properties.cbBuffer = m_bufferSize;
  std::memcpy(pbProperties, &properties, properties.cbData);
  return S_OK;
}

STDMETHODIMP CMemSample::SetProperties(DWORD cbProperties, const BYTE* pbProperties) {
  if (cbProperties < PROPERTY_END(cbData)) {
    return S_OK;
  }
  if (pbProperties == nullptr) {
    return E_POINTER;
  }
  // The caller's bytes need not be aligned for the structure.
  AM_SAMPLE2_PROPERTIES p;
  std::memset(&p, 0, sizeof(p));
  std::memcpy(&p.cbData, pbProperties, sizeof(p.cbData));
  const size_t n = cbProperties < p.cbData ? cbProperties : p.cbData;
  if (n > sizeof(p) || p.cbData > sizeof(p)) {
    return E_INVALIDARG;
  }
  std::memcpy(&p, pbProperties, n);
  p.cbData = static_cast<DWORD>(n);

  const bool flagsCovered = n >= PROPERTY_END(dwSampleFlags);
  const bool typeFlagsCovered = n >= PROPERTY_END(dwTypeSpecificFlags);
  const bool actualCovered = n >= PROPERTY_END(lActual);
  const bool startCovered = n >= PROPERTY_END(tStart);
  const bool stopCovered = n >= PROPERTY_END(tStop);
  const bool streamCovered = n >= PROPERTY_END(dwStreamId);
  const bool typeCovered = n >= PROPERTY_END(pMediaType);
  const bool bufferCovered = n >= PROPERTY_END(pbBuffer);
  const bool sizeCovered = n >= PROPERTY_END(cbBuffer);

  if (flagsCovered) {
    if ((p.dwSampleFlags & ~kSettableFlags) != 0) {
      return E_INVALIDARG;
    }
    if ((p.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0 &&
        (m_sampleFlags & AM_SAMPLE_TIMEVALID) == 0 && !stopCovered) {
      return E_INVALIDARG;
    }
  }
  if (bufferCovered && p.pbBuffer != nullptr && p.pbBuffer != m_buffer) {
    return E_INVALIDARG;
  }
  if (sizeCovered) {
    if (p.cbBuffer != 0 && p.cbBuffer != m_bufferSize) {
      return E_INVALIDARG;
    }
    if (p.cbBuffer < p.lActual) {
      return E_INVALIDARG;
    }
  }
  // A length outside the buffer would send consumers past its end.
  if (actualCovered && (p.lActual < 0 || p.lActual > m_bufferSize)) {
    return E_INVALIDARG;
  }

  const bool attachType =
      typeCovered && flagsCovered && (p.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
  AM_MEDIA_TYPE* newType = nullptr;
  if (attachType) {
    if (p.pMediaType == nullptr) {
      return E_POINTER;
    }
    newType = NewMediaTypeCopy(p.pMediaType);
    if (newType == nullptr) {
      return E_OUTOFMEMORY;
    }
  }

  if (streamCovered) {
    m_streamId = p.dwStreamId;
  }
  if (flagsCovered) {
    m_sampleFlags = p.dwSampleFlags | (m_sampleFlags & kMediaTimeValid);
    m_typeSpecificFlags = p.dwTypeSpecificFlags;
  } else if (typeFlagsCovered) {
    m_typeSpecificFlags = p.dwTypeSpecificFlags;
  }
  if (actualCovered) {
    m_actualLength = p.lActual;
  }
  if (stopCovered) {
    m_stop = p.tStop;
  }
  if (startCovered) {
    m_start = p.tStart;
  }
  if (attachType) {
    DeleteMediaTypeCopy(m_mediaType);
    m_mediaType = newType;
  }
  return S_OK;
}
