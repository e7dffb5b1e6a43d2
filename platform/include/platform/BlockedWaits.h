// Test hook: lets a test know that threads have really reached a blocking
// kernel wait (on an event, semaphore or thread not yet signalled), so that
// "a blocked caller is woken" is proved by a handshake instead of a sleep
// that hopes the caller got there.
#pragma once

namespace platform {

// Threads blocked in WaitForSingleObject or WaitForMultipleObjects right now.
__attribute__((visibility("default"))) int BlockedWaitCount();

// Returns once at least count threads are blocked in a kernel wait at the
// same time; no time limit (a test that never gets there hangs until its
// runner's timeout). Read BlockedWaitCount first and add to it, so that
// threads blocked before the test do not count.
__attribute__((visibility("default"))) void WaitForBlockedWaits(int count);

}  // namespace platform
