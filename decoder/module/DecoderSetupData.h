#pragma once

#include "Platform.h"

// The decoder's merit: above the platform's own Cinepak path (the AVI
// Decompressor, MERIT_NORMAL), so that a graph builder asks this decoder
// first for every 'cvid' stream it renders.
inline constexpr DWORD kCinepakDecoderMerit = MERIT_NORMAL + 0x100;

// The decoder's filter-mapper record: its merit and its two pins' types.
const AMOVIESETUP_FILTER* CinepakDecoderSetupData();
