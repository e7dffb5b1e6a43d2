// The decoder module's entry points: the in-process server contract, with
// the class factory and registration TESSALY.AX uses, over this module's
// own class table. It registers no file types: those are the splitter's;
// on Windows it adds only the keys through which Explorer finds its FILM
// handlers.

#include "Platform.h"
#include "module/ClassRegistration.h"
#include "module/ClassTable.h"
#include "module/ModuleServer.h"
#include "module/ModuleState.h"
#ifdef _WIN32
#include "explorer/ShellRegistration.h"
#else
// The platform's stand-in has no shell to find handlers.
inline HRESULT RegisterShellHandlers() { return S_OK; }
inline HRESULT UnregisterShellHandlers() { return S_OK; }
#endif

#ifndef _WIN32
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define MODULE_EXPORT extern "C"
#endif

MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    SetModuleInstance(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  return GetModuleClassObject(clsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return CanUnloadModule(); }

STDAPI DllRegisterServer() {
  HRESULT hr = RegisterAllClasses();
  if (SUCCEEDED(hr)) {
    hr = RegisterShellHandlers();
  }
  if (FAILED(hr)) {
    // Half a registration names a filter no graph can create.
    UnregisterAllClasses();
    UnregisterShellHandlers();
  }
  return hr;
}

STDAPI DllUnregisterServer() {
  HRESULT hr = UnregisterAllClasses();
  // Another copy of the module is registered: the registration stays its.
  if (hr == S_FALSE) {
    return S_OK;
  }
  // The class keys go first, so that the handlers' keys stay only while the
  // other bitness still registers the classes.
  return SUCCEEDED(hr) ? UnregisterShellHandlers() : hr;
}
