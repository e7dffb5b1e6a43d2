// The automation library's type-library loaders, the procedures of the
// built-in "OleAut32.dll", and the test hooks.
#include <platform/Automation.h>
#include <platform/BuiltinModules.h>

#include <atomic>
#include <cstring>

#include <win/platform.h>

#include "CControlTypeLibrary.h"
#include "MediaPositionMembers.h"

using platform::automation::CControlTypeLibrary;

namespace {

std::atomic<bool> g_registered{true};
std::atomic<bool> g_filePresent{true};
std::atomic<LONG> g_loadRegTypeLibCalls{0};
std::atomic<LONG> g_loadTypeLibCalls{0};

constexpr const OLECHAR* kControlFileName = u"control.tlb";

// The file name without the directories before it.
const OLECHAR* BaseName(const OLECHAR* path) {
  const OLECHAR* base = path;
  for (const OLECHAR* c = path; *c != 0; ++c) {
    if (*c == u'\\' || *c == u'/' || *c == u':') {
      base = c + 1;
    }
  }
  return base;
}

HRESULT NewControlLibrary(ITypeLib** typeLib) {
  if (!g_filePresent.load()) {
    return TYPE_E_CANTLOADLIBRARY;
  }
  CControlTypeLibrary* library = CControlTypeLibrary::Create();
  if (library == nullptr) {
    return E_OUTOFMEMORY;
  }
  *typeLib = library;
  return S_OK;
}

template <class F>
FARPROC AsProcedure(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

struct Procedure {
  const char* name;
  FARPROC address;
};

// Registered at load time: the kernel's loader starts with an empty resolver
// for this name, and the automation library fills it in.
struct AutomationRegistration {
  AutomationRegistration() {
    platform::RegisterBuiltinModule("OleAut32.dll", &platform::AutomationProcedure);
  }
} g_registration;

}  // namespace

PLATFORM_API HRESULT WINAPI LoadTypeLib(LPCOLESTR file, ITypeLib** typeLib) {
  ++g_loadTypeLibCalls;
  if (typeLib == nullptr) {
    return E_INVALIDARG;
  }
  *typeLib = nullptr;
  if (file == nullptr) {
    return E_INVALIDARG;
  }
  if (!platform::automation::SameName(BaseName(file), kControlFileName)) {
    return TYPE_E_CANTLOADLIBRARY;
  }
  return NewControlLibrary(typeLib);
}

PLATFORM_API HRESULT WINAPI LoadRegTypeLib(REFGUID libraryId, WORD majorVersion, WORD minorVersion,
                                           LCID lcid, ITypeLib** typeLib) {
  ++g_loadRegTypeLibCalls;
  if (typeLib == nullptr) {
    return E_INVALIDARG;
  }
  *typeLib = nullptr;
  // Version 1.0 is the only one registered: the major must match and the
  // minor must not ask for more; the library is language-neutral.
  if (!g_registered.load() || !IsEqualGUID(libraryId, LIBID_QuartzTypeLib) || majorVersion != 1 ||
      minorVersion > 0) {
    return TYPE_E_LIBNOTREGISTERED;
  }
  // The registration names control.tlb, which must still be there.
  return NewControlLibrary(typeLib);
}

namespace platform {

FARPROC AutomationProcedure(const char* procName) {
  static const Procedure kProcedures[] = {
      {"LoadRegTypeLib", AsProcedure(&LoadRegTypeLib)},
      {"LoadTypeLib", AsProcedure(&LoadTypeLib)},
      {"SysAllocString", AsProcedure(&SysAllocString)},
      {"SysAllocStringLen", AsProcedure(&SysAllocStringLen)},
      {"SysFreeString", AsProcedure(&SysFreeString)},
      {"SysStringLen", AsProcedure(&SysStringLen)},
      {"VariantInit", AsProcedure(&VariantInit)},
      {"VariantClear", AsProcedure(&VariantClear)},
  };
  if (procName == nullptr) {
    return nullptr;
  }
  for (const auto& procedure : kProcedures) {
    if (std::strcmp(procedure.name, procName) == 0) {
      return procedure.address;
    }
  }
  return nullptr;
}

void RegisterControlTypeLibrary() { g_registered = true; }

void UnregisterControlTypeLibrary() { g_registered = false; }

bool IsControlTypeLibraryRegistered() { return g_registered.load(); }

void SetControlTypeLibraryFilePresent(bool present) { g_filePresent = present; }

LONG LiveTypeLibraryCount() { return CControlTypeLibrary::LiveCount(); }

LONG LoadRegTypeLibCallCount() { return g_loadRegTypeLibCalls.load(); }

LONG LoadTypeLibCallCount() { return g_loadTypeLibCalls.load(); }

void ResetAutomationLibrary() {
  g_registered = true;
  g_filePresent = true;
  g_loadRegTypeLibCalls = 0;
  g_loadTypeLibCalls = 0;
}

}  // namespace platform
