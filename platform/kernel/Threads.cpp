// Threads, thread identifiers and time.
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>
#include <win/kernel.h>

#include <cerrno>
#include <climits>
#include <new>

#include "CHandleTable.h"
#include "CThreadObject.h"

using platform::kernel::CHandleTable;
using platform::kernel::CKernelObject;
using platform::kernel::CThreadObject;

namespace {

struct ThreadLaunch {
  std::shared_ptr<CThreadObject> thread;  // counted: the running thread's own reference
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
};

void* RunThread(void* argument) {
  ThreadLaunch* launch = static_cast<ThreadLaunch*>(argument);
  platform::kernel::AdoptThreadId(launch->thread->threadId());
  const DWORD exitCode = launch->start(launch->parameter);
  launch->thread->Finish(exitCode);
  delete launch;
  return nullptr;
}

// Detached, so that the thread's resources go with it whether or not anyone waits.
bool StartDetached(ThreadLaunch* launch, SIZE_T stackSize) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    return false;
  }
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0) {
    const SIZE_T minimum = PTHREAD_STACK_MIN;
    pthread_attr_setstacksize(&attributes, stackSize < minimum ? minimum : stackSize);
  }
  pthread_t thread;
  const int result = pthread_create(&thread, &attributes, RunThread, launch);
  pthread_attr_destroy(&attributes);
  return result == 0;
}

}  // namespace

PLATFORM_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                                        LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                        DWORD creationFlags, LPDWORD threadId) {
  // Suspended creation is not offered: no caller of this platform resumes threads.
  if (start == nullptr || (creationFlags & ~STACK_SIZE_PARAM_IS_A_RESERVATION) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ThreadLaunch* launch = nullptr;
  HANDLE handle = nullptr;
  try {
    auto thread = std::make_shared<CThreadObject>(platform::kernel::AllocateThreadId());
    launch = new ThreadLaunch{thread, start, parameter};
    handle = CHandleTable::Instance().Insert(thread);
  } catch (const std::bad_alloc&) {
    handle = nullptr;
  }
  if (handle == nullptr) {
    delete launch;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId != nullptr) {
    *threadId = launch->thread->threadId();
  }
  if (!StartDetached(launch, stackSize)) {
    delete launch;
    CHandleTable::Instance().Close(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return handle;
}

PLATFORM_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  std::shared_ptr<CKernelObject> object = CHandleTable::Instance().Lookup(thread);
  if (object == nullptr || object->kind() != CKernelObject::Kind::Thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (exitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *exitCode = static_cast<CThreadObject*>(object.get())->ExitCode();
  return TRUE;
}

PLATFORM_API DWORD WINAPI GetCurrentThreadId(void) { return platform::kernel::CurrentThreadId(); }

PLATFORM_API void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) {
      pause();
    }
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

PLATFORM_API DWORD WINAPI GetTickCount(void) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Wraps after 49.7 days, as the platform's does.
  const uint64_t milliseconds =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(milliseconds);
}
