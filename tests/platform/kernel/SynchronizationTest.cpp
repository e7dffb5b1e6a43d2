#include <gtest/gtest.h>
#include <platform/BlockedWaits.h>
#include <win/platform.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <vector>

#include "ThreadHelpers.h"

using kerneltest::Join;
using kerneltest::JoinAll;
using kerneltest::JoinAny;
using kerneltest::JoinOnce;
using kerneltest::StartThread;

namespace {

std::vector<HANDLE> StartWaiters(int count, HANDLE object, std::atomic<int>& woke) {
  std::vector<HANDLE> threads;
  for (int i = 0; i < count; ++i) {
    threads.push_back(StartThread([object, &woke]() -> DWORD {
      if (WaitForSingleObject(object, INFINITE) != WAIT_OBJECT_0) {
        return 1;
      }
      ++woke;
      return 0;
    }));
  }
  return threads;
}

TEST(ManualResetEvent, ReleasesEveryWaiterAndStaysSignalledUntilReset) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  std::atomic<int> woke{0};
  std::vector<HANDLE> threads = StartWaiters(4, event, woke);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));

  ASSERT_TRUE(SetEvent(event));
  JoinAll(threads);
  EXPECT_EQ(4, woke.load());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));

  ASSERT_TRUE(ResetEvent(event));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 5));
  CloseHandle(event);
}

TEST(AutoResetEvent, EachSignalReleasesExactlyOneWaiter) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  std::atomic<int> woke{0};
  std::vector<HANDLE> threads = StartWaiters(3, event, woke);

  for (int round = 1; round <= 3; ++round) {
    ASSERT_TRUE(SetEvent(event));
    JoinAny(threads);
    EXPECT_EQ(round, woke.load());
    // The waiter that woke took the signal with it.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  }
  EXPECT_TRUE(threads.empty());
  CloseHandle(event);
}

TEST(AutoResetEvent, InitiallySignalledLetsOneWaitThrough) {
  HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  CloseHandle(event);
}

TEST(Semaphore, ReleaseOfNWakesNWaiters) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 10, nullptr);
  ASSERT_NE(nullptr, semaphore);
  std::atomic<int> woke{0};
  std::vector<HANDLE> threads = StartWaiters(5, semaphore, woke);

  LONG previous = -1;
  ASSERT_TRUE(ReleaseSemaphore(semaphore, 3, &previous));
  EXPECT_EQ(0, previous);
  for (int i = 0; i < 3; ++i) {
    JoinAny(threads);
  }
  EXPECT_EQ(3, woke.load());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(semaphore, 0));
  EXPECT_EQ(2u, threads.size());

  ASSERT_TRUE(ReleaseSemaphore(semaphore, 2, nullptr));
  JoinAll(threads);
  EXPECT_EQ(5, woke.load());
  CloseHandle(semaphore);
}

TEST(Semaphore, RefusesToPassItsMaximumAndChangesNothing) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 2, nullptr);
  ASSERT_NE(nullptr, semaphore);
  LONG previous = -1;
  ASSERT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(1, previous);

  previous = -1;
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(static_cast<DWORD>(ERROR_TOO_MANY_POSTS), GetLastError());
  EXPECT_EQ(-1, previous);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(semaphore, 0));

  // A count that would overflow is refused, not wrapped.
  EXPECT_FALSE(ReleaseSemaphore(semaphore, INT32_MAX, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_TOO_MANY_POSTS), GetLastError());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(semaphore, 0));
  CloseHandle(semaphore);
}

