#include "position/CCpkSplitterPos.h"

#include <cmath>

#include "film/FilmLayout.h"

CCpkSplitterPos::CCpkSplitterPos(IUnknown* filterOuter, HRESULT* result, IPin* inputPin,
                                 CMovieSeeking& movie)
    : CPositionPassThrough("CCpkSplitterPos", filterOuter, result, inputPin), m_movie(movie) {}

CCpkSplitterPos::~CCpkSplitterPos() = default;

STDMETHODIMP CCpkSplitterPos::get_Duration(REFTIME* length) {
  if (length == nullptr) {
    return E_POINTER;
  }
  // The splitter's one duration, the one its pins report: in seconds here.
  *length = static_cast<double>(m_movie.Duration()) / film::kUnitsPerSecond;
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

HRESULT CCpkSplitterPos::Seek(REFTIME time, bool start) {
  // Beyond what 100-ns units can count, or not a number at all.
  if (!(std::fabs(time) < 9.0e11)) {
    return E_INVALIDARG;
  }
  LONGLONG position = std::llround(time * film::kUnitsPerSecond);
  return start ? m_movie.SetPositions(CMovieSeeking::kPositionCaller, &position,
                                      AM_SEEKING_AbsolutePositioning, nullptr,
                                      AM_SEEKING_NoPositioning)
               : m_movie.SetPositions(CMovieSeeking::kPositionCaller, nullptr,
                                      AM_SEEKING_NoPositioning, &position,
                                      AM_SEEKING_AbsolutePositioning);
}

STDMETHODIMP CCpkSplitterPos::put_CurrentPosition(REFTIME time) { return Seek(time, true); }

STDMETHODIMP CCpkSplitterPos::put_StopTime(REFTIME time) { return Seek(time, false); }

HRESULT CCpkSplitterPos::Report(REFTIME* time, bool start) {
  if (time == nullptr) {
    return E_POINTER;
  }
  REFERENCE_TIME segmentStart = 0;
  REFERENCE_TIME segmentStop = 0;
  m_movie.GetPositions(&segmentStart, &segmentStop);
  *time = static_cast<double>(start ? segmentStart : segmentStop) / film::kUnitsPerSecond;
  return S_OK;
}

STDMETHODIMP CCpkSplitterPos::get_CurrentPosition(REFTIME* time) { return Report(time, true); }

STDMETHODIMP CCpkSplitterPos::get_StopTime(REFTIME* time) { return Report(time, false); }
