#include "module/ModuleState.h"

namespace {
HINSTANCE g_moduleInstance = nullptr;  // not counted: the loader owns it
LONG volatile g_serverLockCount = 0;
}  // namespace

HINSTANCE ModuleInstance() { return g_moduleInstance; }

void SetModuleInstance(HINSTANCE instance) { g_moduleInstance = instance; }

void LockModule(BOOL lock) {
  if (lock) {
    InterlockedIncrement(&g_serverLockCount);
    return;
  }
  // An unmatched unlock must not use up a lock another caller takes later:
  // the count never goes below zero.
  for (;;) {
    const LONG count = InterlockedCompareExchange(&g_serverLockCount, 0, 0);
    if (count <= 0) {
      return;
    }
    if (InterlockedCompareExchange(&g_serverLockCount, count - 1, count) == count) {
      return;
    }
  }
}

LONG ServerLockCount() { return InterlockedCompareExchange(&g_serverLockCount, 0, 0); }
