// The events a filter graph's members report, kept in arrival order until a
// reader takes them.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include <platform/GraphEvents.h>

namespace platform {

class CGraphEventQueue {
 public:
  // E_OUTOFMEMORY when the event cannot be stored.
  HRESULT Push(const GraphEvent& event);
  // S_OK with the oldest event, or E_ABORT when none came within timeoutMs.
  HRESULT Take(GraphEvent* event, DWORD timeoutMs);
  ULONG Count();

 private:
  std::mutex m_lock;  // a leaf lock: filters report while holding their own
  std::condition_variable m_arrived;
  std::deque<GraphEvent> m_events;
};

}  // namespace platform
