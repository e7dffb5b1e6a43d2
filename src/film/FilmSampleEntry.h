#pragma once

#include <cstdint>

// One sample-table row as the FILM library reads it.
struct FilmSampleEntry {
  uint32_t chunkOffset;    // relative to the data offset
  uint32_t chunkLength;    // bytes
  uint32_t timeInfo;       // film::kAudioTimeInfo for audio; video: not-sync flag and start ticks
  uint32_t durationTicks;  // video only: frame duration in time-base ticks
};
