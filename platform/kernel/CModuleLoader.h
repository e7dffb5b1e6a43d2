// The loader: modules are shared objects opened with dlopen (or built-in
// modules of the platform), entered through DllMain on their first load and
// left through it on their last free, under one re-entrant loader lock as on
// the platform, so DllMain may itself load modules.
#pragma once

#include <platform/BuiltinModules.h>
#include <win/kernel.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::kernel {

// What an HMODULE points at.
struct CModuleRecord {
  std::string name;         // a file's full path, or a built-in module's registered name
  std::string builtinKey;   // the built-in module's lower-case name; empty for a file
  void* library = nullptr;  // owned: one dlopen reference (files only)
  void* linkMap = nullptr;  // borrowed: the loader's entry for the file
  LONG references = 0;
};

class CModuleLoader {
 public:
  static CModuleLoader& Instance();

  // Each sets the last error when it fails.
  HMODULE Load(const char* fileName);
  bool Free(HMODULE module);
  FARPROC Resolve(HMODULE module, const char* procName);
  DWORD FileName(HMODULE module, char* buffer, DWORD size);
  bool DisableThreadCalls(HMODULE module);

  void RegisterBuiltin(const char* name, BuiltinResolver resolve);
  LONG ReferenceCount(HMODULE module);
  LONG ReferenceCount(const char* name);

 private:
  struct Builtin {
    std::string name;
    BuiltinResolver resolve = nullptr;
  };

  CModuleLoader();
  CModuleRecord* FindLocked(HMODULE module) const;
  CModuleRecord* FindByNameLocked(const char* name) const;
  HMODULE LoadBuiltinLocked(const std::string& key);
  HMODULE LoadFileLocked(const char* fileName);
  // Removes the record; the caller has already run its detach.
  void DiscardLocked(CModuleRecord* record);

  std::recursive_mutex m_lock;
  std::vector<std::unique_ptr<CModuleRecord>> m_modules;  // owned
  std::map<std::string, Builtin> m_builtins;              // by lower-case name
};

}  // namespace platform::kernel
