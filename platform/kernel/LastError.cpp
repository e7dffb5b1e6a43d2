#include <win/kernel.h>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

PLATFORM_API DWORD WINAPI GetLastError(void) { return t_lastError; }

PLATFORM_API void WINAPI SetLastError(DWORD error) { t_lastError = error; }
