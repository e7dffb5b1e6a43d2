#include "module/FilterMapperRegistration.h"

#include "com/CComHolder.h"

namespace {

HRESULT RegisterPins(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper) {
  const CLSID& filter = *setup->clsID;
  HRESULT hr = mapper->RegisterFilter(filter, setup->strName, setup->dwMerit);
  if (FAILED(hr)) {
    return hr;
  }
  for (UINT pinIndex = 0; pinIndex < setup->nPins; ++pinIndex) {
    const AMOVIESETUP_PIN& pin = setup->lpPin[pinIndex];
    const CLSID& connectsTo =
        pin.clsConnectsToFilter != nullptr ? *pin.clsConnectsToFilter : CLSID_NULL;
    hr = mapper->RegisterPin(filter, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                             connectsTo, pin.strConnectsToPin);
    if (FAILED(hr)) {
      return hr;
    }
    for (UINT typeIndex = 0; typeIndex < pin.nMediaTypes; ++typeIndex) {
      const AMOVIESETUP_MEDIATYPE& type = pin.lpMediaType[typeIndex];
      hr = mapper->RegisterPinType(filter, pin.strName, *type.clsMajorType, *type.clsMinorType);
      if (FAILED(hr)) {
        return hr;
      }
    }
  }
  return hr;
}

// Creates the platform's mapper on a COM initialisation of its own, which the
// caller's thread may or may not already have.
HRESULT WithMapper(const AMOVIESETUP_FILTER* setup, BOOL registering) {
  if (setup == nullptr) {
    return S_FALSE;
  }
  // Only a successful initialisation may be undone: a failed one must not
  // take away the caller's.
  HRESULT initialised = CoInitialize(nullptr);
  HRESULT hr = S_OK;
  {
    CComHolder<IFilterMapper> mapper;
    hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                          mapper.ReleaseAndGetVoidAddressOf());
    if (SUCCEEDED(hr)) {
      hr = RegisterWithMapper(setup, mapper.Get(), registering);
    } else if (!registering && hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
      // No mapper to be found holds no entry of ours either.
      hr = S_OK;
    }
  }
  CoFreeUnusedLibraries();
  if (SUCCEEDED(initialised)) {
    CoUninitialize();
  }
  return hr;
}

}  // namespace

HRESULT RegisterWithMapper(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper,
                           BOOL registering) {
  if (setup == nullptr) {
    return S_FALSE;
  }
  if (mapper == nullptr) {
    return E_POINTER;
  }
  // Always out first, so that registering replaces an earlier entry.
  HRESULT hr = mapper->UnregisterFilter(*setup->clsID);
  if (registering) {
    hr = RegisterPins(setup, mapper);
  }
  return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : hr;
}

HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER* setup) { return WithMapper(setup, TRUE); }

HRESULT UnregisterFilterSetup(const AMOVIESETUP_FILTER* setup) { return WithMapper(setup, FALSE); }
