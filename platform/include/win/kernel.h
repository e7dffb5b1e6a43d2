// The subset of the Windows kernel that the module and the platform layer use.
#pragma once

#include <cstdarg>

#include "results.h"
#include "types.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_DECOMMIT 0x00004000u
#define MEM_RELEASE 0x00008000u
#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u

#define PF_AVX2_INSTRUCTIONS_AVAILABLE 40u

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_ERR_INVALID_CHARS 0x00000080u

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif
#ifndef ERROR_INVALID_ADDRESS
#define ERROR_INVALID_ADDRESS 487L
#endif
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif
#ifndef ERROR_NO_UNICODE_TRANSLATION
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#endif

// Opaque storage for a re-entrant lock; only the kernel functions look inside.
typedef struct _RTL_CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

typedef struct _SYSTEM_INFO {
  union {
    DWORD dwOemId;
    struct {
      WORD wProcessorArchitecture;
      WORD wReserved;
    } s;
  } u;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);

// Interlocked operations are sequentially consistent, as on the platform.
inline LONG InterlockedIncrement(LONG volatile* target) {
  return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* target) {
  return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline void* InterlockedExchangePointer(void* volatile* target, void* value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);
PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
PLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs);
PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);

PLATFORM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                        BOOL initialState, LPCSTR name);
PLATFORM_API BOOL WINAPI SetEvent(HANDLE event);
PLATFORM_API BOOL WINAPI ResetEvent(HANDLE event);
PLATFORM_API HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                                            LONG maximumCount, LPCSTR name);
PLATFORM_API BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount,
                                          LPLONG previousCount);
PLATFORM_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                                        LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                        DWORD creationFlags, LPDWORD threadId);
PLATFORM_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
PLATFORM_API DWORD WINAPI GetCurrentThreadId(void);
PLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
PLATFORM_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                                 DWORD milliseconds);
PLATFORM_API BOOL WINAPI CloseHandle(HANDLE handle);
PLATFORM_API void WINAPI Sleep(DWORD milliseconds);
PLATFORM_API DWORD WINAPI GetTickCount(void);

PLATFORM_API LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType,
                                        DWORD protect);
PLATFORM_API BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);
PLATFORM_API void WINAPI GetSystemInfo(LPSYSTEM_INFO info);
PLATFORM_API BOOL WINAPI IsProcessorFeaturePresent(DWORD processorFeature);

PLATFORM_API DWORD WINAPI GetLastError(void);
PLATFORM_API void WINAPI SetLastError(DWORD error);

PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);
PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
PLATFORM_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
PLATFORM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);

PLATFORM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte,
                                            int multiByteCount, LPWSTR wide, int wideCount);
PLATFORM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount,
                                            LPSTR multiByte, int multiByteCount, LPCSTR defaultChar,
                                            LPBOOL usedDefaultChar);
PLATFORM_API int WINAPI lstrlenA(LPCSTR string);
PLATFORM_API int WINAPI lstrlenW(LPCWSTR string);
PLATFORM_API int WINAPI lstrcmpiW(LPCWSTR first, LPCWSTR second);

#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
// A path in the narrow spelling of this platform: Directory or Normal, or
// INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
PLATFORM_API DWORD WINAPI GetFileAttributesW(LPCWSTR fileName);
// This platform has no short names: the long form is the path itself, when
// it names an existing file.
PLATFORM_API DWORD WINAPI GetLongPathNameW(LPCWSTR shortPath, LPWSTR longPath, DWORD size);
PLATFORM_API int wsprintfA(LPSTR buffer, LPCSTR format, ...);
PLATFORM_API int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments);
