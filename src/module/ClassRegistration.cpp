#include "module/ClassRegistration.h"

#include "com/CComHolder.h"
#include "module/ModuleState.h"
#include "module/RegistryKeys.h"

namespace {

// Last errors of 0 still mean the call failed.
HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// Creates the row's object through COM, as any host would, and lets it take
// its filter-mapper entry out (and back in when registering).
HRESULT RunMovieSetup(const ClassTemplateEntry& row, BOOL registering) {
  CComHolder<IAMovieSetup> setup;
  HRESULT hr = CoCreateInstance(*row.m_classId, nullptr, CLSCTX_INPROC_SERVER, IID_IAMovieSetup,
                                setup.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    // A class without the setup interface, or one that cannot stand alone,
    // has no mapper entry to manage.
    return hr == E_NOINTERFACE || hr == VFW_E_NEED_OWNER ? S_OK : hr;
  }
  hr = setup->Unregister();
  if (registering && SUCCEEDED(hr)) {
    hr = setup->Register();
  }
  return hr;
}

}  // namespace

HRESULT ModuleServerPath(WCHAR (&path)[MAX_PATH]) {
  HINSTANCE module = ModuleInstance();
  // Without the handle the system would name the host executable instead.
  if (module == nullptr) {
    return E_UNEXPECTED;
  }
  char narrow[MAX_PATH];
  DWORD length = GetModuleFileNameA(module, narrow, MAX_PATH);
  if (length == 0) {
    return LastErrorResult();
  }
  // A path that fills the buffer was cut short; registering it would name
  // some other file.
  if (length >= MAX_PATH) {
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  }
  if (MultiByteToWideChar(CP_ACP, 0, narrow, -1, path, MAX_PATH) == 0) {
    return LastErrorResult();
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
      hr = RunMovieSetup(row, TRUE);
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
  // The object is created through its class key, so the key goes last.
  for (int index = count - 1; index >= 0; --index) {
    const ClassTemplateEntry& row = table[index];
    // The mapper keeps the filter's name in a key both registry views share:
    // while the module of the other bitness is registered, the name is its
    // too. Our view's pins and merit go with the class key below.
    if (row.m_creator != nullptr && !ClassKeyInOtherView(*row.m_classId)) {
      hr = RunMovieSetup(row, FALSE);
      if (FAILED(hr)) {
        return hr;
      }
    }
    hr = RemoveClassKey(*row.m_classId);
    if (FAILED(hr)) {
      return hr;
    }
  }
  return hr;
}
