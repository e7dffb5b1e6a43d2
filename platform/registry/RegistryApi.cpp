// The registry functions of the platform, and the hooks of platform/Registry.h,
// on top of the process's one RegistryStore.
#include <platform/Registry.h>
#include <win/registry.h>

#include <new>
#include <string>

#include "RegistryStore.h"

using platform::registry::RegistryStore;

namespace {

// No exception may cross into a caller that expects a Win32 error code.
template <typename Call>
LONG Guarded(Call call) {
  try {
    return call(RegistryStore::Instance());
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

}  // namespace

LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  return Guarded([&](RegistryStore& store) {
    return store.CreateKey(key, subKey, MAXIMUM_ALLOWED, result, nullptr);
  });
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                            REGSAM desired, LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                            LPDWORD disposition) {
  // Unlike RegCreateKeyA, the extended form needs a subkey name.
  if (subKey == nullptr) return ERROR_BAD_PATHNAME;
  return Guarded([&](RegistryStore& store) {
    return store.CreateKey(key, subKey, desired, result, disposition);
  });
}

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  return Guarded([&](RegistryStore& store) { return store.OpenKey(key, subKey, desired, result); });
}

LONG WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  return Guarded(
      [&](RegistryStore& store) { return store.OpenKey(key, subKey, MAXIMUM_ALLOWED, result); });
}

LONG WINAPI RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD dataLength) {
  if (type != REG_SZ || data == nullptr) return ERROR_INVALID_PARAMETER;
  // The platform takes the length from the string, whatever dataLength says.
  DWORD size = static_cast<DWORD>(std::char_traits<char>::length(data) + 1);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(data);
  return Guarded([&](RegistryStore& store) {
    return store.SetValue(key, subKey, nullptr, REG_SZ, bytes, size);
  });
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataLength) {
  return Guarded([&](RegistryStore& store) {
    return store.SetValue(key, nullptr, valueName, type, data, dataLength);
  });
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataLength) {
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  return Guarded([&](RegistryStore& store) {
    return store.QueryValue(key, nullptr, valueName, type, data, dataLength, false);
  });
}

LONG WINAPI RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, LPLONG dataLength) {
  if (dataLength != nullptr && *dataLength < 0) return ERROR_INVALID_PARAMETER;
  DWORD size = dataLength == nullptr ? 0 : static_cast<DWORD>(*dataLength);
  DWORD type = REG_NONE;
  LONG status = Guarded([&](RegistryStore& store) {
    return store.QueryValue(key, subKey, nullptr, &type, reinterpret_cast<LPBYTE>(data),
                            dataLength == nullptr ? nullptr : &size, true);
  });
  if (status == ERROR_SUCCESS && type != REG_SZ) return ERROR_INVALID_DATA;
  if (dataLength != nullptr && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) {
    *dataLength = static_cast<LONG>(size);
  }
  return status;
}

LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                          LPSTR className, LPDWORD classNameLength, PFILETIME lastWriteTime) {
  return Guarded([&](RegistryStore& store) {
    return store.EnumKey(key, index, name, nameLength, className, classNameLength, lastWriteTime);
  });
}

LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                          LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataLength) {
  return Guarded([&](RegistryStore& store) {
    return store.EnumValue(key, index, valueName, valueNameLength, type, data, dataLength);
  });
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  return Guarded([&](RegistryStore& store) { return store.DeleteKey(key, subKey); });
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
  return Guarded([&](RegistryStore& store) { return store.DeleteValue(key, valueName); });
}

LONG WINAPI RegCloseKey(HKEY key) {
  return Guarded([&](RegistryStore& store) { return store.CloseKey(key); });
}

namespace platform {

bool UseRegistryFile(const std::string& path, std::string* error) {
  try {
    return RegistryStore::Instance().UseFile(path, error);
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = "out of memory while loading the registry";
    return false;
  }
}

void UseMemoryRegistry() { RegistryStore::Instance().UseMemory(); }

void ResetRegistry() { RegistryStore::Instance().Reset(); }

void SetUnspellableKeyName(std::string_view name) {
  RegistryStore::Instance().SetUnspellableName(name);
}

std::string ExportRegistryText() { return RegistryStore::Instance().Export(); }

bool ImportRegistryText(std::string_view text, std::string* error) {
  try {
    return RegistryStore::Instance().Import(text, error);
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = "out of memory while importing registry text";
    return false;
  }
}

std::string RegistryFilePath() { return RegistryStore::Instance().FilePath(); }

std::string RegistryLoadError() { return RegistryStore::Instance().LoadError(); }

}  // namespace platform
