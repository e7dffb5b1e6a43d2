// Small questions a client asks a filter graph: pins by name or direction,
// who is connected to whom, which filters a graph holds.
#pragma once

#include <windows.h>

#include <strmif.h>

#include <string>

#include "CComRef.h"
#include "CTestReport.h"

CComRef<IPin> FindPinByName(IBaseFilter* filter, const WCHAR* name);
CComRef<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction);
// Names of the filter's pins in one direction, comma-separated.
std::wstring PinNames(IBaseFilter* filter, PIN_DIRECTION direction);
std::string FilterName(IBaseFilter* filter);
// The filter at the other end of a pin, or empty.
CComRef<IBaseFilter> PeerFilter(IPin* pin);
bool SameObject(IUnknown* a, IUnknown* b);
// Notes every filter of the graph in the report; returns the first of the
// given class, or empty.
CComRef<IBaseFilter> ListFilters(CTestReport* report, IFilterGraph* graph, const CLSID& wanted,
                                 const CLSID& alsoWanted, CComRef<IBaseFilter>* also);
void FreeMediaType(AM_MEDIA_TYPE* type);
