// The platform's system reference clock (CLSID_SystemClock): a monotonic time
// in 100-ns units and a thread that signals the events and semaphores advised.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <win/platform.h>

namespace platform {

class CSystemClock final : public IReferenceClock {
 public:
  // Builtin class creator: no aggregation.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IReferenceClock
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTime) override;
  HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                       HEVENT hEvent, DWORD_PTR* pdwAdviseCookie) override;
  HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                           HSEMAPHORE hSemaphore,
                                           DWORD_PTR* pdwAdviseCookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR dwAdviseCookie) override;

 private:
  struct Advise {
    DWORD_PTR cookie;
    REFERENCE_TIME due;
    REFERENCE_TIME period;  // 0 for a one-time advise
    DWORD_PTR handle;       // borrowed: an event (one-time) or a semaphore (periodic)
  };

  CSystemClock() = default;
  ~CSystemClock();

  static REFERENCE_TIME Now();
  HRESULT AddAdvise(REFERENCE_TIME due, REFERENCE_TIME period, DWORD_PTR handle, DWORD_PTR* cookie);
  void SignalDue(REFERENCE_TIME now);  // m_lock held
  void RunAdviseThread();

  std::atomic<ULONG> m_refs{0};
  std::atomic<REFERENCE_TIME> m_lastTime{0};
  std::mutex m_lock;
  std::condition_variable m_advisesChanged;
  std::vector<Advise> m_advises;
  DWORD_PTR m_nextCookie = 1;
  bool m_stopping = false;
  std::thread m_adviseThread;  // started by the first advise, joined by the destructor
};

}  // namespace platform
