// Module-wide state that outlives every object: the module's own handle and
// the server lock count of IClassFactory::LockServer.
#pragma once

#include "Platform.h"

// Null until the module entry point has seen the process attach.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// The class is registered "Both", so locks may come from any thread at once.
void LockModule(BOOL lock);
LONG ServerLockCount();
