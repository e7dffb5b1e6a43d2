// Sample durations in 100-ns units; each division drops its fraction.
#pragma once

#include "Platform.h"

// length × 10,000,000 / avgBytesPerSec; 0 when avgBytesPerSec is 0.
REFERENCE_TIME AudioChunkDuration(DWORD length, DWORD avgBytesPerSec);

// durationTicks × 10,000,000 / timeBase; 0 when timeBase is 0. Ticks from 0
// to 2^33: one row's duration, or the movie's end tick.
REFERENCE_TIME VideoFrameDuration(LONGLONG durationTicks, DWORD timeBase);

// start + duration, held at the largest time instead of wrapping: a hostile
// table can add up frame durations past the 64-bit range, and a stop time
// before its start would mislead every filter downstream.
REFERENCE_TIME AdvanceTime(REFERENCE_TIME start, REFERENCE_TIME duration);
