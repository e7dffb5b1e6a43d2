#include "shaping/SampleTiming.h"

#include "film/FilmLayout.h"

#include <limits>

namespace {
// Amounts below 2^33 (a 32-bit count, or a 31-bit start plus a 32-bit
// duration) keep the product far below the 64-bit limit.
REFERENCE_TIME ScaledDuration(LONGLONG amount, DWORD perSecond) {
  // A file with a zero rate gives samples no length rather than a fault.
  if (perSecond == 0 || amount <= 0) {
    return 0;
  }
  return static_cast<REFERENCE_TIME>(amount) * film::kUnitsPerSecond /
         static_cast<REFERENCE_TIME>(perSecond);
}
}  // namespace

REFERENCE_TIME AudioChunkDuration(DWORD length, DWORD avgBytesPerSec) {
  return ScaledDuration(length, avgBytesPerSec);
}

REFERENCE_TIME VideoFrameDuration(LONGLONG durationTicks, DWORD timeBase) {
  return ScaledDuration(durationTicks, timeBase);
}

REFERENCE_TIME AdvanceTime(REFERENCE_TIME start, REFERENCE_TIME duration) {
  constexpr REFERENCE_TIME kLatest = std::numeric_limits<REFERENCE_TIME>::max();
  if (duration > 0 && start > kLatest - duration) {
    return kLatest;
  }
  return start + duration;
}
