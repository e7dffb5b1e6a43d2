#include "InprocServerPath.h"

#include <win/registry.h>

#include <cstdlib>
#include <vector>

#include "GuidText.h"

namespace platform::com {
namespace {

class CRegistryKeyHolder {
 public:
  CRegistryKeyHolder() = default;
  CRegistryKeyHolder(const CRegistryKeyHolder&) = delete;
  CRegistryKeyHolder& operator=(const CRegistryKeyHolder&) = delete;
  ~CRegistryKeyHolder() {
    if (m_key != nullptr) RegCloseKey(m_key);
  }
  PHKEY Receive() { return &m_key; }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;  // owned
};

// Replaces each %NAME% with the environment's value, as REG_EXPAND_SZ asks;
// an unknown name or a lone percent sign stays as it is.
std::string ExpandEnvironmentReferences(const std::string& text) {
  std::string result;
  size_t position = 0;
  while (position < text.size()) {
    const size_t open = text.find('%', position);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(text, position, std::string::npos);
      break;
    }
    result.append(text, position, open - position);
    const std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value != nullptr) {
      result.append(value);
      position = close + 1;
    } else {
      result.push_back('%');
      position = open + 1;
    }
  }
  return result;
}

HRESULT ReadDefaultString(HKEY key, std::string* text, DWORD* type) {
  // The value may grow between the size query and the read; try again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    LONG error = RegQueryValueExA(key, nullptr, nullptr, type, nullptr, &size);
    if (error == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
    if (error != ERROR_SUCCESS) return REGDB_E_READREGDB;
    if (*type != REG_SZ && *type != REG_EXPAND_SZ) return REGDB_E_READREGDB;
    std::vector<char> buffer(size + 1, '\0');
    error = RegQueryValueExA(key, nullptr, nullptr, type, reinterpret_cast<LPBYTE>(buffer.data()),
                             &size);
    if (error == ERROR_MORE_DATA) continue;
    if (error != ERROR_SUCCESS) return REGDB_E_READREGDB;
    // Stored strings need not carry their terminator.
    buffer[size < buffer.size() ? size : buffer.size() - 1] = '\0';
    text->assign(buffer.data());
    return S_OK;
  }
  return REGDB_E_READREGDB;
}

}  // namespace

HRESULT ReadInprocServerPath(REFCLSID clsid, std::string* path) {
  char clsidText[kGuidTextLength + 1];
  FormatGuidText(clsid, clsidText);
  const std::string keyPath = std::string("CLSID\\") + clsidText + "\\InprocServer32";

  CRegistryKeyHolder key;
  const LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, key.Receive());
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return REGDB_E_CLASSNOTREG;
  }
  if (error != ERROR_SUCCESS) {
    return REGDB_E_READREGDB;
  }
  DWORD type = REG_NONE;
  std::string text;
  const HRESULT hr = ReadDefaultString(key.Get(), &text, &type);
  if (FAILED(hr)) {
    return hr;
  }
  *path = type == REG_EXPAND_SZ ? ExpandEnvironmentReferences(text) : text;
  return S_OK;
}

}  // namespace platform::com
