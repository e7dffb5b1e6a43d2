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
  CGraphEventQueue() = default;
  CGraphEventQueue(const CGraphEventQueue&) = delete;
  CGraphEventQueue& operator=(const CGraphEventQueue&) = delete;
  ~CGraphEventQueue();

  // E_OUTOFMEMORY when the event cannot be stored; S_FALSE when the reader
  // asked for no events and it was dropped.
  HRESULT Push(const GraphEvent& event);
  // S_OK with the oldest event, or E_ABORT when none came within timeoutMs.
  HRESULT Take(GraphEvent* event, DWORD timeoutMs);
  ULONG Count();

  // A manual-reset event, signalled while events wait; made on first request
  // and closed with the queue.
  HRESULT Handle(HANDLE* handle);
  // While discarding, queued events are dropped and new ones not kept.
  void SetDiscarding(bool discarding);
  bool IsDiscarding();

 private:
  void SignalLocked();

  std::mutex m_lock;  // a leaf lock: filters report while holding their own
  std::condition_variable m_arrived;
  std::deque<GraphEvent> m_events;
  HANDLE m_signal = nullptr;  // owned
  bool m_discarding = false;
};

}  // namespace platform
