// The graph's completion bookkeeping: which sinks have signalled EC_COMPLETE
// since the graph left Stopped, and whether the application's wait is over.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include <platform/GraphEvents.h>
#include <win/platform.h>

namespace platform {

class CGraphCompletion {
 public:
  // The graph leaves Stopped: these sinks (identities, not counted) must each
  // signal EC_COMPLETE before the application hears of completion. Another
  // member naming itself in EC_COMPLETE does not count; an EC_COMPLETE that
  // names no member (or nobody) counts for one sink.
  HRESULT Begin(const std::vector<IBaseFilter*>& sinks, const std::vector<IBaseFilter*>& others);
  // The graph reached Running: with no sink to wait for, completion is
  // immediate. True with the event to report when that is so.
  bool OnRunning(GraphEvent* report);
  // The graph stopped: the count is gone and waiters return VFW_E_WRONG_STATE.
  void End();

  // Applies the default handling to an event a filter reported; true with the
  // event to queue for the application, false when it is held back.
  bool Filter(const GraphEvent& event, GraphEvent* report);

  // S_OK with EC_COMPLETE, EC_ERRORABORT or EC_USERABORT in *code once the
  // graph's operation has ended; E_ABORT when timeoutMs passed first (negative:
  // no limit); VFW_E_WRONG_STATE when the graph is or becomes stopped first.
  HRESULT Wait(LONG timeoutMs, LONG* code);

  // EC_COMPLETE only: S_FALSE for any other code.
  HRESULT SetDefaultHandling(LONG code, bool enabled);

 private:
  bool AllSinksDoneLocked() const;
  void FinishLocked(LONG code);

  std::mutex m_lock;  // a leaf lock: filters report from their own threads
  std::condition_variable m_changed;
  bool m_counting = false;
  std::vector<IBaseFilter*> m_sinks;   // not counted: identities of the graph's members
  std::vector<IBaseFilter*> m_others;  // not counted: the members that are not sinks
  std::vector<bool> m_sinkDone;
  ULONG m_unnamedDone = 0;  // EC_COMPLETE naming no member
  HRESULT m_firstFailure = S_OK;
  bool m_completeReported = false;
  bool m_defaultHandling = true;
  bool m_finished = false;
  LONG m_finishCode = 0;
  ULONG m_generation = 0;  // changes with every Begin and End, so that waiters notice
};

}  // namespace platform
