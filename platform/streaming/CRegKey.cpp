#include "CRegKey.h"

namespace platform {

LONG CRegKey::Create(HKEY parent, const std::string& path) {
  Close();
  return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, &m_key, nullptr);
}

LONG CRegKey::Open(HKEY parent, const std::string& path) {
  Close();
  LONG status = RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &m_key);
  if (status != ERROR_SUCCESS) m_key = nullptr;
  return status;
}

void CRegKey::Close() {
  if (m_key) RegCloseKey(std::exchange(m_key, nullptr));
}

LONG CRegKey::SetString(const char* name, const std::string& value) {
  return RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
}

LONG CRegKey::SetDword(const char* name, DWORD value) {
  return RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof(value));
}

bool CRegKey::QueryString(const char* name, std::string* value) const {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::string data(size, '\0');
  if (RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  // Stored with or without its terminator; either way the text ends at the first zero.
  std::string::size_type end = data.find('\0');
  if (end != std::string::npos) data.resize(end);
  *value = std::move(data);
  return true;
}

bool CRegKey::QueryDword(const char* name, DWORD* value) const {
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_DWORD || size != sizeof(data)) return false;
  *value = data;
  return true;
}

std::vector<std::string> CRegKey::SubkeyNames() const {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[MAX_PATH];
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(m_key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

bool CRegKey::IsEmpty() const {
  char name[MAX_PATH];
  DWORD length = sizeof(name);
  if (RegEnumKeyExA(m_key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    return false;
  }
  // A long first value name answers ERROR_MORE_DATA, which still means "not empty".
  char valueName[MAX_PATH];
  DWORD valueNameLength = sizeof(valueName);
  LONG status =
      RegEnumValueA(m_key, 0, valueName, &valueNameLength, nullptr, nullptr, nullptr, nullptr);
  return status == ERROR_NO_MORE_ITEMS;
}

LONG CRegKey::DeleteTree(HKEY parent, const std::string& path) {
  CRegKey key;
  LONG status = key.Open(parent, path);
  if (status != ERROR_SUCCESS) return status;
  for (const std::string& child : key.SubkeyNames()) {
    status = DeleteTree(key.Get(), child);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
  }
  key.Close();
  return RegDeleteKeyA(parent, path.c_str());
}

}  // namespace platform
