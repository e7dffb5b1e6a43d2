// Critical sections are re-entrant mutexes living in the caller's storage.
#include <pthread.h>
#include <win/kernel.h>

#include <new>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque),
              "a mutex must fit in a critical section");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION),
              "a critical section must be aligned for a mutex");

pthread_mutex_t* MutexOf(LPCRITICAL_SECTION cs) {
  return std::launder(reinterpret_cast<pthread_mutex_t*>(cs->opaque));
}

}  // namespace

PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_t* mutex = new (cs->opaque) pthread_mutex_t;
  pthread_mutex_init(mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_destroy(MutexOf(cs));
}

PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_lock(MutexOf(cs));
}

PLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  return pthread_mutex_trylock(MutexOf(cs)) == 0 ? TRUE : FALSE;
}

PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_unlock(MutexOf(cs));
}
