// The registry: one HKEY_CLASSES_ROOT tree.
#pragma once

#include "kernel.h"

typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#define MAXIMUM_ALLOWED 0x02000000u

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif

PLATFORM_API LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
PLATFORM_API LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className,
                                         DWORD options, REGSAM desired,
                                         LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                                         LPDWORD disposition);
PLATFORM_API LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                       PHKEY result);
PLATFORM_API LONG WINAPI RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data,
                                      DWORD dataLength);
PLATFORM_API LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                        const BYTE* data, DWORD dataLength);
PLATFORM_API LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved,
                                          LPDWORD type, LPBYTE data, LPDWORD dataLength);
PLATFORM_API LONG WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                       LPDWORD reserved, LPSTR className, LPDWORD classNameLength,
                                       PFILETIME lastWriteTime);
PLATFORM_API LONG WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR valueName,
                                       LPDWORD valueNameLength, LPDWORD reserved, LPDWORD type,
                                       LPBYTE data, LPDWORD dataLength);
PLATFORM_API LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey);
PLATFORM_API LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName);
PLATFORM_API LONG WINAPI RegCloseKey(HKEY key);
PLATFORM_API LONG WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
PLATFORM_API LONG WINAPI RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, LPLONG dataLength);

// The wide forms take UTF-16 names and string data; the tree keeps them in the
// narrow code page (UTF-8), which spells every name and path.
PLATFORM_API LONG WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className,
                                         DWORD options, REGSAM desired,
                                         LPSECURITY_ATTRIBUTES attributes, PHKEY result,
                                         LPDWORD disposition);
PLATFORM_API LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                                       PHKEY result);
PLATFORM_API LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                        const BYTE* data, DWORD dataLength);
PLATFORM_API LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved,
                                          LPDWORD type, LPBYTE data, LPDWORD dataLength);
PLATFORM_API LONG WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
