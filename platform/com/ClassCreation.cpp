// CoGetClassObject, CoCreateInstance and CoFreeUnusedLibraries: built-in
// classes first, then the in-process server the registry names.
#include <platform/ComRuntime.h>
#include <win/identifiers.h>

#include "CBuiltinClassFactory.h"
#include "CBuiltinClassTable.h"
#include "CServerModuleList.h"
#include "ComInitialization.h"
#include "InprocServerPath.h"

namespace {

// The checks the platform makes before it looks for any class.
HRESULT CheckCreationRequest(DWORD context, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (!platform::com::CallerMayUseCom()) {
    return CO_E_NOTINITIALIZED;
  }
  // Every class this runtime knows is served in process.
  if ((context & CLSCTX_INPROC_SERVER) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  return S_OK;
}

HRESULT GetRegisteredClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  std::string path;
  const HRESULT hr = platform::com::ReadInprocServerPath(clsid, &path);
  if (FAILED(hr)) {
    return hr;
  }
  if (path.empty()) {
    return CO_E_DLLNOTFOUND;
  }
  return platform::com::CServerModuleList::Instance().GetClassObject(path, clsid, riid, ppv);
}

}  // namespace

PLATFORM_API HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID serverInfo,
                                             REFIID riid, LPVOID* ppv) {
  const HRESULT hr = CheckCreationRequest(context, ppv);
  if (FAILED(hr)) {
    return hr;
  }
  if (platform::BuiltinClassFactory create =
          platform::com::CBuiltinClassTable::Instance().Find(clsid)) {
    return platform::com::CBuiltinClassFactory::Create(create, riid, ppv);
  }
  return GetRegisteredClassObject(clsid, riid, ppv);
}

PLATFORM_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                             REFIID riid, LPVOID* ppv) {
  HRESULT hr = CheckCreationRequest(context, ppv);
  if (FAILED(hr)) {
    return hr;
  }
  if (platform::BuiltinClassFactory create =
          platform::com::CBuiltinClassTable::Instance().Find(clsid)) {
    hr = create(outer, riid, ppv);
    if (FAILED(hr)) {
      *ppv = nullptr;
    }
    return hr;
  }
  IClassFactory* factory = nullptr;  // counted
  hr = GetRegisteredClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) {
    return hr;
  }
  if (factory == nullptr) {
    return E_UNEXPECTED;  // a server that claims success without a factory
  }
  hr = factory->CreateInstance(outer, riid, ppv);
  factory->Release();
  if (FAILED(hr)) {
    *ppv = nullptr;
  }
  return hr;
}

PLATFORM_API void WINAPI CoFreeUnusedLibraries(void) {
  platform::com::CServerModuleList::Instance().FreeUnused();
}

namespace platform {

size_t LoadedServerCount() { return com::CServerModuleList::Instance().Count(); }

bool IsServerLoaded(const char* path) {
  return path != nullptr && com::CServerModuleList::Instance().Holds(path);
}

}  // namespace platform
