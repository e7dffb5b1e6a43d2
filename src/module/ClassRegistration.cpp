#include "module/ClassRegistration.h"

#include "com/CComHolder.h"
#include "module/FilterMapperRegistration.h"
#include "module/ModuleState.h"
#include "module/RegistryKeys.h"

namespace {

// Last errors of 0 still mean the call failed.
HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// Creates the row's object through COM, as any host would, which proves the
// class key just written, and lets it replace its filter-mapper entry.
HRESULT RunMovieSetup(const ClassTemplateEntry& row) {
  CComHolder<IAMovieSetup> setup;
  HRESULT hr = CoCreateInstance(*row.m_classId, nullptr, CLSCTX_INPROC_SERVER, IID_IAMovieSetup,
                                setup.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    // A class without the setup interface, or one that cannot stand alone,
    // has no mapper entry to manage.
    return hr == E_NOINTERFACE || hr == VFW_E_NEED_OWNER ? S_OK : hr;
  }
  hr = setup->Unregister();
  if (SUCCEEDED(hr)) {
    hr = setup->Register();
  }
  return hr;
}

// A path in its long form, so that two spellings of one file compare equal.
void LongForm(WCHAR (&path)[MAX_PATH]) {
  WCHAR longPath[MAX_PATH];
  const DWORD length = GetLongPathNameW(path, longPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  for (DWORD index = 0; index <= length; ++index) {
    path[index] = longPath[index];
  }
}

// TRUE when the class is registered to another module file that is there:
// the registration is that file's, and unregistering a stray copy must not
// take it away. A registration naming a file that is gone is stale, and
// anyone's to remove.
bool RegisteredToAnotherFile(CLSID classId) {
  WCHAR registered[MAX_PATH];
  WCHAR own[MAX_PATH];
  if (ReadServerPath(classId, WIDE("InprocServer32"), registered) != S_OK ||
      FAILED(ModuleServerPath(own))) {
    return false;
  }
  if (GetFileAttributesW(registered) == INVALID_FILE_ATTRIBUTES) {
    return false;
  }
  LongForm(registered);
  LongForm(own);
  return lstrcmpiW(registered, own) != 0;
}

}  // namespace

HRESULT ModuleServerPath(WCHAR (&path)[MAX_PATH]) {
  HINSTANCE module = ModuleInstance();
  // Without the handle the system would name the host executable instead.
  if (module == nullptr) {
    return E_UNEXPECTED;
  }
  // Wide, so that a folder outside the ANSI code page is named as it is.
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0) {
    return LastErrorResult();
  }
  // A path that fills the buffer was cut short; registering it would name
  // some other file.
  if (length >= MAX_PATH) {
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  }
  return S_OK;
}

HRESULT RegisterAllClasses() { return RegisterAllClasses(g_classTemplates, g_classTemplateCount); }

HRESULT RegisterAllClasses(const ClassTemplateEntry* table, int count) {
  WCHAR path[MAX_PATH];
  HRESULT hr = ModuleServerPath(path);
  if (FAILED(hr)) {
    return hr;
  }
  for (int index = 0; index < count; ++index) {
    const ClassTemplateEntry& row = table[index];
    hr = WriteClassKey(*row.m_classId, row.m_name, path, WIDE("Both"), WIDE("InprocServer32"));
    if (FAILED(hr)) {
      return hr;
    }
    if (row.m_creator != nullptr) {
      hr = RunMovieSetup(row);
      if (FAILED(hr)) {
        return hr;
      }
    }
  }
  return hr;
}

HRESULT UnregisterAllClasses() {
  return UnregisterAllClasses(g_classTemplates, g_classTemplateCount);
}

HRESULT UnregisterAllClasses(const ClassTemplateEntry* table, int count) {
  HRESULT hr = S_OK;
  bool leftToAnotherFile = false;
  // The rows' own setup data says what to take out of the mapper: no object
  // is made, so a registration whose file is gone, moved or was never
  // written still comes out, and nothing there is no failure.
  for (int index = count - 1; index >= 0; --index) {
    const ClassTemplateEntry& row = table[index];
    if (RegisteredToAnotherFile(*row.m_classId)) {
      leftToAnotherFile = true;
      continue;
    }
    // The mapper keeps the filter's name in a key both registry views share:
    // while the module of the other bitness is registered, the name is its
    // too. Our view's pins and merit go with the class key below.
    if (row.m_setupData != nullptr && !ClassKeyInOtherView(*row.m_classId)) {
      hr = UnregisterFilterSetup(row.m_setupData);
      if (FAILED(hr)) {
        return hr;
      }
    }
    hr = RemoveClassKey(*row.m_classId);
    if (FAILED(hr)) {
      return hr;
    }
  }
  return leftToAnotherFile ? S_FALSE : S_OK;
}
