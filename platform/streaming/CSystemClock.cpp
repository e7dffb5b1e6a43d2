#include "CSystemClock.h"

#include "NewObject.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <system_error>

namespace platform {

namespace {

// Longest single sleep of the advise thread, so that far-away times never overflow a deadline.
constexpr REFERENCE_TIME kLongestWait = 600LL * 10000000LL;

bool AddTimes(REFERENCE_TIME a, REFERENCE_TIME b, REFERENCE_TIME* sum) {
  return !__builtin_add_overflow(a, b, sum);
}

}  // namespace

HRESULT CSystemClock::Create(IUnknown* outer, REFIID riid, void** ppv) {
  HRESULT hr = CheckUnaggregatedCreate(outer, ppv);
  if (FAILED(hr)) return hr;
  return HandOutNewObject(new (std::nothrow) CSystemClock, riid, ppv);
}

CSystemClock::~CSystemClock() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
    m_advisesChanged.notify_all();
  }
  if (m_adviseThread.joinable()) m_adviseThread.join();
}

HRESULT CSystemClock::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IReferenceClock) {
    *ppv = static_cast<IReferenceClock*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CSystemClock::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CSystemClock::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

REFERENCE_TIME CSystemClock::Now() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

HRESULT CSystemClock::GetTime(REFERENCE_TIME* pTime) {
  if (!pTime) return E_POINTER;
  REFERENCE_TIME now = Now();
  REFERENCE_TIME last = m_lastTime.load(std::memory_order_relaxed);
  // Readers on several threads still never see the time go back.
  while (now > last && !m_lastTime.compare_exchange_weak(last, now, std::memory_order_relaxed)) {
  }
  if (now <= last) {
    *pTime = last;
    return S_FALSE;
  }
  *pTime = now;
  return S_OK;
}

HRESULT CSystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                                 DWORD_PTR* pdwAdviseCookie) {
  if (!pdwAdviseCookie) return E_POINTER;
  *pdwAdviseCookie = 0;
  REFERENCE_TIME due = 0;
  if (!hEvent || !AddTimes(baseTime, streamTime, &due) || due <= 0) return E_INVALIDARG;
  return AddAdvise(due, 0, hEvent, pdwAdviseCookie);
}

HRESULT CSystemClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                     HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) {
  if (!pdwAdviseCookie) return E_POINTER;
  *pdwAdviseCookie = 0;
  if (!hSemaphore || startTime < 0 || periodTime <= 0) return E_INVALIDARG;
  return AddAdvise(startTime, periodTime, hSemaphore, pdwAdviseCookie);
}

HRESULT CSystemClock::AddAdvise(REFERENCE_TIME due, REFERENCE_TIME period, DWORD_PTR handle,
                                DWORD_PTR* cookie) {
  std::lock_guard<std::mutex> guard(m_lock);
  try {
    if (!m_adviseThread.joinable()) m_adviseThread = std::thread([this] { RunAdviseThread(); });
    m_advises.push_back(Advise{m_nextCookie, due, period, handle});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::system_error&) {
    return E_FAIL;
  }
  *cookie = m_nextCookie++;
  m_advisesChanged.notify_all();
  return S_OK;
}

HRESULT CSystemClock::Unadvise(DWORD_PTR dwAdviseCookie) {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = std::find_if(m_advises.begin(), m_advises.end(),
                         [dwAdviseCookie](const Advise& a) { return a.cookie == dwAdviseCookie; });
  if (it == m_advises.end()) return S_FALSE;
  m_advises.erase(it);
  m_advisesChanged.notify_all();
  return S_OK;
}

void CSystemClock::SignalDue(REFERENCE_TIME now) {
  // Signalling under the lock means that nothing is signalled once Unadvise has returned.
  for (auto it = m_advises.begin(); it != m_advises.end();) {
    if (it->due > now) {
      ++it;
      continue;
    }
    if (it->period == 0) {
      SetEvent(reinterpret_cast<HANDLE>(it->handle));
      it = m_advises.erase(it);
      continue;
    }
    // A late wake-up still counts every period that went by.
    REFERENCE_TIME periods = (now - it->due) / it->period + 1;
    LONG count = static_cast<LONG>(std::min<REFERENCE_TIME>(periods, 0x7FFFFFFF));
    if (!ReleaseSemaphore(reinterpret_cast<HANDLE>(it->handle), count, nullptr) && count > 1) {
      ReleaseSemaphore(reinterpret_cast<HANDLE>(it->handle), 1, nullptr);
    }
    if (!AddTimes(it->due, periods * it->period, &it->due)) {
      it->due = std::numeric_limits<REFERENCE_TIME>::max();
    }
    ++it;
  }
}

void CSystemClock::RunAdviseThread() {
  std::unique_lock<std::mutex> lock(m_lock);
  while (!m_stopping) {
    REFERENCE_TIME now = Now();
    SignalDue(now);
    if (m_advises.empty()) {
      m_advisesChanged.wait(lock);
      continue;
    }
    REFERENCE_TIME next = m_advises.front().due;
    for (const Advise& advise : m_advises) next = std::min(next, advise.due);
    REFERENCE_TIME wait = std::min(next - now, kLongestWait);
    m_advisesChanged.wait_for(lock, std::chrono::nanoseconds(wait * 100));
  }
}

}  // namespace platform
