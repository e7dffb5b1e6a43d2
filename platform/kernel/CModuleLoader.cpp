#include "CModuleLoader.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

namespace platform::kernel {

namespace {

using DllEntry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

bool HasDirectory(const std::string& name) {
  return name.find_first_of("/\\") != std::string::npos;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The lower-case name a built-in module is known by; empty when the name has directories.
std::string BuiltinKey(const char* name) {
  std::string key(name);
  if (key.empty() || HasDirectory(key)) {
    return std::string();
  }
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (key.find('.') == std::string::npos) {
    key += ".dll";
  }
  return key;
}

std::string RealPath(const char* path) {
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) {
    return std::string(path);
  }
  std::string result(resolved);
  free(resolved);
  return result;
}

void* LinkMapOf(void* library) {
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0) {
    return nullptr;
  }
  return map;
}

// dlsym also searches a library's dependencies; the platform's loader finds only the module's own
// exports.
void* OwnExport(void* library, void* linkMap, const char* procName) {
  void* symbol = dlsym(library, procName);
  if (symbol == nullptr) {
    return nullptr;
  }
  Dl_info info;
  link_map* owner = nullptr;
  if (dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
      owner != linkMap) {
    return nullptr;
  }
  return symbol;
}

std::string ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) {
    return std::string();
  }
  return std::string(path, static_cast<size_t>(length));
}

// Built-in modules live in the platform library, so that is their file.
std::string PlatformLibraryPath() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&PlatformLibraryPath), &info) == 0 ||
      info.dli_fname == nullptr) {
    return std::string();
  }
  return RealPath(info.dli_fname);
}

