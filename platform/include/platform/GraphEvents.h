// Test and host hook: the read side of a filter graph's event queue, which
// filters fill through IMediaEventSink::Notify. It is the queue IMediaEvent::
// GetEvent reads: EC_COMPLETE arrives once, after every sink has signalled it.
#pragma once

#include <win/platform.h>

namespace platform {

struct GraphEvent {
  LONG code;
  LONG_PTR param1;
  LONG_PTR param2;
};

// Answered by the platform's filter graph (CLSID_FilterGraph) to QueryInterface.
struct IGraphEventQueue : public IUnknown {
  // Takes the oldest event, waiting up to timeoutMs (INFINITE: no limit);
  // E_ABORT when none came in time, E_POINTER for a null event.
  virtual HRESULT STDMETHODCALLTYPE TakeEvent(GraphEvent* event, DWORD timeoutMs) = 0;
  // Events queued and not yet taken.
  virtual ULONG STDMETHODCALLTYPE PendingEventCount() = 0;
};

inline constexpr GUID IID_IGraphEventQueue = {
    0x4BEE12D1, 0x5353, 0x44DC, {0x8A, 0xF7, 0x69, 0xE8, 0x01, 0xCC, 0x85, 0x50}};

}  // namespace platform
