// The module's identifiers as a client knows them: from its documentation,
// not from its sources.
#pragma once

#include <windows.h>

inline const CLSID kClsidCpkSplitter = {
    0x6B1E4F20, 0xD3A7, 0x11D1, {0x8C, 0x52, 0x00, 0xA0, 0xC9, 0x3B, 0x7E, 0x14}};
inline const GUID kSubtypeCpkFilm = {
    0x6B1E4F21, 0xD3A7, 0x11D1, {0x8C, 0x53, 0x00, 0xA0, 0xC9, 0x3B, 0x7E, 0x14}};
inline const char kModuleFileName[] = "TESSALY.AX";
inline const char kFilterName[] = "Tessaly Parser";
