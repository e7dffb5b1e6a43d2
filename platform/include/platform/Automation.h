// Test hooks of the automation library ("OleAut32.dll"): whether the control
// type library is registered and its file present, and what it has handed out.
#pragma once

#include <win/types.h>

namespace platform {

// While registered (the initial state), LoadRegTypeLib finds
// LIBID_QuartzTypeLib 1.0; otherwise it fails with TYPE_E_LIBNOTREGISTERED.
__attribute__((visibility("default"))) void RegisterControlTypeLibrary();
__attribute__((visibility("default"))) void UnregisterControlTypeLibrary();
__attribute__((visibility("default"))) bool IsControlTypeLibraryRegistered();

// While present (the initial state), LoadTypeLib("control.tlb") succeeds;
// otherwise it fails with TYPE_E_CANTLOADLIBRARY.
__attribute__((visibility("default"))) void SetControlTypeLibraryFilePresent(bool present);

// Type libraries still referenced by someone (their type information keeps
// them alive); 0 once every client has released what it was given.
__attribute__((visibility("default"))) LONG LiveTypeLibraryCount();

// Calls of LoadRegTypeLib and LoadTypeLib since the last reset, successful or not.
__attribute__((visibility("default"))) LONG LoadRegTypeLibCallCount();
__attribute__((visibility("default"))) LONG LoadTypeLibCallCount();
// The built-in module's resolver: LoadRegTypeLib, LoadTypeLib and the basic
// string and variant functions. Registered for "OleAut32.dll" at load time;
// a test that replaces the module's resolver restores it with this.
__attribute__((visibility("default"))) FARPROC AutomationProcedure(const char* procName);

// Back to the initial state: registered, file present, call counts 0.
__attribute__((visibility("default"))) void ResetAutomationLibrary();

}  // namespace platform
