// Shared helpers for the registry tests: a private temporary directory and a
// fixture that never touches the developer's own TESSALY_REGISTRY.
#pragma once

#include <gtest/gtest.h>
#include <platform/Registry.h>
#include <win/platform.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace registry_test {

class TempDirectory {
 public:
  TempDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/tessaly-registry-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~TempDirectory() {
    if (m_path.empty()) return;
    for (const std::string& name : Entries()) ::unlink((m_path + "/" + name).c_str());
    ::rmdir(m_path.c_str());
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(m_path.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
  }

 private:
  std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

inline void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

inline bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Every test starts from an empty registry in memory and leaves one behind.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::UseMemoryRegistry(); }
  void TearDown() override { platform::UseMemoryRegistry(); }

  static HKEY Create(const char* path, HKEY parent = HKEY_CLASSES_ROOT) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(parent, path, &key), ERROR_SUCCESS) << path;
    return key;
  }

  static bool Exists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  static void SetString(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }

  // The value's bytes as stored, or "<missing>".
  static std::string Read(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
      return "<missing>";
    }
    std::string data(size, '\0');
    EXPECT_EQ(
        RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size),
        ERROR_SUCCESS);
    data.resize(size);
    return data;
  }

  static std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
      char name[MAX_PATH];
      DWORD length = MAX_PATH;
      LONG status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(status, ERROR_SUCCESS);
      if (status != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    return names;
  }
};

}  // namespace registry_test
