// A fixture that reaches the built module the way a host does: loaded with the
// platform's LoadLibraryA (so its entry point runs), used through its exports,
// against a registry that lives in memory.
#pragma once

#include <gtest/gtest.h>
#include <platform/Registry.h>
#include <win/platform.h>

#include <string>
#include <vector>

#include "com/CComHolder.h"
#include "splitter/SplitterIdentifiers.h"

namespace moduletest {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();
using RegisterServerFn = HRESULT (*)();

class LoadedModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseMemoryRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    module_ = LoadLibraryA(TESSALY_MODULE_PATH);
    ASSERT_NE(module_, nullptr);
    getClassObject_ = Export<GetClassObjectFn>("DllGetClassObject");
    canUnloadNow_ = Export<CanUnloadNowFn>("DllCanUnloadNow");
    registerServer_ = Export<RegisterServerFn>("DllRegisterServer");
    unregisterServer_ = Export<RegisterServerFn>("DllUnregisterServer");
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
    ASSERT_NE(registerServer_, nullptr);
    ASSERT_NE(unregisterServer_, nullptr);
  }

  void TearDown() override {
    if (module_ != nullptr) {
      EXPECT_EQ(canUnloadNow_(), S_OK) << "an object or lock of the module outlived the test";
      FreeLibrary(module_);
    }
    CoFreeUnusedLibraries();
    CoUninitialize();
    platform::UseMemoryRegistry();
  }

  template <typename F>
  F Export(const char* name) {
    return reinterpret_cast<F>(GetProcAddress(module_, name));
  }

  CComHolder<IClassFactory> Factory() {
    CComHolder<IClassFactory> factory;
    EXPECT_EQ(
        getClassObject_(CLSID_CpkSplitter, IID_IClassFactory, factory.ReleaseAndGetVoidAddressOf()),
        S_OK);
    return factory;
  }

  // The module file as the system names it, which registration must write.
  std::string ModulePath() const {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module_, path, MAX_PATH);
    return path;
  }

  HMODULE module_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  CanUnloadNowFn canUnloadNow_ = nullptr;
  RegisterServerFn registerServer_ = nullptr;
  RegisterServerFn unregisterServer_ = nullptr;
};

// Registry readers that report rather than fail, so tests can assert absence.
inline bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

struct StoredValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;  // exactly as stored, terminator included
  std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

// Empty bytes and REG_NONE when the key or the value is missing.
inline StoredValue ReadValue(const std::string& path, const char* name) {
  StoredValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return value;
  }
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.bytes.resize(size);
    RegQueryValueExA(key, name, nullptr, &value.type, value.bytes.data(), &size);
    value.bytes.resize(size);
  }
  RegCloseKey(key);
  return value;
}

// A REG_SZ as the registry must store it: the text and one terminating zero.
inline std::vector<BYTE> StringBytes(const std::string& text) {
  std::vector<BYTE> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

inline const std::string kClassKey = "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}";
inline const std::string kServerKey = kClassKey + "\\InprocServer32";
inline const std::string kStreamTypeKey = "Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}";
inline const std::string kFilmTypeKey = kStreamTypeKey + "\\{6B1E4F21-D3A7-11d1-8C53-00A0C93B7E14}";

}  // namespace moduletest

namespace moduletest {

struct FoundFilter {
  CLSID clsid;
  std::u16string name;
};

// What the platform's mapper offers for a FILM byte stream on an input pin.
inline std::vector<FoundFilter> FiltersForFilmStreams() {
  std::vector<FoundFilter> found;
  CComHolder<IFilterMapper> mapper;
  EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                             mapper.ReleaseAndGetVoidAddressOf()),
            S_OK);
  if (!mapper) return found;
  CComHolder<IEnumRegFilters> filters;
  EXPECT_EQ(mapper->EnumMatchingFilters(filters.ReleaseAndGetAddressOf(), 0, TRUE, MEDIATYPE_Stream,
                                        MEDIASUBTYPE_CpkFilm, FALSE, FALSE, GUID_NULL, GUID_NULL),
            S_OK);
  if (!filters) return found;
  REGFILTER* record = nullptr;
  ULONG fetched = 0;
  while (filters->Next(1, &record, &fetched) == S_OK && fetched == 1) {
    found.push_back({record->Clsid, record->Name != nullptr ? record->Name : u""});
    CoTaskMemFree(record);
  }
  return found;
}

// Removes a key with everything below it, as a registry editor would.
inline void RemoveTree(HKEY parent, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (;;) {
    char subkey[MAX_PATH];
    DWORD length = MAX_PATH;
    if (RegEnumKeyExA(key, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    RemoveTree(key, subkey);
  }
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyA(parent, name.c_str()), ERROR_SUCCESS) << name;
}

inline void CreateKey(const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS) << path;
  RegCloseKey(key);
}

}  // namespace moduletest
