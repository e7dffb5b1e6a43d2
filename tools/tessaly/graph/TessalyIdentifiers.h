// The identifiers of the Tessaly module that the host looks for in the registry.
#pragma once

#include <win/platform.h>

namespace tessaly::cli {

inline constexpr GUID CLSID_CpkSplitter = {
    0x6B1E4F20, 0xD3A7, 0x11D1, {0x8C, 0x52, 0x00, 0xA0, 0xC9, 0x3B, 0x7E, 0x14}};
inline constexpr GUID MEDIASUBTYPE_CpkFilm = {
    0x6B1E4F21, 0xD3A7, 0x11D1, {0x8C, 0x53, 0x00, 0xA0, 0xC9, 0x3B, 0x7E, 0x14}};

inline constexpr char kSplitterClassKey[] =
    "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}\\InprocServer32";

}  // namespace tessaly::cli
