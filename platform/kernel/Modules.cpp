// The platform's module functions and the loader's test hooks.
#include <platform/BuiltinModules.h>
#include <win/kernel.h>

#include "CModuleLoader.h"

using platform::kernel::CModuleLoader;

PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  return CModuleLoader::Instance().Load(fileName);
}

PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  return CModuleLoader::Instance().Resolve(module, procName);
}

PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module) {
  return CModuleLoader::Instance().Free(module) ? TRUE : FALSE;
}

PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  return CModuleLoader::Instance().FileName(module, fileName, size);
}

PLATFORM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) {
  return CModuleLoader::Instance().DisableThreadCalls(module) ? TRUE : FALSE;
}

namespace platform {

void RegisterBuiltinModule(const char* name, BuiltinResolver resolve) {
  kernel::CModuleLoader::Instance().RegisterBuiltin(name, resolve);
}

bool IsModuleLoaded(const char* name) {
  return kernel::CModuleLoader::Instance().ReferenceCount(name) > 0;
}

LONG ModuleReferenceCount(HMODULE module) {
  return kernel::CModuleLoader::Instance().ReferenceCount(module);
}

LONG ModuleReferenceCount(const char* name) {
  return kernel::CModuleLoader::Instance().ReferenceCount(name);
}

}  // namespace platform
