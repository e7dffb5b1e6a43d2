// The COM class keys under HKEY_CLASSES_ROOT\CLSID.
#pragma once

#include "Platform.h"

// Win32 error codes as HRESULTs; ERROR_SUCCESS stays S_OK.
inline HRESULT ResultFromRegistry(LONG status) {
  return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

// Writes CLSID\{classId} with the description, its server subkey with the
// server path and the threading model.
HRESULT WriteClassKey(CLSID classId, const WCHAR* description, const WCHAR* serverPath,
                      const WCHAR* threadingModel, const WCHAR* serverKeyName);

// The server path CLSID\{classId} names: S_OK with the path, S_FALSE when
// the class or its server path is not registered (or does not fit).
HRESULT ReadServerPath(CLSID classId, const WCHAR* serverKeyName, WCHAR (&path)[MAX_PATH]);

// Removes CLSID\{classId} with everything below it; S_OK also when there
// was nothing to remove.
HRESULT RemoveClassKey(CLSID classId);

// TRUE when the registry view of the other bitness (the 32-bit view for a
// 64-bit module, the 64-bit view for a 32-bit module on 64-bit Windows) has a
// server key for CLSID\{classId}: the module of the other bitness is
// registered beside this one. FALSE where the system has one view only.
BOOL ClassKeyInOtherView(CLSID classId);

// Deletes parent\name and all its subkeys. E_FAIL for an empty name (the
// parent itself is never deleted); S_OK when the key is gone, also when it
// never existed; otherwise the error that kept it (or part of it) alive.
// It ends on any content: a subkey that cannot be opened or deleted by the
// name enumeration gives is stepped over and kept.
HRESULT DeleteKeyTree(HKEY parent, const char* name);
