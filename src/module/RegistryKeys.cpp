#include "module/RegistryKeys.h"

#include "module/CRegistryKey.h"

namespace {

constexpr int kGuidTextLength = 39;                   // braces and terminator included
constexpr int kClassKeyLength = 6 + kGuidTextLength;  // "CLSID" and a backslash before it

// The class key name (CLSID, a backslash, the class identifier) in wide
// characters, for the keys this module writes.
HRESULT ClassKeyName(REFCLSID classId, WCHAR (&name)[kClassKeyLength]) {
  const WCHAR prefix[] = WIDE("CLSID\\");
  for (int index = 0; index < 6; ++index) {
    name[index] = prefix[index];
  }
  if (StringFromGUID2(classId, name + 6, kGuidTextLength) == 0) {
    return E_FAIL;
  }
  return S_OK;
}

// The same name narrowed; a class identifier is ASCII whatever the code page.
HRESULT ClassKeyName(REFCLSID classId, char (&name)[kClassKeyLength]) {
  WCHAR wide[kClassKeyLength];
  HRESULT hr = ClassKeyName(classId, wide);
  if (FAILED(hr)) {
    return hr;
  }
  for (int index = 0; index < kClassKeyLength; ++index) {
    name[index] = static_cast<char>(wide[index]);
  }
  return S_OK;
}

// A text value, written wide so that a path outside the ANSI code page is
// stored as the system named it.
LONG SetText(HKEY key, const WCHAR* name, const WCHAR* text) {
  const DWORD size = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

LONG CreateKey(HKEY parent, const WCHAR* name, CRegistryKey& key) {
  return RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, key.ReleaseAndGetAddressOf(),
                         nullptr);
}

// Deletes parent\name and everything below it; the registry's status.
// ERROR_FILE_NOT_FOUND also for a key whose enumerated name cannot be opened
// (a Unicode name the ANSI code page cannot spell), so the walk below counts
// only an ERROR_SUCCESS as a subkey gone.
LONG DeleteExistingTree(HKEY parent, const char* name) {
  CRegistryKey key;
  LONG status = RegOpenKeyExA(parent, name, 0, MAXIMUM_ALLOWED, key.ReleaseAndGetAddressOf());
  if (status != ERROR_SUCCESS) {
    return status;
  }
  // Deleting a subkey moves the next one to its index; any subkey that
  // stays is stepped over, so every round makes progress.
  DWORD index = 0;
  for (;;) {
    char subkey[MAX_PATH];
    DWORD length = MAX_PATH;
    status = RegEnumKeyExA(key.Get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) {
      ++index;
      continue;
    }
    if (status != ERROR_SUCCESS) {
      break;
    }
    if (DeleteExistingTree(key.Get(), subkey) != ERROR_SUCCESS) {
      ++index;
    }
  }
  key.Close();
  // A subkey left behind makes this fail, and the caller hears of it.
  return RegDeleteKeyA(parent, name);
}

}  // namespace

HRESULT WriteClassKey(CLSID classId, const WCHAR* description, const WCHAR* serverPath,
                      const WCHAR* threadingModel, const WCHAR* serverKeyName) {
  WCHAR name[kClassKeyLength];
  HRESULT hr = ClassKeyName(classId, name);
  if (FAILED(hr)) {
    return hr;
  }
  CRegistryKey classKey;
  LONG status = CreateKey(HKEY_CLASSES_ROOT, name, classKey);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  status = SetText(classKey.Get(), nullptr, description);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  CRegistryKey serverKey;
  status = CreateKey(classKey.Get(), serverKeyName, serverKey);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  status = SetText(serverKey.Get(), nullptr, serverPath);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  return ResultFromRegistry(SetText(serverKey.Get(), WIDE("ThreadingModel"), threadingModel));
}

HRESULT ReadServerPath(CLSID classId, const WCHAR* serverKeyName, WCHAR (&path)[MAX_PATH]) {
  WCHAR name[kClassKeyLength];
  HRESULT hr = ClassKeyName(classId, name);
  if (FAILED(hr)) {
    return hr;
  }
  CRegistryKey classKey;
  CRegistryKey serverKey;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_QUERY_VALUE,
                    classKey.ReleaseAndGetAddressOf()) != ERROR_SUCCESS ||
      RegOpenKeyExW(classKey.Get(), serverKeyName, 0, KEY_QUERY_VALUE,
                    serverKey.ReleaseAndGetAddressOf()) != ERROR_SUCCESS) {
    return S_FALSE;
  }
  DWORD type = REG_NONE;
  DWORD size = sizeof(path) - sizeof(WCHAR);
  if (RegQueryValueExW(serverKey.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return S_FALSE;
  }
  // The stored text need not carry its terminator.
  path[size / sizeof(WCHAR)] = 0;
  return S_OK;
}

HRESULT RemoveClassKey(CLSID classId) {
  char name[kClassKeyLength];
  HRESULT hr = ClassKeyName(classId, name);
  if (FAILED(hr)) {
    return hr;
  }
  return DeleteKeyTree(HKEY_CLASSES_ROOT, name);
}

BOOL ClassKeyInOtherView(CLSID classId) {
#ifdef _WIN32
  REGSAM otherView = KEY_WOW64_32KEY;
#ifndef _WIN64
  // A 32-bit Windows has no second view, and would ignore the flag and
  // answer from this module's own view.
  BOOL underWow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &underWow64) || !underWow64) {
    return FALSE;
  }
  otherView = KEY_WOW64_64KEY;
#endif
  char classKey[kClassKeyLength];
  if (FAILED(ClassKeyName(classId, classKey))) {
    return FALSE;
  }
  char name[kClassKeyLength + 16];
  lstrcpyA(name, classKey);
  lstrcatA(name, "\\InprocServer32");
  CRegistryKey key;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_QUERY_VALUE | otherView,
                       key.ReleaseAndGetAddressOf()) == ERROR_SUCCESS;
#else
  // The Linux platform keeps one registry view.
  return FALSE;
#endif
}

HRESULT DeleteKeyTree(HKEY parent, const char* name) {
  if (name == nullptr || name[0] == '\0') {
    return E_FAIL;
  }
  const LONG status = DeleteExistingTree(parent, name);
  return status == ERROR_FILE_NOT_FOUND ? S_OK : ResultFromRegistry(status);
}