// Copies as the platform does: truncated but terminated, with the buffer size returned.
DWORD CopyFileName(const std::string& name, char* buffer, DWORD size) {
  if (size == 0 || buffer == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (name.size() >= size) {
    std::memcpy(buffer, name.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(name.size());
}

bool IsOrdinal(const char* procName) { return reinterpret_cast<uintptr_t>(procName) < 0x10000; }

BOOL CallEntry(CModuleRecord* record, DWORD reason) {
  auto entry = reinterpret_cast<DllEntry>(OwnExport(record->library, record->linkMap, "DllMain"));
  if (entry == nullptr) {
    return TRUE;
  }
  return entry(reinterpret_cast<HINSTANCE>(record), reason, nullptr);
}

}  // namespace

CModuleLoader& CModuleLoader::Instance() {
  // Never destroyed, and built on first use, so other libraries may register at static-init time.
  static CModuleLoader* loader = new CModuleLoader;
  return *loader;
}

CModuleLoader::CModuleLoader() {
  m_builtins[BuiltinKey("OleAut32.dll")] = Builtin{"OleAut32.dll", nullptr};
}

CModuleRecord* CModuleLoader::FindLocked(HMODULE module) const {
  for (const auto& record : m_modules) {
    if (reinterpret_cast<HMODULE>(record.get()) == module) {
      return record.get();
    }
  }
  return nullptr;
}

CModuleRecord* CModuleLoader::FindByNameLocked(const char* name) const {
  if (name == nullptr) {
    return nullptr;
  }
  const std::string key = BuiltinKey(name);
  if (!key.empty() && m_builtins.count(key) != 0) {
    for (const auto& record : m_modules) {
      if (record->builtinKey == key) {
        return record.get();
      }
    }
    return nullptr;
  }
  const std::string wanted(name);
  const std::string resolved = HasDirectory(wanted) ? RealPath(name) : std::string();
  for (const auto& record : m_modules) {
    if (!record->builtinKey.empty()) {
      continue;
    }
    if (record->name == wanted || record->name == resolved || BaseName(record->name) == wanted) {
      return record.get();
    }
  }
  return nullptr;
}

HMODULE CModuleLoader::Load(const char* fileName) {
  if (fileName == nullptr || *fileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  try {
    const std::string key = BuiltinKey(fileName);
    if (!key.empty() && m_builtins.count(key) != 0) {
      return LoadBuiltinLocked(key);
    }
    return LoadFileLocked(fileName);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

HMODULE CModuleLoader::LoadBuiltinLocked(const std::string& key) {
  for (const auto& record : m_modules) {
    if (record->builtinKey == key) {
      ++record->references;
      return reinterpret_cast<HMODULE>(record.get());
    }
  }
  auto record = std::make_unique<CModuleRecord>();
  record->name = m_builtins[key].name;
  record->builtinKey = key;
  record->references = 1;
  m_modules.push_back(std::move(record));
  return reinterpret_cast<HMODULE>(m_modules.back().get());
}

HMODULE CModuleLoader::LoadFileLocked(const char* fileName) {
  void* library = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const bool present = HasDirectory(fileName) && access(fileName, F_OK) == 0;
    SetLastError(present ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  for (const auto& record : m_modules) {
    if (record->library == library) {
      // One dlopen reference a record; the record counts the loads.
      dlclose(library);
      ++record->references;
      return reinterpret_cast<HMODULE>(record.get());
    }
  }
  std::unique_ptr<CModuleRecord> created;
  try {
    created = std::make_unique<CModuleRecord>();
    created->library = library;
    created->linkMap = LinkMapOf(library);
    const link_map* map = static_cast<const link_map*>(created->linkMap);
    created->name = RealPath(map != nullptr && map->l_name[0] != '\0' ? map->l_name : fileName);
    created->references = 1;
    m_modules.push_back(std::move(created));
  } catch (const std::bad_alloc&) {
    dlclose(library);
    throw;
  }
  CModuleRecord* record = m_modules.back().get();
  // The record is listed before DllMain runs, so the entry point may ask for its own file name.
  if (!CallEntry(record, DLL_PROCESS_ATTACH)) {
    // The platform tells a module whose attach failed that it is being detached.
    CallEntry(record, DLL_PROCESS_DETACH);
    DiscardLocked(record);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(record);
}

void CModuleLoader::DiscardLocked(CModuleRecord* record) {
  void* library = record->library;
  m_modules.erase(std::find_if(m_modules.begin(), m_modules.end(),
                               [record](const auto& owned) { return owned.get() == record; }));
  if (library != nullptr) {
    dlclose(library);
  }
}

bool CModuleLoader::Free(HMODULE module) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  CModuleRecord* record = FindLocked(module);
  if (record == nullptr || record->references <= 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (--record->references > 0) {
    return true;
  }
  if (record->builtinKey.empty()) {
    CallEntry(record, DLL_PROCESS_DETACH);
  }
  DiscardLocked(record);
  return true;
}

FARPROC CModuleLoader::Resolve(HMODULE module, const char* procName) {
  if (procName == nullptr || IsOrdinal(procName)) {
    // Exports by ordinal do not exist in shared objects.
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = nullptr;
  if (module == nullptr) {
    void* program = dlopen(nullptr, RTLD_NOW);
    symbol = OwnExport(program, LinkMapOf(program), procName);
    dlclose(program);
  } else {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    CModuleRecord* record = FindLocked(module);
    if (record == nullptr) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    if (!record->builtinKey.empty()) {
      BuiltinResolver resolve = m_builtins[record->builtinKey].resolve;
      FARPROC procedure = resolve != nullptr ? resolve(procName) : nullptr;
      if (procedure == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
      }
      return procedure;
    }
    symbol = OwnExport(record->library, record->linkMap, procName);
  }
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

DWORD CModuleLoader::FileName(HMODULE module, char* buffer, DWORD size) {
  std::string name;
  try {
    if (module == nullptr) {
      name = ExecutablePath();
    } else {
      std::lock_guard<std::recursive_mutex> lock(m_lock);
      CModuleRecord* record = FindLocked(module);
      if (record == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
      }
      name = record->builtinKey.empty() ? record->name : PlatformLibraryPath();
    }
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return CopyFileName(name, buffer, size);
}

bool CModuleLoader::DisableThreadCalls(HMODULE module) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  CModuleRecord* record = FindLocked(module);
  if (record == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // No thread notifications are ever sent, so there is nothing left to switch off.
  return true;
}

void CModuleLoader::RegisterBuiltin(const char* name, BuiltinResolver resolve) {
  if (name == nullptr) {
    return;
  }
  const std::string key = BuiltinKey(name);
  if (key.empty()) {
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  m_builtins[key] = Builtin{name, resolve};
}

LONG CModuleLoader::ReferenceCount(HMODULE module) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  CModuleRecord* record = FindLocked(module);
  return record == nullptr ? 0 : record->references;
}

LONG CModuleLoader::ReferenceCount(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  CModuleRecord* record = FindByNameLocked(name);
  return record == nullptr ? 0 : record->references;
}

}  // namespace platform::kernel
