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
  } else {
    InterlockedDecrement(&g_serverLockCount);
  }
}

LONG ServerLockCount() { return InterlockedCompareExchange(&g_serverLockCount, 0, 0); }
