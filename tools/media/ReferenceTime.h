// The platform's sample times are counts of 100 ns; the host converts them
// here and nowhere else.
#pragma once

#include <cstdint>

namespace tessaly::media {

inline constexpr int64_t kUnitsPerSecond = 10000000;
inline constexpr int64_t kUnitsPerMs = kUnitsPerSecond / 1000;

inline double Seconds(int64_t units) { return static_cast<double>(units) / kUnitsPerSecond; }

}  // namespace tessaly::media
