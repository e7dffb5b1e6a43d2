// Host hooks for the platform's renderer: a sink that behaves as a player's
// renderers do. While the graph is paused it holds the first sample it
// receives (its Pause completes only then, or at end of stream); while the
// graph runs it releases each sample when the graph's clock reaches the
// sample's start time (at once without a clock or a time), and it reports
// EC_COMPLETE to its graph once the stream has ended and the graph runs.
#pragma once

#include <win/platform.h>

#define TESSALY_RENDER_HOOK __attribute__((visibility("default")))

namespace platform {

// What a renderer tells its host, on the thread that delivers the sample and
// outside every lock of the renderer. The renderer holds the observer counted.
struct IRenderObserver : public IUnknown {
  // The sample the paused renderer now holds; its Pause completes after this returns.
  virtual void STDMETHODCALLTYPE OnHold(IMediaSample* sample) = 0;
  // The sample's time has come (or it has none): the renderer shows it now.
  // clockTime is the graph's clock time, or -1 without a clock.
  virtual void STDMETHODCALLTYPE OnPresent(IMediaSample* sample, REFERENCE_TIME clockTime) = 0;
  virtual void STDMETHODCALLTYPE OnEndOfStream() = 0;
};

inline constexpr GUID IID_IRenderObserver = {
    0x0C5D3A43, 0x7E2B, 0x4F6A, {0x9B, 0x18, 0x52, 0xA4, 0x3D, 0x6E, 0x81, 0x0F}};
// The renderer's answer to IPersist::GetClassID (it is not a registered class).
inline constexpr GUID CLSID_PlatformRenderer = {
    0x0C5D3A44, 0x7E2B, 0x4F6A, {0x9B, 0x18, 0x52, 0xA4, 0x3D, 0x6E, 0x81, 0x0F}};

// A new renderer with one reference in *renderer. Its one input pin, "In",
// takes any complete media type and the upstream pin's allocator. observer
// may be null.
TESSALY_RENDER_HOOK HRESULT CreateRenderer(IRenderObserver* observer, IBaseFilter** renderer);

}  // namespace platform
