#include "com/CTrackedObject.h"

namespace {
LONG volatile g_liveObjectCount = 0;
HMODULE volatile g_automationLibrary = nullptr;  // owned: one LoadLibraryA reference
}  // namespace

CTrackedObject::CTrackedObject(const char* objectName) { InterlockedIncrement(&g_liveObjectCount); }

CTrackedObject::~CTrackedObject() {
  if (InterlockedDecrement(&g_liveObjectCount) != 0) {
    return;
  }
  HMODULE library = g_automationLibrary;
  if (library != nullptr) {
    FreeLibrary(library);
    g_automationLibrary = nullptr;
  }
}

// A compare-exchange that never changes anything is the platform's atomic read.
LONG CTrackedObject::LiveObjectCount() {
  return InterlockedCompareExchange(&g_liveObjectCount, 0, 0);
}

HMODULE LoadAutomationLibrary() {
  if (g_automationLibrary == nullptr) {
    g_automationLibrary = LoadLibraryA("OleAut32.dll");
  }
  return g_automationLibrary;
}
