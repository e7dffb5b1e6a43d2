// The registry functions of the platform, and the hooks of platform/Registry.h,
// on top of the process's one RegistryStore.
#include <platform/Registry.h>
#include <win/registry.h>

#include <algorithm>
#include <new>
#include <string>

#include "../kernel/Utf.h"
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

// A wide name in the tree's narrow spelling; null stays null.
const char* NarrowName(LPCWSTR wide, std::string& narrow) {
  if (wide == nullptr) return nullptr;
  size_t length = 0;
  while (wide[length] != 0) ++length;
  bool replaced = false;
  narrow.resize(platform::kernel::Utf16ToUtf8(wide, length, nullptr, "?", &replaced));
  platform::kernel::Utf16ToUtf8(wide, length, narrow.data(), "?", &replaced);
  return narrow.c_str();
}

bool IsTextType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
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

LONG WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className,
                            DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES attributes,
                            PHKEY result, LPDWORD disposition) {
  if (subKey == nullptr) return ERROR_BAD_PATHNAME;
  return Guarded([&](RegistryStore& store) {
    std::string name;
    return store.CreateKey(key, NarrowName(subKey, name), desired, result, disposition);
  });
}

LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  return Guarded([&](RegistryStore& store) {
    std::string name;
    return store.OpenKey(key, NarrowName(subKey, name), desired, result);
  });
}

LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD dataLength) {
  return Guarded([&](RegistryStore& store) {
    std::string name;
    const char* narrowName = NarrowName(valueName, name);
    if (!IsTextType(type) || data == nullptr) {
      return store.SetValue(key, nullptr, narrowName, type, data, dataLength);
    }
    // Text is kept narrow: the wide units, terminators included, become
    // their narrow spelling, as an A-reader of the value expects.
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(data);
    const size_t units = dataLength / sizeof(WCHAR);
    bool replaced = false;
    std::string text(platform::kernel::Utf16ToUtf8(wide, units, nullptr, "?", &replaced), '\0');
    platform::kernel::Utf16ToUtf8(wide, units, text.data(), "?", &replaced);
    return store.SetValue(key, nullptr, narrowName, type,
                          reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size()));
  });
}

LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataLength) {
  if (reserved != nullptr || (data != nullptr && dataLength == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  return Guarded([&](RegistryStore& store) -> LONG {
    std::string name;
    const char* narrowName = NarrowName(valueName, name);
    DWORD storedType = REG_NONE;
    DWORD size = 0;
    LONG status = store.QueryValue(key, nullptr, narrowName, &storedType, nullptr, &size, false);
    if (status != ERROR_SUCCESS) return status;
    std::string stored(size, '\0');
    status = store.QueryValue(key, nullptr, narrowName, &storedType,
                              reinterpret_cast<LPBYTE>(stored.data()), &size, false);
    if (status != ERROR_SUCCESS) return status;
    stored.resize(size);
    if (type != nullptr) *type = storedType;
    std::u16string wide;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(stored.data());
    DWORD needed = size;
    if (IsTextType(storedType)) {
      // Text goes out in wide units, as the platform keeps it.
      bool invalid = false;
      wide.resize(platform::kernel::Utf8ToUtf16(stored.data(), stored.size(), nullptr, &invalid));
      platform::kernel::Utf8ToUtf16(stored.data(), stored.size(), wide.data(), &invalid);
      bytes = reinterpret_cast<const BYTE*>(wide.data());
      needed = static_cast<DWORD>(wide.size() * sizeof(WCHAR));
    }
    if (dataLength == nullptr) return ERROR_SUCCESS;
    const DWORD room = *dataLength;
    *dataLength = needed;
    if (data == nullptr) return ERROR_SUCCESS;
    if (room < needed) return ERROR_MORE_DATA;
    std::copy(bytes, bytes + needed, data);
    return ERROR_SUCCESS;
  });
}

LONG WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  return Guarded([&](RegistryStore& store) {
    std::string name;
    return store.DeleteKey(key, NarrowName(subKey, name));
  });
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

void SetReadOnlyKeyPath(std::string_view path) { RegistryStore::Instance().SetReadOnlyPath(path); }

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
