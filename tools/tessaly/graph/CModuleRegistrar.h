// Registers and unregisters a filter module through its own DllRegisterServer
// and DllUnregisterServer, loaded the platform's way.
#pragma once

#include <string>

namespace tessaly::cli {

class CModuleRegistrar {
 public:
  // modulePath empty: the module built or installed beside this program.
  explicit CModuleRegistrar(const std::string& modulePath);

  const std::string& ModulePath() const { return m_path; }

  // Both throw CCommandError with the module's result when it fails. COM must
  // be initialised on the calling thread.
  void Register() const;
  void Unregister() const;

  // tessaly.ax beside the program, else in a build tree (../src) or an
  // installation (../lib/tessaly) next to it.
  static std::string DefaultModulePath();

 private:
  void CallExport(const char* exportName, const char* verb) const;

  std::string m_path;
};

}  // namespace tessaly::cli
