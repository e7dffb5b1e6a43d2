#include "position/CPinSeeking.h"

#include "position/CMovieSeeking.h"

CPinSeeking::CPinSeeking(IPin* pin, CMovieSeeking* movie, int stream)
    : m_pin(pin), m_movie(movie), m_stream(stream) {}

STDMETHODIMP CPinSeeking::QueryInterface(REFIID riid, void** ppv) {
  return m_pin->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CPinSeeking::AddRef() { return m_pin->AddRef(); }

STDMETHODIMP_(ULONG) CPinSeeking::Release() { return m_pin->Release(); }

BOOL CPinSeeking::IsMediaTime(const GUID* format) {
  return format == nullptr || IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? TRUE : FALSE;
}

STDMETHODIMP CPinSeeking::GetCapabilities(DWORD* capabilities) {
  if (capabilities == nullptr) {
    return E_POINTER;
  }
  *capabilities = kCapabilities;
  return S_OK;
}

STDMETHODIMP CPinSeeking::CheckCapabilities(DWORD* capabilities) {
  if (capabilities == nullptr) {
    return E_POINTER;
  }
  const DWORD asked = *capabilities;
  *capabilities = asked & kCapabilities;
  if (*capabilities == asked) {
    return S_OK;
  }
  return *capabilities != 0 ? S_FALSE : E_FAIL;
}

STDMETHODIMP CPinSeeking::IsFormatSupported(const GUID* format) {
  if (format == nullptr) {
    return E_POINTER;
  }
  return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
}

STDMETHODIMP CPinSeeking::QueryPreferredFormat(GUID* format) { return GetTimeFormat(format); }

STDMETHODIMP CPinSeeking::GetTimeFormat(GUID* format) {
  if (format == nullptr) {
    return E_POINTER;
  }
  *format = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}

STDMETHODIMP CPinSeeking::IsUsingTimeFormat(const GUID* format) {
  if (format == nullptr) {
    return E_POINTER;
  }
  return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
}

STDMETHODIMP CPinSeeking::SetTimeFormat(const GUID* format) {
  if (format == nullptr) {
    return E_POINTER;
  }
  // TIME_FORMAT_NONE asks for the default, which is media time too.
  return IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) || IsEqualGUID(*format, TIME_FORMAT_NONE)
             ? S_OK
             : E_INVALIDARG;
}

STDMETHODIMP CPinSeeking::GetDuration(LONGLONG* duration) {
  if (duration == nullptr) {
    return E_POINTER;
  }
  *duration = m_movie->Duration();
  return S_OK;
}

STDMETHODIMP CPinSeeking::GetStopPosition(LONGLONG* stop) {
  return GetPositions(nullptr, stop) == S_OK ? S_OK : E_POINTER;
}

STDMETHODIMP CPinSeeking::GetCurrentPosition(LONGLONG* current) {
  return GetPositions(current, nullptr) == S_OK ? S_OK : E_POINTER;
}

STDMETHODIMP CPinSeeking::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                            LONGLONG source, const GUID* sourceFormat) {
  if (target == nullptr) {
    return E_POINTER;
  }
  if (!IsMediaTime(targetFormat) || !IsMediaTime(sourceFormat)) {
    return E_INVALIDARG;
  }
  *target = source;
  return S_OK;
}

STDMETHODIMP CPinSeeking::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                       DWORD stopFlags) {
  return m_movie->SetPositions(m_stream, current, currentFlags, stop, stopFlags);
}

STDMETHODIMP CPinSeeking::GetPositions(LONGLONG* current, LONGLONG* stop) {
  if (current == nullptr && stop == nullptr) {
    return E_POINTER;
  }
  REFERENCE_TIME segmentStart = 0;
  REFERENCE_TIME segmentStop = 0;
  m_movie->GetPositions(&segmentStart, &segmentStop);
  if (current != nullptr) {
    *current = segmentStart;
  }
  if (stop != nullptr) {
    *stop = segmentStop;
  }
  return S_OK;
}

STDMETHODIMP CPinSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  if (earliest != nullptr) {
    *earliest = 0;
  }
  if (latest != nullptr) {
    *latest = m_movie->Duration();
  }
  return S_OK;
}

STDMETHODIMP CPinSeeking::SetRate(double rate) { return rate == 1.0 ? S_OK : E_INVALIDARG; }

STDMETHODIMP CPinSeeking::GetRate(double* rate) {
  if (rate == nullptr) {
    return E_POINTER;
  }
  *rate = 1.0;
  return S_OK;
}

STDMETHODIMP CPinSeeking::GetPreroll(LONGLONG* preroll) {
  if (preroll == nullptr) {
    return E_POINTER;
  }
  *preroll = 0;
  return S_OK;
}
