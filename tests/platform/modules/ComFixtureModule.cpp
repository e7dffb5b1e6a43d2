// A minimal in-process server: one class whose objects implement only
// IUnknown, with the live-object and server-lock counts behind DllCanUnloadNow.
#include "ComFixtureModule.h"

#include <cstdlib>
#include <new>

namespace {

std::atomic<LONG> g_liveObjects{0};
std::atomic<LONG> g_serverLocks{0};
ComFixtureProbe* g_probe = nullptr;  // not counted: owned by the test

ComFixtureProbe* ProbeFromEnvironment() {
  const char* text = std::getenv(kComFixtureProbeVariable);
  if (text == nullptr || *text == '\0') {
    return nullptr;
  }
  return reinterpret_cast<ComFixtureProbe*>(std::strtoull(text, nullptr, 16));
}

void ObjectBorn() {
  g_liveObjects.fetch_add(1);
  if (g_probe != nullptr) g_probe->liveObjects.fetch_add(1);
}

// The count falls last: once it reaches 0 the runtime may unload the module.
void ObjectDied() {
  if (g_probe != nullptr) g_probe->liveObjects.fetch_sub(1);
  g_liveObjects.fetch_sub(1);
}

class CFixtureObject final : public IUnknown {
 public:
  CFixtureObject() { ObjectBorn(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_references.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = m_references.fetch_sub(1) - 1;
    if (remaining == 0) delete this;
    return remaining;
  }

 private:
  ~CFixtureObject() { ObjectDied(); }

  std::atomic<ULONG> m_references{0};
};

class CFixtureFactory final : public IClassFactory {
 public:
  CFixtureFactory() { ObjectBorn(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_references.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = m_references.fetch_sub(1) - 1;
    if (remaining == 0) delete this;
    return remaining;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CFixtureObject* object = new (std::nothrow) CFixtureObject;
    if (object == nullptr) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      g_serverLocks.fetch_add(1);
    } else {
      g_serverLocks.fetch_sub(1);
    }
    return S_OK;
  }

 private:
  ~CFixtureFactory() { ObjectDied(); }

  std::atomic<ULONG> m_references{0};
};

}  // namespace

STDAPI_(BOOL) DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_probe = ProbeFromEnvironment();
    if (g_probe != nullptr) g_probe->attaches.fetch_add(1);
  } else if (reason == DLL_PROCESS_DETACH) {
    if (g_probe != nullptr) g_probe->detaches.fetch_add(1);
    g_probe = nullptr;
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_ComFixtureObject)) return CLASS_E_CLASSNOTAVAILABLE;
  CFixtureFactory* factory = new (std::nothrow) CFixtureFactory;
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->AddRef();
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() {
  return g_liveObjects.load() == 0 && g_serverLocks.load() <= 0 ? S_OK : S_FALSE;
}
