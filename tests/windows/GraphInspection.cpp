#include "GraphInspection.h"

CComRef<IPin> FindPinByName(IBaseFilter* filter, const WCHAR* name) {
  CComRef<IPin> pin;
  if (filter->FindPin(name, pin.Out()) != S_OK) {
    pin.Reset();
  }
  return pin;
}

CComRef<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  CComRef<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Out()))) {
    return CComRef<IPin>();
  }
  CComRef<IPin> pin;
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    PIN_DIRECTION its;
    if (SUCCEEDED(pin->QueryDirection(&its)) && its == direction) {
      return pin;
    }
  }
  return CComRef<IPin>();
}

std::wstring PinNames(IBaseFilter* filter, PIN_DIRECTION direction) {
  std::wstring names;
  CComRef<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Out()))) {
    return names;
  }
  CComRef<IPin> pin;
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    PIN_INFO info;
    if (FAILED(pin->QueryPinInfo(&info))) {
      continue;
    }
    if (info.pFilter != nullptr) {
      info.pFilter->Release();
    }
    if (info.dir == direction) {
      names += names.empty() ? L"" : L",";
      names += info.achName;
    }
  }
  return names;
}

std::string FilterName(IBaseFilter* filter) {
  FILTER_INFO info = {};
  if (FAILED(filter->QueryFilterInfo(&info))) {
    return "?";
  }
  if (info.pGraph != nullptr) {
    info.pGraph->Release();
  }
  return Narrow(info.achName);
}

CComRef<IBaseFilter> PeerFilter(IPin* pin) {
  CComRef<IPin> peer;
  if (pin == nullptr || pin->ConnectedTo(peer.Out()) != S_OK) {
    return CComRef<IBaseFilter>();
  }
  PIN_INFO info;
  if (FAILED(peer->QueryPinInfo(&info))) {
    return CComRef<IBaseFilter>();
  }
  return CComRef<IBaseFilter>(info.pFilter);
}

bool SameObject(IUnknown* a, IUnknown* b) {
  CComRef<IUnknown> identityA;
  CComRef<IUnknown> identityB;
  if (a == nullptr || b == nullptr ||
      FAILED(a->QueryInterface(IID_IUnknown, identityA.OutVoid())) ||
      FAILED(b->QueryInterface(IID_IUnknown, identityB.OutVoid()))) {
    return false;
  }
  return identityA.Get() == identityB.Get();
}

bool GraphHolds(IFilterGraph* graph, const CLSID& clsid) {
  CComRef<IEnumFilters> filters;
  if (graph == nullptr || FAILED(graph->EnumFilters(filters.Out()))) {
    return false;
  }
  CComRef<IBaseFilter> filter;
  while (filters->Next(1, filter.Out(), nullptr) == S_OK) {
    CLSID held = GUID_NULL;
    if (SUCCEEDED(filter->GetClassID(&held)) && IsEqualGUID(held, clsid)) {
      return true;
    }
  }
  return false;
}

CComRef<IBaseFilter> ListFilters(CTestReport* report, IFilterGraph* graph, const CLSID& wanted,
                                 const CLSID& alsoWanted, CComRef<IBaseFilter>* also) {
  CComRef<IBaseFilter> found;
  CComRef<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.Out()))) {
    return found;
  }
  CComRef<IBaseFilter> filter;
  while (filters->Next(1, filter.Out(), nullptr) == S_OK) {
    CLSID clsid = GUID_NULL;
    filter->GetClassID(&clsid);
    report->Note("graph holds \"" + FilterName(filter.Get()) + "\" " + GuidText(clsid));
    if (IsEqualCLSID(clsid, wanted) && !found) {
      found = filter;
    } else if (IsEqualCLSID(clsid, alsoWanted) && !*also) {
      *also = filter;
    }
  }
  return found;
}

void FreeMediaType(AM_MEDIA_TYPE* type) {
  if (type->pbFormat != nullptr) {
    CoTaskMemFree(type->pbFormat);
  }
  if (type->pUnk != nullptr) {
    type->pUnk->Release();
  }
  *type = AM_MEDIA_TYPE{};
}
