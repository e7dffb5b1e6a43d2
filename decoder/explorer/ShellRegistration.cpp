#include "explorer/ShellRegistration.h"

#include <initializer_list>

#include "explorer/ShellIdentifiers.h"
#include "module/CRegistryKey.h"
#include "module/RegistryKeys.h"

namespace {

const WCHAR* const kExtensions[] = {WIDE(".cpk"), WIDE(".film")};
const WCHAR kThumbnailHandler[] = WIDE("\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}");
const WCHAR kShellEx[] = WIDE("\\ShellEx");
const WCHAR kPropertyHandlers[] =
    WIDE("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\");
// Both views are searched on removal: a key one bitness wrote may live in
// either, depending on which keys the system shares between them.
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

constexpr int kPathLength = 160;
constexpr int kGuidLength = 40;

// first followed by second, always terminated; the parts are our constants.
void Join(WCHAR (&path)[kPathLength], const WCHAR* first, const WCHAR* second) {
  int at = 0;
  for (const WCHAR* part : {first, second}) {
    for (; *part != 0 && at < kPathLength - 1; ++part) {
      path[at++] = *part;
    }
  }
  path[at] = 0;
}

HRESULT WriteDefault(HKEY root, const WCHAR* path, const WCHAR* value) {
  CRegistryKey key;
  LONG status = RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                nullptr, key.ReleaseAndGetAddressOf(), nullptr);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  const DWORD bytes = static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(WCHAR));
  status =
      RegSetValueExW(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  return ResultFromRegistry(status);
}

bool DefaultIs(HKEY root, const WCHAR* path, const WCHAR* expected, REGSAM view) {
  CRegistryKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | view, key.ReleaseAndGetAddressOf()) !=
      ERROR_SUCCESS) {
    return false;
  }
  WCHAR value[kGuidLength] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(value) - sizeof(WCHAR);
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  return lstrcmpiW(value, expected) == 0;
}

// A key someone else wrote (another program's provider) is theirs.
void RemoveOwned(HKEY root, const WCHAR* path, const WCHAR* expected, REGSAM view) {
  if (DefaultIs(root, path, expected, view)) {
    RegDeleteKeyExW(root, path, view, 0);
  }
}

void RemoveIfEmpty(HKEY root, const WCHAR* path, REGSAM view) {
  CRegistryKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ | view, key.ReleaseAndGetAddressOf()) !=
      ERROR_SUCCESS) {
    return;
  }
  DWORD subkeys = 1;
  DWORD values = 1;
  if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
      subkeys != 0 || values != 0) {
    return;
  }
  key.Close();
  RegDeleteKeyExW(root, path, view, 0);
}

}  // namespace

HRESULT RegisterShellHandlers() {
  WCHAR provider[kGuidLength];
  WCHAR handler[kGuidLength];
  if (StringFromGUID2(CLSID_TessalyFilmThumbnailProvider, provider, kGuidLength) == 0 ||
      StringFromGUID2(CLSID_TessalyFilmPropertyHandler, handler, kGuidLength) == 0) {
    return E_UNEXPECTED;
  }
  for (const WCHAR* extension : kExtensions) {
    WCHAR path[kPathLength];
    Join(path, extension, kThumbnailHandler);
    HRESULT hr = WriteDefault(HKEY_CLASSES_ROOT, path, provider);
    if (FAILED(hr)) {
      return hr;
    }
    Join(path, kPropertyHandlers, extension);
    hr = WriteDefault(HKEY_LOCAL_MACHINE, path, handler);
    if (FAILED(hr)) {
      return hr;
    }
  }
  return S_OK;
}

HRESULT UnregisterShellHandlers() {
  if (ClassKeyInOtherView(CLSID_TessalyFilmThumbnailProvider)) {
    return S_OK;
  }
  WCHAR provider[kGuidLength];
  WCHAR handler[kGuidLength];
  if (StringFromGUID2(CLSID_TessalyFilmThumbnailProvider, provider, kGuidLength) == 0 ||
      StringFromGUID2(CLSID_TessalyFilmPropertyHandler, handler, kGuidLength) == 0) {
    return E_UNEXPECTED;
  }
  for (const WCHAR* extension : kExtensions) {
    for (REGSAM view : kViews) {
      WCHAR path[kPathLength];
      Join(path, extension, kThumbnailHandler);
      RemoveOwned(HKEY_CLASSES_ROOT, path, provider, view);
      Join(path, extension, kShellEx);
      RemoveIfEmpty(HKEY_CLASSES_ROOT, path, view);
      RemoveIfEmpty(HKEY_CLASSES_ROOT, extension, view);
      Join(path, kPropertyHandlers, extension);
      RemoveOwned(HKEY_LOCAL_MACHINE, path, handler, view);
    }
  }
  return S_OK;
}
