// The module's entry points: the in-process server contract of the platform.
#include "Platform.h"
#include "module/ClassRegistration.h"
#include "module/ClassTable.h"
#include "module/MediaTypeEntry.h"
#include "module/ModuleServer.h"
#include "module/ModuleState.h"

#ifndef _WIN32
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define MODULE_EXPORT extern "C"
#endif

namespace {

void RunInitHooks(BOOL loading) {
  for (int index = 0; index < g_classTemplateCount; ++index) {
    const ClassTemplateEntry& row = g_classTemplates[index];
    if (row.m_initHook != nullptr) {
      row.m_initHook(loading, row.m_classId);
    }
  }
}

}  // namespace

MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    SetModuleInstance(instance);
    RunInitHooks(TRUE);
  } else if (reason == DLL_PROCESS_DETACH) {
    RunInitHooks(FALSE);
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
    hr = WriteMediaTypeEntry();
  }
  if (FAILED(hr)) {
    // Half a registration names a filter no graph can find, or a class whose
    // file types lead nowhere: what was written comes out again, and the
    // first failure is what the caller hears.
    UnregisterAllClasses();
    RemoveMediaTypeEntry();
  }
  return hr;
}

STDAPI DllUnregisterServer() {
  HRESULT hr = UnregisterAllClasses();
  if (FAILED(hr)) {
    return hr;
  }
  // Another copy of the module is registered: its file types stay with it,
  // and this copy had nothing of its own to remove.
  if (hr == S_FALSE) {
    return S_OK;
  }
  return RemoveMediaTypeEntry();
}
