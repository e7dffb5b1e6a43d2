// The file system, as far as the module asks about it.
#include <sys/stat.h>
#include <win/kernel.h>

#include <cerrno>
#include <string>

#include "Utf.h"

PLATFORM_API DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
  if (fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  size_t length = 0;
  while (fileName[length] != 0) {
    ++length;
  }
  bool replaced = false;
  std::string path(platform::kernel::Utf16ToUtf8(fileName, length, nullptr, "?", &replaced), '\0');
  platform::kernel::Utf16ToUtf8(fileName, length, path.data(), "?", &replaced);
  struct stat status {};
  if (replaced || stat(path.c_str(), &status) != 0) {
    SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

PLATFORM_API DWORD WINAPI GetLongPathNameW(LPCWSTR shortPath, LPWSTR longPath, DWORD size) {
  if (GetFileAttributesW(shortPath) == INVALID_FILE_ATTRIBUTES) {
    return 0;
  }
  DWORD length = 0;
  while (shortPath[length] != 0) {
    ++length;
  }
  if (longPath == nullptr || length >= size) {
    return length + 1;
  }
  for (DWORD index = 0; index <= length; ++index) {
    longPath[index] = shortPath[index];
  }
  return length;
}
