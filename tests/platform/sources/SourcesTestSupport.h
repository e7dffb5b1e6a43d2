// Shared by the async file source and filter mapper tests: a COM apartment and
// a memory registry per test, and temporary files.
#pragma once

#include <gtest/gtest.h>
#include <platform/Registry.h>
#include <win/platform.h>

#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "com/CComHolder.h"

namespace sources_test {

// The FILM identifiers; the platform itself knows nothing of them.
inline constexpr GUID MEDIASUBTYPE_CpkFilm = {
    0x6B1E4F21, 0xD3A7, 0x11D1, {0x8C, 0x53, 0x00, 0xA0, 0xC9, 0x3B, 0x7E, 0x14}};
inline constexpr GUID CLSID_CpkSplitter = {
    0x6B1E4F20, 0xD3A7, 0x11D1, {0x8C, 0x52, 0x00, 0xA0, 0xC9, 0x3B, 0x7E, 0x14}};

inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// A folder of its own under the system's temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    m_path = std::filesystem::temp_directory_path() /
             ("tessaly-sources-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(m_path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  std::string File(const std::string& name) const { return (m_path / name).string(); }
  std::string Write(const std::string& name, const std::vector<BYTE>& bytes) const {
    std::string path = File(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::filesystem::path m_path;
};

inline std::u16string Wide(const std::string& utf8) {
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::u16string wide(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), units);
  wide.resize(static_cast<size_t>(units) - 1);
  return wide;
}

// Every test gets its own apartment and an empty registry in memory.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseMemoryRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    CoUninitialize();
    platform::UseMemoryRegistry();
  }

  template <typename T>
  void Create(REFCLSID clsid, REFIID iid, CComHolder<T>& out) {
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                     out.ReleaseAndGetVoidAddressOf()));
  }
};

}  // namespace sources_test
