// The system reference clock: a monotonic time and its advise signalling.
#include <limits>
#include <vector>

#include "StreamingTestSupport.h"

namespace streaming_test {
namespace {

// Waits for an advise have no time limit of their own: a slow machine must
// not fail them, and an advise that never fires is ended by ctest's timeout.
constexpr DWORD kUntilSignalled = INFINITE;
constexpr REFERENCE_TIME kMillisecond = 10000;

class SystemClockTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    clock = Create<IReferenceClock>(CLSID_SystemClock, IID_IReferenceClock);
    ASSERT_NE(nullptr, clock.Get());
    event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    semaphore = CreateSemaphoreA(nullptr, 0, 1000, nullptr);
    ASSERT_NE(nullptr, event);
    ASSERT_NE(nullptr, semaphore);
  }
  void TearDown() override {
    clock.Reset();
    CloseHandle(event);
    CloseHandle(semaphore);
    ComTest::TearDown();
  }

  REFERENCE_TIME Now() {
    REFERENCE_TIME now = 0;
    EXPECT_TRUE(SUCCEEDED(clock->GetTime(&now)));
    return now;
  }

  CComHolder<IReferenceClock> clock;
  HANDLE event = nullptr;
  HANDLE semaphore = nullptr;
};

TEST_F(SystemClockTest, TimeNeverGoesBack) {
  EXPECT_EQ(E_POINTER, clock->GetTime(nullptr));
  REFERENCE_TIME previous = Now();
  for (int i = 0; i < 10000; ++i) {
    REFERENCE_TIME now = 0;
    HRESULT hr = clock->GetTime(&now);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE);
    ASSERT_GE(now, previous);
    if (hr == S_FALSE) {
      ASSERT_EQ(previous, now);  // S_FALSE: the time did not move
    }
    previous = now;
  }
}

TEST_F(SystemClockTest, TwoClocksAgreeOnTheOrderOfEvents) {
  auto other = Create<IReferenceClock>(CLSID_SystemClock, IID_IReferenceClock);
  REFERENCE_TIME first = Now();
  REFERENCE_TIME second = 0;
  ASSERT_TRUE(SUCCEEDED(other->GetTime(&second)));
  EXPECT_GE(second, first);
}

TEST_F(SystemClockTest, AdviseTimeSignalsTheEventOnceTheTimeIsReached) {
  REFERENCE_TIME due = Now() + 5 * kMillisecond;
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK, clock->AdviseTime(due - kMillisecond, kMillisecond,
                                    reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_NE(0u, cookie);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kUntilSignalled));
  EXPECT_GE(Now(), due);
  // A one-time advise is gone once it fired.
  EXPECT_EQ(S_FALSE, clock->Unadvise(cookie));
}

TEST_F(SystemClockTest, AnAdviseInThePastFiresAtOnce) {
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK, clock->AdviseTime(1, 0, reinterpret_cast<HEVENT>(event), &cookie));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, kUntilSignalled));
}

TEST_F(SystemClockTest, AnAdviseTakenBackNeverFires) {
  DWORD_PTR late = 0, soon = 0;
  HANDLE marker = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(S_OK,
            clock->AdviseTime(Now(), 3600LL * 10000000LL, reinterpret_cast<HEVENT>(event), &late));
  ASSERT_EQ(S_OK, clock->AdviseTime(Now(), kMillisecond, reinterpret_cast<HEVENT>(marker), &soon));
  EXPECT_NE(late, soon);
  EXPECT_EQ(S_OK, clock->Unadvise(late));
  EXPECT_EQ(S_FALSE, clock->Unadvise(late));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(marker, kUntilSignalled));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
  CloseHandle(marker);
}

TEST_F(SystemClockTest, AdvisePeriodicReleasesTheSemaphoreEveryPeriodUntilUnadvised) {
  REFERENCE_TIME start = Now();
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK, clock->AdvisePeriodic(start, kMillisecond,
                                        reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, kUntilSignalled)) << i;
  }
  // Three signals mean at least two whole periods went by.
  EXPECT_GE(Now(), start + 2 * kMillisecond);
  EXPECT_EQ(S_OK, clock->Unadvise(cookie));
  EXPECT_EQ(S_FALSE, clock->Unadvise(cookie));
}

TEST_F(SystemClockTest, AdvisesRejectBadArguments) {
  DWORD_PTR cookie = 0;
  HEVENT e = reinterpret_cast<HEVENT>(event);
  HSEMAPHORE s = reinterpret_cast<HSEMAPHORE>(semaphore);
  EXPECT_EQ(E_POINTER, clock->AdviseTime(Now(), 0, e, nullptr));
  EXPECT_EQ(E_INVALIDARG, clock->AdviseTime(Now(), 0, 0, &cookie));
  EXPECT_EQ(E_INVALIDARG, clock->AdviseTime(0, 0, e, &cookie));
  EXPECT_EQ(E_INVALIDARG,
            clock->AdviseTime(std::numeric_limits<REFERENCE_TIME>::max(), 1, e, &cookie));
  EXPECT_EQ(E_POINTER, clock->AdvisePeriodic(Now(), kMillisecond, s, nullptr));
  EXPECT_EQ(E_INVALIDARG, clock->AdvisePeriodic(Now(), 0, s, &cookie));
  EXPECT_EQ(E_INVALIDARG, clock->AdvisePeriodic(-1, kMillisecond, s, &cookie));
  EXPECT_EQ(E_INVALIDARG, clock->AdvisePeriodic(Now(), kMillisecond, 0, &cookie));
  EXPECT_EQ(S_FALSE, clock->Unadvise(12345));
}

TEST_F(SystemClockTest, ReleasingTheClockEndsItsPendingAdvises) {
  DWORD_PTR cookie = 0;
  ASSERT_EQ(S_OK, clock->AdviseTime(Now(), 3600LL * 10000000LL, reinterpret_cast<HEVENT>(event),
                                    &cookie));
  ASSERT_EQ(S_OK, clock->AdvisePeriodic(Now(), kMillisecond,
                                        reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, kUntilSignalled));
  clock.Reset();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

}  // namespace
}  // namespace streaming_test