TEST(Semaphore, CreationChecksItsCounts) {
  EXPECT_EQ(nullptr, CreateSemaphoreA(nullptr, 3, 2, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, CreateSemaphoreA(nullptr, 0, 0, nullptr));
  EXPECT_EQ(nullptr, CreateSemaphoreA(nullptr, -1, 2, nullptr));
}

TEST(CriticalSection, IsReentrantForItsOwnerAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  auto enteredFromAnotherThread = [&cs]() {
    return JoinOnce([&cs]() -> DWORD {
      if (!TryEnterCriticalSection(&cs)) {
        return 0;
      }
      LeaveCriticalSection(&cs);
      return 1;
    });
  };

  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  LeaveCriticalSection(&cs);
  EXPECT_EQ(0u, enteredFromAnotherThread());
  LeaveCriticalSection(&cs);
  EXPECT_EQ(0u, enteredFromAnotherThread());
  LeaveCriticalSection(&cs);
  EXPECT_EQ(1u, enteredFromAnotherThread());
  DeleteCriticalSection(&cs);
}

TEST(CriticalSection, SerialisesConcurrentUpdates) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  int total = 0;
  std::vector<HANDLE> threads;
  for (int i = 0; i < 4; ++i) {
    threads.push_back(StartThread([&]() -> DWORD {
      for (int n = 0; n < 5000; ++n) {
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);
        ++total;
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
      }
      return 0;
    }));
  }
  JoinAll(threads);
  EXPECT_EQ(20000, total);
  DeleteCriticalSection(&cs);
}

struct ThreadContext {
  HANDLE go;
  HANDLE done;
  DWORD idInside;
};

DWORD WINAPI WaitThenAnswer(LPVOID parameter) {
  auto* context = static_cast<ThreadContext*>(parameter);
  WaitForSingleObject(context->go, INFINITE);
  context->idInside = GetCurrentThreadId();
  if (context->done != nullptr) {
    SetEvent(context->done);
  }
  return 1234;
}

TEST(Thread, HandleIsSignalledWhenTheThreadEndsAndGivesItsExitCode) {
  ThreadContext context{CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr, 0};
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, WaitThenAnswer, &context, 0, &id);
  ASSERT_NE(nullptr, thread);
  EXPECT_NE(0u, id);
  EXPECT_NE(GetCurrentThreadId(), id);

  DWORD exitCode = 0;
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 0));
  ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
  EXPECT_EQ(STILL_ACTIVE, exitCode);

  SetEvent(context.go);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
  ASSERT_TRUE(GetExitCodeThread(thread, &exitCode));
  EXPECT_EQ(1234u, exitCode);
  EXPECT_EQ(id, context.idInside);
  CloseHandle(thread);
  CloseHandle(context.go);
}

TEST(Thread, ClosingItsHandleNeitherEndsNorLosesTheThread) {
  ThreadContext context{CreateEventA(nullptr, TRUE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr), 0};
  HANDLE thread = CreateThread(nullptr, 0, WaitThenAnswer, &context, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  ASSERT_TRUE(CloseHandle(thread));
  DWORD exitCode = 0;
  EXPECT_FALSE(GetExitCodeThread(thread, &exitCode));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

  SetEvent(context.go);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(context.done, INFINITE));
  CloseHandle(context.go);
  CloseHandle(context.done);
}

TEST(Thread, RefusesWhatItCannotDo) {
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  ThreadContext context{nullptr, nullptr, 0};
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, WaitThenAnswer, &context, CREATE_SUSPENDED, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(Handles, ClosedOrForeignHandlesFailCleanly) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_TRUE(CloseHandle(event));
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  SetLastError(0);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(event, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(SetEvent(event));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, INFINITE));

  // An object of one kind is not accepted where another kind is expected.
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  EXPECT_FALSE(SetEvent(semaphore));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  DWORD exitCode = 0;
  EXPECT_FALSE(GetExitCodeThread(semaphore, &exitCode));
  CloseHandle(semaphore);
}

TEST(Handles, ValuesAreNeverReused) {
  std::set<HANDLE> seen;
  for (int i = 0; i < 200; ++i) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_TRUE(seen.insert(event).second);
    CloseHandle(event);
  }
}

