#pragma once

#include "Platform.h"
#include "com/CComHolder.h"
#include "position/CMediaPositionBase.h"

// IMediaPosition and IMediaSeeking for a filter that cannot seek by itself:
// every call goes to the pin connected to the forwarding pin, looked up anew
// on each call, so nothing upstream is held between calls.
class CPositionPassThrough : public IMediaSeeking, public CMediaPositionBase {
 public:
  // forwardingPin: the pin of this filter whose peer receives the calls; not
  // counted, its owner keeps it alive for this object's life. A null pin is
  // reported as E_POINTER through *result; otherwise *result is not written.
  CPositionPassThrough(const char* objectName, IUnknown* outer, HRESULT* result,
                       IPin* forwardingPin);
  ~CPositionPassThrough() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  // IUnknown of both interfaces.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

  // IMediaSeeking
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

  // For a filter that knows its own current position; this one does not (E_FAIL).
  virtual HRESULT CurrentMediaTime(LONGLONG* current, LONGLONG* stop);

  // IMediaPosition
  STDMETHODIMP get_Duration(REFTIME* length) override;
  STDMETHODIMP put_CurrentPosition(REFTIME time) override;
  STDMETHODIMP get_CurrentPosition(REFTIME* time) override;
  STDMETHODIMP get_StopTime(REFTIME* time) override;
  STDMETHODIMP put_StopTime(REFTIME time) override;
  STDMETHODIMP get_PrerollTime(REFTIME* time) override;
  STDMETHODIMP put_PrerollTime(REFTIME time) override;
  STDMETHODIMP put_Rate(double rate) override;
  STDMETHODIMP get_Rate(double* rate) override;
  STDMETHODIMP CanSeekForward(LONG* canSeek) override;
  STDMETHODIMP CanSeekBackward(LONG* canSeek) override;

 protected:
  // E_NOTIMPL while the forwarding pin is unconnected or its peer does not
  // offer the interface; *out is null then.
  HRESULT UpstreamPosition(IMediaPosition** out);
  HRESULT UpstreamSeeking(IMediaSeeking** out);
  // Serves the REFERENCE_TIME getters of IMediaSeeking.
  template <class Getter>
  HRESULT ForwardSeekingQuery(Getter getter, REFERENCE_TIME* out) {
    return ForwardSeeking(getter, out);
  }

 private:
  HRESULT UpstreamInterface(REFIID riid, void** out);

  template <class Method, class... Args>
  HRESULT ForwardSeeking(Method method, Args... args) {
    CComHolder<IMediaSeeking> upstream;
    const HRESULT hr = UpstreamSeeking(upstream.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      return hr;
    }
    return (upstream.Get()->*method)(args...);
  }

  template <class Method, class... Args>
  HRESULT ForwardPosition(Method method, Args... args) {
    CComHolder<IMediaPosition> upstream;
    const HRESULT hr = UpstreamPosition(upstream.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      return hr;
    }
    return (upstream.Get()->*method)(args...);
  }

  IPin* m_pin;  // not counted: the forwarding pin, kept alive by this object's creator
};
