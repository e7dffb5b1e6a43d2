#include "sinks/CSinkMediaType.h"

#include <algorithm>
#include <cstddef>
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

std::optional<WAVEFORMATEX> CSinkMediaType::WaveFormat() const {
  constexpr size_t kPcmFormatBytes = offsetof(WAVEFORMATEX, cbSize);
  if (!IsEqualGUID(m_type.formattype, FORMAT_WaveFormatEx) || m_format.size() < kPcmFormatBytes) {
    return std::nullopt;
  }
  WAVEFORMATEX wave{};
  std::memcpy(&wave, m_format.data(), std::min(sizeof(wave), m_format.size()));
  if (m_format.size() < sizeof(wave)) wave.cbSize = 0;
  return wave;
}

std::optional<VIDEOINFOHEADER> CSinkMediaType::VideoInfo() const {
  if (!IsEqualGUID(m_type.formattype, FORMAT_VideoInfo) ||
      m_format.size() < sizeof(VIDEOINFOHEADER)) {
    return std::nullopt;
  }
  VIDEOINFOHEADER info;
  std::memcpy(&info, m_format.data(), sizeof(info));
  return info;
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
