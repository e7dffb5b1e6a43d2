// A folder of its own for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools_test {

class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  // Names in the folder (not recursive), sorted.
  std::vector<std::string> Names() const { return NamesIn(m_path); }
  static std::vector<std::string> NamesIn(const std::string& folder);
  static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

 private:
  std::string m_path;
};

}  // namespace tools_test
