#include "position/CCpkSplitterPos.h"

CCpkSplitterPos::CCpkSplitterPos(IUnknown* filterOuter, HRESULT* result, IPin* inputPin,
                                 const CCpkStreamDescription* description)
    : CPositionPassThrough("CCpkSplitterPos", filterOuter, result, inputPin),
      m_description(description) {}

CCpkSplitterPos::~CCpkSplitterPos() = default;

STDMETHODIMP CCpkSplitterPos::get_Duration(REFTIME* length) {
  if (length == nullptr) {
    return E_POINTER;
  }
  // Tick counts are unsigned 32-bit; a file without a time base has no
  // measurable duration rather than an infinite one.
  const DWORD ticks = m_description != nullptr ? m_description->m_videoTicks : 0;
  const DWORD timeBase = m_description != nullptr ? m_description->m_timeBase : 0;
  *length = timeBase == 0 ? 0.0 : static_cast<double>(ticks) / static_cast<double>(timeBase);
  return S_OK;
}

STDMETHODIMP CCpkSplitterPos::CanSeekForward(LONG* canSeek) {
  if (canSeek == nullptr) {
    return E_POINTER;
  }
  *canSeek = OATRUE;
  return S_OK;
}

STDMETHODIMP CCpkSplitterPos::CanSeekBackward(LONG* canSeek) {
  if (canSeek == nullptr) {
    return E_POINTER;
  }
  *canSeek = OATRUE;
  return S_OK;
}