TEST(WaitForMultipleObjects, AnyReportsTheLowestSignalledIndexAndTakesOnlyIt) {
  HANDLE events[3] = {CreateEventA(nullptr, FALSE, FALSE, nullptr),
                      CreateEventA(nullptr, FALSE, TRUE, nullptr),
                      CreateEventA(nullptr, FALSE, TRUE, nullptr)};
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, events, FALSE, 0));
  EXPECT_EQ(WAIT_OBJECT_0 + 2, WaitForMultipleObjects(3, events, FALSE, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(3, events, FALSE, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(3, events, FALSE, 5));
  for (HANDLE event : events) {
    CloseHandle(event);
  }
}

TEST(WaitForMultipleObjects, AllTakesEverySignalTogetherOrNone) {
  HANDLE objects[2] = {CreateEventA(nullptr, FALSE, TRUE, nullptr),
                       CreateSemaphoreA(nullptr, 0, 5, nullptr)};
  EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, objects, TRUE, 0));
  // The failed wait left the event's signal in place.
  ReleaseSemaphore(objects[1], 2, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, objects, TRUE, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(objects[0], 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(objects[1], 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(objects[1], 0));

  HANDLE sameTwice[2] = {objects[0], objects[0]};
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, sameTwice, TRUE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  CloseHandle(objects[0]);
  CloseHandle(objects[1]);
}

TEST(WaitForMultipleObjects, AllWakesOnlyWhenTheLastSignalArrives) {
  HANDLE events[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                      CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  HANDLE waiter = StartThread(
      [&events]() -> DWORD { return WaitForMultipleObjects(2, events, TRUE, INFINITE); });
  SetEvent(events[1]);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(waiter, 0));
  SetEvent(events[0]);
  EXPECT_EQ(WAIT_OBJECT_0, Join(waiter));
  CloseHandle(events[0]);
  CloseHandle(events[1]);
}

TEST(BlockedWaits, CountAThreadOnlyWhileItSleepsInAWait) {
  const int before = platform::BlockedWaitCount();
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));  // a poll never blocks
  HANDLE waiter = StartThread([event]() -> DWORD { return WaitForSingleObject(event, INFINITE); });
  platform::WaitForBlockedWaits(before + 1);
  EXPECT_EQ(before + 1, platform::BlockedWaitCount());
  SetEvent(event);
  EXPECT_EQ(WAIT_OBJECT_0, Join(waiter));
  EXPECT_EQ(before, platform::BlockedWaitCount());
  CloseHandle(event);
}

TEST(WaitForMultipleObjects, RefusesBadArguments) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(0, &event, FALSE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(1, nullptr, FALSE, 0));
  std::vector<HANDLE> tooMany(MAXIMUM_WAIT_OBJECTS + 1, event);
  EXPECT_EQ(WAIT_FAILED,
            WaitForMultipleObjects(static_cast<DWORD>(tooMany.size()), tooMany.data(), FALSE, 0));
  HANDLE withBad[2] = {event, reinterpret_cast<HANDLE>(0x7FFF0000)};
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, withBad, FALSE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  CloseHandle(event);
}

TEST(NamedEvent, CreatingTheSameNameOpensTheSameObject) {
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "TessalyKernelTestEvent");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  HANDLE second = CreateEventA(nullptr, TRUE, FALSE, "TessalyKernelTestEvent");
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_NE(first, second);
  SetEvent(first);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));

  EXPECT_EQ(nullptr, CreateSemaphoreA(nullptr, 0, 1, "TessalyKernelTestEvent"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  CloseHandle(first);
  CloseHandle(second);

  // Once every handle is closed, the name starts a new object.
  HANDLE fresh = CreateEventA(nullptr, TRUE, FALSE, "TessalyKernelTestEvent");
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(fresh, 0));
  CloseHandle(fresh);
}

TEST(LastError, BelongsToEachThread) {
  SetLastError(5);
  EXPECT_EQ(7u, JoinOnce([]() -> DWORD {
              SetLastError(7);
              return GetLastError();
            }));
  EXPECT_EQ(5u, GetLastError());
}

TEST(ThreadId, DiffersBetweenThreadsAndStaysPutWithinOne) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_NE(0u, mine);
  EXPECT_EQ(mine, GetCurrentThreadId());
  EXPECT_NE(mine, JoinOnce([]() -> DWORD { return GetCurrentThreadId(); }));
}

}  // namespace
