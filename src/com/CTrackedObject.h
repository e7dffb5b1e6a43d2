#pragma once

#include "Platform.h"

// Base of every object that keeps the module loaded: the live-object count
// is what DllCanUnloadNow reads.
class CTrackedObject {
 public:
  // The name identifies the class for diagnostics only; it is not stored.
  explicit CTrackedObject(const char* objectName);
  virtual ~CTrackedObject();

  CTrackedObject(const CTrackedObject&) = delete;
  CTrackedObject& operator=(const CTrackedObject&) = delete;

  static LONG LiveObjectCount();
};

// The automation library, loaded on first use and released when the last
// tracked object dies; null when it cannot be loaded (a later call retries).
HMODULE LoadAutomationLibrary();
