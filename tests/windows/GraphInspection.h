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

// TESSALYCV.AX's filter, the Cinepak decoder that keeps preroll pictures to itself.
// {EF35C655-4789-4C17-81F6-4E7C19F39BEB}
inline constexpr CLSID kTessalyCinepakDecoder = {
    0xEF35C655, 0x4789, 0x4C17, {0x81, 0xF6, 0x4E, 0x7C, 0x19, 0xF3, 0x9B, 0xEB}};
// Whether the graph holds a filter of the class.
bool GraphHolds(IFilterGraph* graph, const CLSID& clsid);
