// The identifiers the decoder module defines for itself.
#pragma once

#include "Platform.h"

// {EF35C655-4789-4C17-81F6-4E7C19F39BEB}
inline constexpr GUID CLSID_TessalyCinepakDecoder = {
    0xEF35C655, 0x4789, 0x4C17, {0x81, 0xF6, 0x4E, 0x7C, 0x19, 0xF3, 0x9B, 0xEB}};

// The Cinepak subtype: the four-character code 'cvid' on the platform's template.
inline constexpr GUID MEDIASUBTYPE_Cinepak = {
    0x64697663, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
