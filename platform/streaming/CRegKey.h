// An open registry key that closes itself, with the few reads and writes the
// filter mapper needs. Paths are narrow (UTF-8), relative to the parent key.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <win/platform.h>

namespace platform {

class CRegKey {
 public:
  CRegKey() = default;
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;
  CRegKey(CRegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
  ~CRegKey() { Close(); }

  // Both return a Win32 error code; ERROR_FILE_NOT_FOUND from Open when the key is missing.
  LONG Create(HKEY parent, const std::string& path);
  LONG Open(HKEY parent, const std::string& path);
  void Close();
  HKEY Get() const { return m_key; }

  LONG SetString(const char* name, const std::string& value);
  LONG SetDword(const char* name, DWORD value);
  bool QueryString(const char* name, std::string* value) const;
  bool QueryDword(const char* name, DWORD* value) const;
  std::vector<std::string> SubkeyNames() const;
  bool IsEmpty() const;

  // Deletes path under parent with everything below it; ERROR_FILE_NOT_FOUND
  // when it was not there. A subkey that will not go ends the walk, not loops it.
  static LONG DeleteTree(HKEY parent, const std::string& path);

 private:
  HKEY m_key = nullptr;  // owned
};

}  // namespace platform
