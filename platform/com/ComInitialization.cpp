// CoInitialize and friends: a count per thread, plus the process-wide counts
// that decide whether an uninitialised thread may still create objects.
#include "ComInitialization.h"

#include <win/com.h>

#include <atomic>

#include "CServerModuleList.h"

namespace platform::com {
namespace {

std::atomic<int> g_initialisedThreads{0};
std::atomic<int> g_multithreadedThreads{0};

void LeaveProcessCounts(bool multithreaded) {
  if (multithreaded) {
    g_multithreadedThreads.fetch_sub(1);
  }
  if (g_initialisedThreads.fetch_sub(1) == 1) {
    // The last apartment closed: release the servers nobody uses any more.
    CServerModuleList::Instance().FreeUnused();
  }
}

struct ThreadApartment {
  ULONG initCount = 0;
  bool multithreaded = false;

  // A thread that ends without balancing its CoInitialize calls leaves the
  // process counts anyway, so the implicit apartment does not outlive it.
  ~ThreadApartment() {
    if (initCount != 0) {
      initCount = 0;
      g_initialisedThreads.fetch_sub(1);
      if (multithreaded) {
        g_multithreadedThreads.fetch_sub(1);
      }
    }
  }
};

thread_local ThreadApartment t_apartment;

}  // namespace

bool CallerMayUseCom() { return t_apartment.initCount != 0 || g_multithreadedThreads.load() > 0; }

}  // namespace platform::com

PLATFORM_API HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved != nullptr) {
    return E_INVALIDARG;
  }
  platform::com::ThreadApartment& apartment = platform::com::t_apartment;
  const bool multithreaded = (coInit & COINIT_APARTMENTTHREADED) == 0;
  if (apartment.initCount != 0) {
    if (apartment.multithreaded != multithreaded) {
      return RPC_E_CHANGED_MODE;
    }
    ++apartment.initCount;
    return S_FALSE;
  }
  apartment.initCount = 1;
  apartment.multithreaded = multithreaded;
  platform::com::g_initialisedThreads.fetch_add(1);
  if (multithreaded) {
    platform::com::g_multithreadedThreads.fetch_add(1);
  }
  return S_OK;
}

PLATFORM_API HRESULT WINAPI CoInitialize(LPVOID reserved) {
  return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

PLATFORM_API void WINAPI CoUninitialize(void) {
  platform::com::ThreadApartment& apartment = platform::com::t_apartment;
  if (apartment.initCount == 0) {
    return;
  }
  if (--apartment.initCount == 0) {
    platform::com::LeaveProcessCounts(apartment.multithreaded);
  }
}
