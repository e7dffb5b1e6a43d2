// Runs a filter graph once every filter has completed its Pause, on a thread
// of its own, so that IMediaControl::Run can return while renderers still
// wait for their first sample (Run answers S_FALSE then, as the runtime's does).
//
// Lock: m_lock is a leaf. The start callback runs on the starter's thread with
// no lock of the starter held; it takes the graph's lock and checks that its
// request is still the latest.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <platform/ComRef.h>
#include <win/platform.h>

namespace platform {

class CGraphStarter {
 public:
  explicit CGraphStarter(std::function<void(ULONG request)> start) : m_start(std::move(start)) {}
  CGraphStarter(const CGraphStarter&) = delete;
  CGraphStarter& operator=(const CGraphStarter&) = delete;
  ~CGraphStarter() { Quit(); }

  // Waits (on the starter's thread) until none of filters answers GetState
  // with VFW_S_STATE_INTERMEDIATE, then calls start(request) unless a later
  // request or Cancel came first. Returns the request number.
  HRESULT Request(std::vector<ComRef<IBaseFilter>> filters, ULONG* request);
  // Makes every earlier request stale.
  void Cancel();
  // Ends the thread; call with no lock held that start takes.
  void Quit();

 private:
  void Main();
  bool IsStale(ULONG request) const;

  std::function<void(ULONG)> m_start;
  std::mutex m_lock;
  std::condition_variable m_wake;
  std::vector<ComRef<IBaseFilter>> m_filters;  // counted: those of the waiting request
  bool m_pending = false;
  ULONG m_pendingRequest = 0;
  bool m_quit = false;
  std::atomic<ULONG> m_latest{0};  // the request that may still start
  std::thread m_thread;            // started by the first request, joined by Quit
};

}  // namespace platform
