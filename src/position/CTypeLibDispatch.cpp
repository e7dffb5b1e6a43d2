#include "position/CTypeLibDispatch.h"

#include "com/CComHolder.h"
#include "com/CTrackedObject.h"

namespace {

typedef HRESULT(STDAPICALLTYPE* LoadRegTypeLibFunction)(REFGUID, WORD, WORD, LCID, ITypeLib**);
typedef HRESULT(STDAPICALLTYPE* LoadTypeLibFunction)(LPCOLESTR, ITypeLib**);

// A failed load or lookup that left no error code must still read as a failure.
HRESULT ResultFromLastError() {
  const DWORD error = GetLastError();
  return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

template <class Function>
Function LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

CTypeLibDispatch::~CTypeLibDispatch() {
  ITypeInfo* info = m_typeInfo.exchange(nullptr);
  if (info != nullptr) {
    info->Release();
  }
}

HRESULT CTypeLibDispatch::TypeInfoCount(UINT* count) {
  if (count == nullptr) {
    return E_POINTER;
  }
  *count = 1;
  return S_OK;
}

HRESULT CTypeLibDispatch::TypeInfo(REFIID iid, UINT index, LCID lcid, ITypeInfo** info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  *info = nullptr;
  if (index != 0) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  ITypeInfo* cached = m_typeInfo.load();
  if (cached == nullptr) {
    ITypeInfo* loaded = nullptr;
    const HRESULT hr = LoadTypeInfo(iid, lcid, &loaded);
    if (FAILED(hr)) {
      return hr;
    }
    if (!m_typeInfo.compare_exchange_strong(cached, loaded)) {
      loaded->Release();
    } else {
      cached = loaded;
    }
  }
  cached->AddRef();
  *info = cached;
  return S_OK;
}

HRESULT CTypeLibDispatch::IdsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                     DISPID* ids) {
  CComHolder<ITypeInfo> info;
  const HRESULT hr = TypeInfo(iid, 0, lcid, info.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT CTypeLibDispatch::LoadTypeInfo(REFIID iid, LCID lcid, ITypeInfo** loaded) {
  HMODULE module = LoadAutomationLibrary();
  if (module == nullptr) {
    return ResultFromLastError();
  }
  auto loadRegistered = LookUp<LoadRegTypeLibFunction>(module, "LoadRegTypeLib");
  if (loadRegistered == nullptr) {
    return ResultFromLastError();
  }
  CComHolder<ITypeLib> library;
  HRESULT hr = loadRegistered(LIBID_QuartzTypeLib, 1, 0, lcid, library.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    auto loadFile = LookUp<LoadTypeLibFunction>(module, "LoadTypeLib");
    if (loadFile == nullptr) {
      return ResultFromLastError();
    }
    hr = loadFile(WIDE("control.tlb"), library.ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
      return hr;
    }
  }
  // A loader that claims success without a library has still failed.
  if (!library) {
    return E_UNEXPECTED;
  }
  hr = library->GetTypeInfoOfGuid(iid, loaded);
  if (SUCCEEDED(hr) && *loaded == nullptr) {
    return E_UNEXPECTED;
  }
  return hr;
}
