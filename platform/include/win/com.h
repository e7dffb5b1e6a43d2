// The COM runtime: task memory, initialisation, class creation.
#pragma once

#include "kernel.h"
#include "unknown.h"

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

#define COINIT_APARTMENTTHREADED 0x2u
#define COINIT_MULTITHREADED 0x0u
#define COINIT_DISABLE_OLE1DDE 0x4u
#define COINIT_SPEED_OVER_MEMORY 0x8u

#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)

typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)(void);

PLATFORM_API HRESULT WINAPI CoInitialize(LPVOID reserved);
PLATFORM_API HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
PLATFORM_API void WINAPI CoUninitialize(void);
PLATFORM_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size);
PLATFORM_API LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size);
PLATFORM_API void WINAPI CoTaskMemFree(LPVOID block);
PLATFORM_API int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR buffer, int bufferLength);
PLATFORM_API HRESULT WINAPI CLSIDFromString(LPCOLESTR string, LPCLSID clsid);
PLATFORM_API HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID serverInfo,
                                             REFIID riid, LPVOID* ppv);
PLATFORM_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                             REFIID riid, LPVOID* ppv);
PLATFORM_API void WINAPI CoFreeUnusedLibraries(void);
