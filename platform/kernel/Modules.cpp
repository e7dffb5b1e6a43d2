// The platform's module functions and the loader's test hooks.
#include <platform/BuiltinModules.h>
#include <win/kernel.h>

#include <algorithm>
#include <vector>

#include "CModuleLoader.h"
#include "Utf.h"

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

PLATFORM_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (fileName == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Four narrow bytes at most for each wide unit, so the narrow name is
  // never cut where the wide one would still fit.
  std::vector<char> narrow(static_cast<size_t>(size) * 4 + 1);
  DWORD length =
      CModuleLoader::Instance().FileName(module, narrow.data(), static_cast<DWORD>(narrow.size()));
  if (length == 0) {
    return 0;
  }
  bool invalid = false;
  const size_t needed = platform::kernel::Utf8ToUtf16(narrow.data(), length, nullptr, &invalid);
  std::vector<WCHAR> wide(needed + 1);
  platform::kernel::Utf8ToUtf16(narrow.data(), length, wide.data(), &invalid);
  // As the platform does: a name that does not fit is cut, terminated, and
  // reported with the buffer's size.
  if (needed >= size) {
    std::copy(wide.begin(), wide.begin() + (size - 1), fileName);
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::copy(wide.begin(), wide.begin() + needed, fileName);
  fileName[needed] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(needed);
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
