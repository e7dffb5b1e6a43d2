#include "sinks/CSinkMediaType.h"

#include <cstring>

namespace tessaly::sinks {

CSinkMediaType::CSinkMediaType(const AM_MEDIA_TYPE& type) : m_type(type) {
  if (type.pbFormat != nullptr && type.cbFormat > 0) {
    m_format.assign(type.pbFormat, type.pbFormat + type.cbFormat);
  }
  m_type.cbFormat = static_cast<ULONG>(m_format.size());
  m_type.pbFormat = nullptr;
  m_type.pUnk = nullptr;
}

bool CSinkMediaType::IsComplete(const AM_MEDIA_TYPE& type) {
  return !IsEqualGUID(type.majortype, GUID_NULL) && !IsEqualGUID(type.formattype, GUID_NULL);
}

HRESULT CSinkMediaType::CopyTo(AM_MEDIA_TYPE* out) const {
  if (out == nullptr) return E_POINTER;
  *out = m_type;
  out->cbFormat = 0;
  if (m_format.empty()) return S_OK;
  out->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(m_format.size()));
  if (out->pbFormat == nullptr) return E_OUTOFMEMORY;
  std::memcpy(out->pbFormat, m_format.data(), m_format.size());
  out->cbFormat = static_cast<ULONG>(m_format.size());
  return S_OK;
}

}  // namespace tessaly::sinks
