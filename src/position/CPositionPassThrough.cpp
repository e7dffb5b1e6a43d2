#include "position/CPositionPassThrough.h"

namespace {
// Rate 0 would stop the stream without a state change; both signs of zero compare equal.
bool IsZeroRate(double rate) { return rate == 0.0; }
}  // namespace

CPositionPassThrough::CPositionPassThrough(const char* objectName, IUnknown* outer, HRESULT* result,
                                           IPin* forwardingPin)
    : CMediaPositionBase(objectName, outer), m_pin(forwardingPin) {
  if (forwardingPin == nullptr && result != nullptr) {
    *result = E_POINTER;
  }
}

CPositionPassThrough::~CPositionPassThrough() = default;

HRESULT CPositionPassThrough::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (IsEqualGUID(riid, IID_IMediaSeeking)) {
    return HandOutInterface(static_cast<IMediaSeeking*>(this), ppv);
  }
  return CMediaPositionBase::InnerQueryInterface(riid, ppv);
}

HRESULT CPositionPassThrough::UpstreamInterface(REFIID riid, void** out) {
  *out = nullptr;
  // A pass-through built without a pin has nothing to forward to, as if unconnected.
  if (m_pin == nullptr) {
    return E_NOTIMPL;
  }
  CComHolder<IPin> connected;
  if (FAILED(m_pin->ConnectedTo(connected.ReleaseAndGetAddressOf())) || !connected) {
    return E_NOTIMPL;
  }
  if (FAILED(connected->QueryInterface(riid, out)) || *out == nullptr) {
    *out = nullptr;
    return E_NOTIMPL;
  }
  return S_OK;
}

HRESULT CPositionPassThrough::UpstreamPosition(IMediaPosition** out) {
  return UpstreamInterface(IID_IMediaPosition, reinterpret_cast<void**>(out));
}

HRESULT CPositionPassThrough::UpstreamSeeking(IMediaSeeking** out) {
  return UpstreamInterface(IID_IMediaSeeking, reinterpret_cast<void**>(out));
}

HRESULT CPositionPassThrough::CurrentMediaTime(LONGLONG* current, LONGLONG* stop) { return E_FAIL; }

STDMETHODIMP CPositionPassThrough::GetCapabilities(DWORD* capabilities) {
  return ForwardSeeking(&IMediaSeeking::GetCapabilities, capabilities);
}

STDMETHODIMP CPositionPassThrough::CheckCapabilities(DWORD* capabilities) {
  return ForwardSeeking(&IMediaSeeking::CheckCapabilities, capabilities);
}

STDMETHODIMP CPositionPassThrough::IsFormatSupported(const GUID* format) {
  return ForwardSeeking(&IMediaSeeking::IsFormatSupported, format);
}

STDMETHODIMP CPositionPassThrough::QueryPreferredFormat(GUID* format) {
  return ForwardSeeking(&IMediaSeeking::QueryPreferredFormat, format);
}

STDMETHODIMP CPositionPassThrough::GetTimeFormat(GUID* format) {
  return ForwardSeeking(&IMediaSeeking::GetTimeFormat, format);
}

STDMETHODIMP CPositionPassThrough::IsUsingTimeFormat(const GUID* format) {
  return ForwardSeeking(&IMediaSeeking::IsUsingTimeFormat, format);
}

STDMETHODIMP CPositionPassThrough::SetTimeFormat(const GUID* format) {
  return ForwardSeeking(&IMediaSeeking::SetTimeFormat, format);
}

STDMETHODIMP CPositionPassThrough::GetDuration(LONGLONG* duration) {
  return ForwardSeekingQuery(&IMediaSeeking::GetDuration, duration);
}

STDMETHODIMP CPositionPassThrough::GetStopPosition(LONGLONG* stop) {
  return ForwardSeekingQuery(&IMediaSeeking::GetStopPosition, stop);
}

STDMETHODIMP CPositionPassThrough::GetCurrentPosition(LONGLONG* current) {
  if (SUCCEEDED(CurrentMediaTime(current, nullptr))) {
    return S_OK;
  }
  return ForwardSeekingQuery(&IMediaSeeking::GetCurrentPosition, current);
}

STDMETHODIMP CPositionPassThrough::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                     LONGLONG source, const GUID* sourceFormat) {
  return ForwardSeeking(&IMediaSeeking::ConvertTimeFormat, target, targetFormat, source,
                        sourceFormat);
}

STDMETHODIMP CPositionPassThrough::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                LONGLONG* stop, DWORD stopFlags) {
  return ForwardSeeking(&IMediaSeeking::SetPositions, current, currentFlags, stop, stopFlags);
}

STDMETHODIMP CPositionPassThrough::GetPositions(LONGLONG* current, LONGLONG* stop) {
  return ForwardSeeking(&IMediaSeeking::GetPositions, current, stop);
}

STDMETHODIMP CPositionPassThrough::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  return ForwardSeeking(&IMediaSeeking::GetAvailable, earliest, latest);
}

STDMETHODIMP CPositionPassThrough::SetRate(double rate) {
  if (IsZeroRate(rate)) {
    return E_INVALIDARG;
  }
  return ForwardSeeking(&IMediaSeeking::SetRate, rate);
}

STDMETHODIMP CPositionPassThrough::GetRate(double* rate) {
  return ForwardSeeking(&IMediaSeeking::GetRate, rate);
}

STDMETHODIMP CPositionPassThrough::GetPreroll(LONGLONG* preroll) {
  return ForwardSeekingQuery(&IMediaSeeking::GetPreroll, preroll);
}

STDMETHODIMP CPositionPassThrough::get_Duration(REFTIME* length) {
  return ForwardPosition(&IMediaPosition::get_Duration, length);
}

STDMETHODIMP CPositionPassThrough::put_CurrentPosition(REFTIME time) {
  return ForwardPosition(&IMediaPosition::put_CurrentPosition, time);
}

STDMETHODIMP CPositionPassThrough::get_CurrentPosition(REFTIME* time) {
  return ForwardPosition(&IMediaPosition::get_CurrentPosition, time);
}

STDMETHODIMP CPositionPassThrough::get_StopTime(REFTIME* time) {
  return ForwardPosition(&IMediaPosition::get_StopTime, time);
}

STDMETHODIMP CPositionPassThrough::put_StopTime(REFTIME time) {
  return ForwardPosition(&IMediaPosition::put_StopTime, time);
}

STDMETHODIMP CPositionPassThrough::get_PrerollTime(REFTIME* time) {
  return ForwardPosition(&IMediaPosition::get_PrerollTime, time);
}

STDMETHODIMP CPositionPassThrough::put_PrerollTime(REFTIME time) {
  return ForwardPosition(&IMediaPosition::put_PrerollTime, time);
}

STDMETHODIMP CPositionPassThrough::put_Rate(double rate) {
  if (IsZeroRate(rate)) {
    return E_INVALIDARG;
  }
  return ForwardPosition(&IMediaPosition::put_Rate, rate);
}

STDMETHODIMP CPositionPassThrough::get_Rate(double* rate) {
  return ForwardPosition(&IMediaPosition::get_Rate, rate);
}

STDMETHODIMP CPositionPassThrough::CanSeekForward(LONG* canSeek) {
  return ForwardPosition(&IMediaPosition::CanSeekForward, canSeek);
}

STDMETHODIMP CPositionPassThrough::CanSeekBackward(LONG* canSeek) {
  return ForwardPosition(&IMediaPosition::CanSeekBackward, canSeek);
}
