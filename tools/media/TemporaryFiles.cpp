#include "media/TemporaryFiles.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace tessaly::media {

namespace {

constexpr int kSlots = 16;
constexpr size_t kPathBytes = 4096;

// Plain arrays: the signal handler may only read memory and call unlink.
char g_paths[kSlots][kPathBytes];
std::atomic<bool> g_used[kSlots];
std::atomic<bool> g_defer{false};
std::atomic<int> g_pending{0};  // the signal noted while deferring, 0 for none

void RemoveAndReraise(int signalNumber) {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (g_used[slot].load()) unlink(g_paths[slot]);
  }
  // Folders after the files in them, the latest made (the innermost) first.
  for (int slot = kSlots - 1; slot >= 0; --slot) {
    if (g_used[slot].load()) rmdir(g_paths[slot]);
  }
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void OnInterrupt(int signalNumber) {
  int none = 0;
  if (g_defer.load() && g_pending.compare_exchange_strong(none, signalNumber)) return;
  RemoveAndReraise(signalNumber);
}

}  // namespace

void InstallInterruptCleanup() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
  }
}

int RememberTemporaryFile(const std::string& path) {
  if (path.size() >= kPathBytes) return -1;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (g_used[slot].load()) continue;
    std::memcpy(g_paths[slot], path.c_str(), path.size() + 1);
    g_used[slot].store(true);
    return slot;
  }
  return -1;
}

void ForgetTemporaryFile(int slot) {
  if (slot >= 0 && slot < kSlots) g_used[slot].store(false);
}

void DeferInterruptions() { g_defer.store(true); }

bool InterruptionPending() { return g_pending.load() != 0; }

void EndInterrupted() {
  const int signalNumber = g_pending.load();
  RemoveAndReraise(signalNumber != 0 ? signalNumber : SIGINT);
  _exit(128 + (signalNumber != 0 ? signalNumber : SIGINT));
}

}  // namespace tessaly::media
