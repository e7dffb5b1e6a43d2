// Modules the platform answers for itself: loading one of these names gives a
// module record of the platform's own, not a file. Also the loader's test hooks.
#pragma once

#include <win/types.h>

namespace platform {

// Null when the module has no procedure of that name.
using BuiltinResolver = FARPROC (*)(const char* procName);

// Names match without regard to case, and a name without an extension means
// "<name>.dll", as the platform's loader has it. Registering a name again
// replaces its resolver (also for records already loaded). A null resolver
// knows no procedures. "OleAut32.dll" is registered from the start.
__attribute__((visibility("default"))) void RegisterBuiltinModule(const char* name,
                                                                  BuiltinResolver resolve);

// True while anyone holds a LoadLibraryA reference to the module: a built-in
// name, a file's full path, or a file's name without directories.
__attribute__((visibility("default"))) bool IsModuleLoaded(const char* name);

// LoadLibraryA references not yet freed; 0 for a module that is not loaded.
__attribute__((visibility("default"))) LONG ModuleReferenceCount(HMODULE module);
__attribute__((visibility("default"))) LONG ModuleReferenceCount(const char* name);

}  // namespace platform
