// A renderer's IMediaSeeking as players' runtimes give it: every call goes to
// the pin the renderer's input is connected to, since only the filters
// upstream know the stream's positions. Header-only, so that the platform's
// renderer and the host's sinks pass on the same way.
#pragma once

#include <win/platform.h>

#include <platform/ComRef.h>

namespace platform {

class CSeekingPassThrough final : public IMediaSeeking {
 public:
  // owner: the filter that holds this object, which takes its counts (not
  // counted). input: the filter's input pin (not counted; lives in the owner).
  CSeekingPassThrough(IUnknown* owner, IPin* input) : m_owner(owner), m_input(input) {}
  CSeekingPassThrough(const CSeekingPassThrough&) = delete;
  CSeekingPassThrough& operator=(const CSeekingPassThrough&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return m_owner->QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_owner->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return m_owner->Release(); }

  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* caps) override {
    return Pass([=](IMediaSeeking* s) { return s->GetCapabilities(caps); });
  }
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* caps) override {
    return Pass([=](IMediaSeeking* s) { return s->CheckCapabilities(caps); });
  }
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override {
    return Pass([=](IMediaSeeking* s) { return s->IsFormatSupported(format); });
  }
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override {
    return Pass([=](IMediaSeeking* s) { return s->QueryPreferredFormat(format); });
  }
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override {
    return Pass([=](IMediaSeeking* s) { return s->GetTimeFormat(format); });
  }
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override {
    return Pass([=](IMediaSeeking* s) { return s->IsUsingTimeFormat(format); });
  }
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override {
    return Pass([=](IMediaSeeking* s) { return s->SetTimeFormat(format); });
  }
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override {
    return Pass([=](IMediaSeeking* s) { return s->GetDuration(duration); });
  }
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override {
    return Pass([=](IMediaSeeking* s) { return s->GetStopPosition(stop); });
  }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override {
    return Pass([=](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
  }
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                              LONGLONG source, const GUID* sourceFormat) override {
    return Pass([=](IMediaSeeking* s) {
      return s->ConvertTimeFormat(target, targetFormat, source, sourceFormat);
    });
  }
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override {
    return Pass(
        [=](IMediaSeeking* s) { return s->SetPositions(current, currentFlags, stop, stopFlags); });
  }
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override {
    return Pass([=](IMediaSeeking* s) { return s->GetPositions(current, stop); });
  }
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    return Pass([=](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
  }
  HRESULT STDMETHODCALLTYPE SetRate(double rate) override {
    return Pass([=](IMediaSeeking* s) { return s->SetRate(rate); });
  }
  HRESULT STDMETHODCALLTYPE GetRate(double* rate) override {
    return Pass([=](IMediaSeeking* s) { return s->GetRate(rate); });
  }
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override {
    return Pass([=](IMediaSeeking* s) { return s->GetPreroll(preroll); });
  }

 private:
  // No lock of the owner is held across the call: a seek upstream flushes
  // back into the owner's pin.
  template <typename Call>
  HRESULT Pass(Call call) {
    ComRef<IPin> peer;
    if (m_input->ConnectedTo(peer.Out()) != S_OK || !peer) return VFW_E_NOT_CONNECTED;
    ComRef<IMediaSeeking> upstream;
    if (FAILED(peer->QueryInterface(IID_IMediaSeeking, upstream.OutVoid())) || !upstream) {
      return E_NOTIMPL;
    }
    return call(upstream.Get());
  }

  IUnknown* m_owner;  // not counted: it holds this object
  IPin* m_input;      // not counted: lives in the owner
};

}  // namespace platform
