// The classes through which Explorer sees FILM movies.
#pragma once

#include "Platform.h"

// {D66D9E6E-D31C-4060-9FA2-C7D60007C6C4}
inline constexpr GUID CLSID_TessalyFilmThumbnailProvider = {
    0xD66D9E6E, 0xD31C, 0x4060, {0x9F, 0xA2, 0xC7, 0xD6, 0x00, 0x07, 0xC6, 0xC4}};

// {98138CD2-F344-4E6E-82AA-93E8EB04D3B6}
inline constexpr GUID CLSID_TessalyFilmPropertyHandler = {
    0x98138CD2, 0xF344, 0x4E6E, {0x82, 0xAA, 0x93, 0xE8, 0xEB, 0x04, 0xD3, 0xB6}};
