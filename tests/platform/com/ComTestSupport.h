// Helpers for the COM runtime tests: a built-in class made up by the test,
// and registry entries written the way a server's self-registration does.
#pragma once

#include <gtest/gtest.h>
#include <platform/BuiltinClasses.h>
#include <win/platform.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/modules/ComFixtureModule.h"

namespace comtest {

inline const std::string kFixturePath = std::string(TESSALY_FIXTURE_DIR) + "/ComFixtureModule.so";

// The probe the fixture module reports to; published before the first load.
inline ComFixtureProbe& FixtureProbe() {
  static ComFixtureProbe* const probe = [] {
    auto* created = new ComFixtureProbe;  // outlives every detach, even at exit
    char address[32];
    std::snprintf(address, sizeof(address), "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(created)));
    setenv(kComFixtureProbeVariable, address, 1);
    return created;
  }();
  return *probe;
}

// Objects of the test's own built-in class; counts the live ones.
class CBuiltinTestObject final : public IUnknown {
 public:
  static inline std::atomic<int> s_live{0};
  static inline std::atomic<int> s_created{0};

  CBuiltinTestObject() {
    s_live.fetch_add(1);
    s_created.fetch_add(1);
  }
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

  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new CBuiltinTestObject;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }

 private:
  ~CBuiltinTestObject() { s_live.fetch_sub(1); }
  std::atomic<ULONG> m_references{0};
};

// Registers a built-in class for the lifetime of the holder.
class ScopedBuiltinClass {
 public:
  ScopedBuiltinClass(REFCLSID clsid, platform::BuiltinClassFactory create) : m_clsid(clsid) {
    platform::RegisterBuiltinClass(clsid, create);
  }
  ~ScopedBuiltinClass() { platform::UnregisterBuiltinClass(m_clsid); }

 private:
  CLSID m_clsid;
};

inline std::string ClassKeyPath(REFCLSID clsid) {
  OLECHAR wide[39];
  if (StringFromGUID2(clsid, wide, 39) != 39) return {};
  std::string path = "CLSID\\";
  for (int i = 0; wide[i] != 0; ++i) path.push_back(static_cast<char>(wide[i]));
  return path;
}

// Writes HKCR\CLSID\{clsid}\InprocServer32 = serverPath.
inline void RegisterInprocServer(REFCLSID clsid, const std::string& serverPath,
                                 DWORD type = REG_SZ) {
  HKEY key = nullptr;
  const std::string path = ClassKeyPath(clsid) + "\\InprocServer32";
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(serverPath.c_str()),
                           static_cast<DWORD>(serverPath.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace comtest
