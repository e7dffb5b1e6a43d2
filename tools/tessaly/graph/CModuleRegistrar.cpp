#include "tessaly/graph/CModuleRegistrar.h"

#include <win/platform.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "tessaly/CCommandError.h"
#include "tessaly/FileSystem.h"
#include "tessaly/reports/HResultText.h"

namespace tessaly::cli {

namespace {

using RegistrationEntry = HRESULT(STDAPICALLTYPE*)();

// Results by which a registration says the registry file itself failed.
bool IsRegistryFailure(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_CANTWRITE) || hr == HRESULT_FROM_WIN32(ERROR_BADDB) ||
         hr == HRESULT_FROM_WIN32(ERROR_CANTOPEN) ||
         hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) || hr == REGDB_E_READREGDB ||
         hr == E_ACCESSDENIED;
}

std::string AbsolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// Holds a LoadLibraryA reference until the end of the scope.
class CLoadedModule {
 public:
  explicit CLoadedModule(const std::string& path) : m_module(LoadLibraryA(path.c_str())) {}
  CLoadedModule(const CLoadedModule&) = delete;
  CLoadedModule& operator=(const CLoadedModule&) = delete;
  ~CLoadedModule() {
    if (m_module != nullptr) FreeLibrary(m_module);
  }
  HMODULE Get() const { return m_module; }

 private:
  HMODULE m_module;
};

}  // namespace

CModuleRegistrar::CModuleRegistrar(const std::string& modulePath)
    : m_path(AbsolutePath(modulePath.empty() ? DefaultModulePath() : modulePath)) {}

std::string CModuleRegistrar::DefaultModulePath() {
  const std::string folder = FolderOf(ProgramPath());
  const std::string candidates[] = {folder + "/tessaly.ax", folder + "/../src/tessaly.ax",
                                    folder + "/../lib/tessaly/tessaly.ax"};
  for (const std::string& candidate : candidates) {
    if (access(candidate.c_str(), F_OK) == 0) return candidate;
  }
  return candidates[0];
}

void CModuleRegistrar::Register() const { CallExport("DllRegisterServer", "registering"); }

void CModuleRegistrar::Unregister() const { CallExport("DllUnregisterServer", "unregistering"); }

void CModuleRegistrar::CallExport(const char* exportName, const char* verb) const {
  if (access(m_path.c_str(), F_OK) != 0) {
    throw CCommandError(kExitNotRegistered, "no module at " + m_path +
                                                ": build it first or name it with --module PATH");
  }
  CLoadedModule module(m_path);
  if (module.Get() == nullptr) {
    throw CCommandError(kExitNotRegistered,
                        "cannot load the module " + m_path + ": " +
                            DescribeHResult(HRESULT_FROM_WIN32(GetLastError())));
  }
  // Exports come back as FARPROC; void (*)() is the neutral type between the two.
  auto entry = reinterpret_cast<RegistrationEntry>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.Get(), exportName)));
  if (entry == nullptr) {
    throw CCommandError(kExitNotRegistered,
                        m_path + " is not a self-registering module: it has no " + exportName);
  }
  const HRESULT hr = entry();
  if (FAILED(hr)) {
    throw CCommandError(IsRegistryFailure(hr) ? kExitRegistryFailed : kExitFailure,
                        std::string(verb) + " " + m_path + " failed: " + DescribeHResult(hr));
  }
}

}  // namespace tessaly::cli
