// Where the registry says a class's in-process server lives.
#pragma once

#include <win/guid.h>

#include <string>

namespace platform::com {

// Reads the default value of HKCR\CLSID\{clsid}\InprocServer32.
// REGDB_E_CLASSNOTREG when the class has no in-process server registered.
HRESULT ReadInprocServerPath(REFCLSID clsid, std::string* path);

}  // namespace platform::com
