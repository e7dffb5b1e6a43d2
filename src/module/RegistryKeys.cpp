#include "module/RegistryKeys.h"

#include "module/CRegistryKey.h"

namespace {

// wsprintfA writes at most this many bytes, the terminator included.
constexpr int kFormatLimit = 1024;

constexpr DWORD kGuidTextLength = 39;  // braces and terminator included

HRESULT ClassKeyName(REFCLSID classId, char (&name)[kFormatLimit]) {
  WCHAR guidText[kGuidTextLength];
  if (StringFromGUID2(classId, guidText, kGuidTextLength) == 0) {
    return E_FAIL;
  }
  wsprintfA(name, "CLSID\\%ls", guidText);
  return S_OK;
}

void ToNarrow(const WCHAR* text, char (&narrow)[kFormatLimit]) { wsprintfA(narrow, "%ls", text); }

}  // namespace

HRESULT WriteClassKey(CLSID classId, const WCHAR* description, const WCHAR* serverPath,
                      const WCHAR* threadingModel, const WCHAR* serverKeyName) {
  char text[kFormatLimit];
  HRESULT hr = ClassKeyName(classId, text);
  if (FAILED(hr)) {
    return hr;
  }
  CRegistryKey classKey;
  LONG status = RegCreateKeyA(HKEY_CLASSES_ROOT, text, classKey.ReleaseAndGetAddressOf());
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  ToNarrow(description, text);
  status = RegSetValueA(classKey.Get(), nullptr, REG_SZ, text, lstrlenA(text) + 1);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  ToNarrow(serverKeyName, text);
  CRegistryKey serverKey;
  status = RegCreateKeyA(classKey.Get(), text, serverKey.ReleaseAndGetAddressOf());
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  ToNarrow(serverPath, text);
  status = RegSetValueA(serverKey.Get(), nullptr, REG_SZ, text, lstrlenA(text) + 1);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  ToNarrow(threadingModel, text);
  status = RegSetValueExA(serverKey.Get(), "ThreadingModel", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text), lstrlenA(text) + 1);
  return ResultFromRegistry(status);
}

HRESULT RemoveClassKey(CLSID classId) {
  char name[kFormatLimit];
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
  char name[kFormatLimit];
  if (FAILED(ClassKeyName(classId, name))) {
    return FALSE;
  }
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
  CRegistryKey key;
  LONG status = RegOpenKeyExA(parent, name, 0, MAXIMUM_ALLOWED, key.ReleaseAndGetAddressOf());
  if (status == ERROR_FILE_NOT_FOUND) {
    return S_OK;
  }
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  // Deleting a subkey moves the next one to its index; a subkey that
  // survives its deletion is stepped over, or the walk would never end.
  DWORD index = 0;
  for (;;) {
    char subkey[MAX_PATH];
    DWORD length = MAX_PATH;
    if (RegEnumKeyExA(key.Get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (FAILED(DeleteKeyTree(key.Get(), subkey))) {
      ++index;
    }
  }
  key.Close();
  status = RegDeleteKeyA(parent, name);
  return status == ERROR_FILE_NOT_FOUND ? S_OK : ResultFromRegistry(status);
}
