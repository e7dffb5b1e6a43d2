#pragma once

#include "Platform.h"
#include "position/CMovieSeeking.h"
#include "position/CPositionPassThrough.h"

// The FILM splitter's position object: the duration and the positions are
// the splitter's own seeking state, the same its output pins answer with, in
// seconds; every other request goes upstream through the input pin. Aggregated into the filter,
// which owns it and deletes it directly.
class CCpkSplitterPos : public CPositionPassThrough {
 public:
  // filterOuter: the filter's controlling unknown, on which every reference
  // taken through this object's interfaces counts. inputPin: the filter's
  // input pin (not counted). movie: the splitter's seeking state (not
  // counted). *result gets E_POINTER for a null pin, else is not written.
  CCpkSplitterPos(IUnknown* filterOuter, HRESULT* result, IPin* inputPin, CMovieSeeking& movie);
  ~CCpkSplitterPos() override;

  STDMETHODIMP get_Duration(REFTIME* length) override;
  STDMETHODIMP put_CurrentPosition(REFTIME time) override;
  STDMETHODIMP get_CurrentPosition(REFTIME* time) override;
  STDMETHODIMP get_StopTime(REFTIME* time) override;
  STDMETHODIMP put_StopTime(REFTIME time) override;
  STDMETHODIMP CanSeekForward(LONG* canSeek) override;
  STDMETHODIMP CanSeekBackward(LONG* canSeek) override;

 private:
  // Seeks one end of the segment to time seconds.
  HRESULT Seek(REFTIME time, bool start);
  // Reports one end of the segment in seconds.
  HRESULT Report(REFTIME* time, bool start);

  CMovieSeeking& m_movie;  // not counted: the owning filter
};
