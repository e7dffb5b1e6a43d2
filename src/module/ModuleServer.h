// What every module of ours answers through DllGetClassObject and
// DllCanUnloadNow, over the class table the module links: TESSALY.AX and the
// decoder's module serve different classes the same way.
#pragma once

#include "Platform.h"

HRESULT GetModuleClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv);
// S_FALSE while a server lock or any object of the module lives.
HRESULT CanUnloadModule();
