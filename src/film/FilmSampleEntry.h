#pragma once

#include "Platform.h"

// One sample-table row as the streaming worker sees it.
struct FilmSampleEntry {
  DWORD chunkOffset;    // relative to the data offset
  DWORD chunkLength;    // bytes
  DWORD timeInfo;       // film::kAudioTimeInfo for audio; video: not-sync flag and start ticks
  DWORD durationTicks;  // video only: frame duration in time-base ticks
};
