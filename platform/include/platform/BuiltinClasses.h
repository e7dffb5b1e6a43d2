// Classes the platform serves itself (memory allocator, file source, filter
// mapper, filter graph, clock): CoGetClassObject and CoCreateInstance find
// them before they look in the registry.
#pragma once

#include <win/com.h>

namespace platform {

// Creates one instance and returns the interface riid in *ppv (null on failure).
using BuiltinClassFactory = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// Adds or replaces the creator of a class; safe from any thread and during
// static initialisation.
__attribute__((visibility("default"))) void RegisterBuiltinClass(REFCLSID clsid,
                                                                 BuiltinClassFactory create);

// Removes a class again, so that a test can shadow a registered one for a while.
__attribute__((visibility("default"))) void UnregisterBuiltinClass(REFCLSID clsid);

// The creator of a class now, or null; a test that shadows a platform class
// puts this one back afterwards.
__attribute__((visibility("default"))) BuiltinClassFactory FindBuiltinClass(REFCLSID clsid);

}  // namespace platform
