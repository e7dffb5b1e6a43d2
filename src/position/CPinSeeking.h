#pragma once

#include "Platform.h"

class CMovieSeeking;

// IMediaSeeking of one splitter output pin, the interface a renderer's
// pass-through asks the pin upstream of it for. Both pins answer for the one
// movie: every call reaches the filter, which seeks both streams together.
// Media time is the only time format. Part of the pin: its reference counts
// and QueryInterface go to the pin's identity.
class CPinSeeking : public IMediaSeeking {
 public:
  // pin: the owning pin's IPin (not counted); movie: the filter's seeking
  // state; stream: the caller's number, which tells one graph-level seek from two.
  CPinSeeking(IPin* pin, CMovieSeeking* movie, int stream);

  CPinSeeking(const CPinSeeking&) = delete;
  CPinSeeking& operator=(const CPinSeeking&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID* format) override;
  STDMETHODIMP QueryPreferredFormat(GUID* format) override;
  STDMETHODIMP GetTimeFormat(GUID* format) override;
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
  STDMETHODIMP SetTimeFormat(const GUID* format) override;
  STDMETHODIMP GetDuration(LONGLONG* duration) override;
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                 const GUID* sourceFormat) override;
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                            DWORD stopFlags) override;
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  STDMETHODIMP SetRate(double rate) override;
  STDMETHODIMP GetRate(double* rate) override;
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

  // What every output can do: seek absolutely and relatively, both ways,
  // and report duration, current and stop positions. No other rate than 1.
  static constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                         AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                                         AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;

 private:
  // TRUE for media time, the one format; a null format means the current one.
  static BOOL IsMediaTime(const GUID* format);

  IPin* m_pin;             // not counted: the pin owns this object
  CMovieSeeking* m_movie;  // not counted: the filter, which owns the pin
  const int m_stream;
};
