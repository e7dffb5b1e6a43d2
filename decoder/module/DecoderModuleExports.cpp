// The decoder module's entry points: the in-process server contract, with
// the class factory and registration TESSALY.AX uses, over this module's
// own class table. It registers no file types: those are the splitter's.
#include <new>

#include "Platform.h"
#include "com/CTrackedObject.h"
#include "module/CModuleClassFactory.h"
#include "module/ClassRegistration.h"
#include "module/ClassTable.h"
#include "module/ModuleState.h"

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
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  const ClassTemplateEntry* row = FindClassTemplate(clsid);
  if (row == nullptr || row->m_creator == nullptr) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  CModuleClassFactory* factory = new (std::nothrow) CModuleClassFactory(row);
  if (factory == nullptr) {
    return E_OUTOFMEMORY;
  }
  IClassFactory* classFactory = factory;
  classFactory->AddRef();
  *ppv = classFactory;
  return S_OK;
}

STDAPI DllCanUnloadNow() {
  if (ServerLockCount() > 0 || CTrackedObject::LiveObjectCount() != 0) {
    return S_FALSE;
  }
  return S_OK;
}

STDAPI DllRegisterServer() {
  HRESULT hr = RegisterAllClasses();
  if (FAILED(hr)) {
    // Half a registration names a filter no graph can create.
    UnregisterAllClasses();
  }
  return hr;
}

STDAPI DllUnregisterServer() {
  HRESULT hr = UnregisterAllClasses();
  // Another copy of the module is registered: the registration stays its.
  return hr == S_FALSE ? S_OK : hr;
}
