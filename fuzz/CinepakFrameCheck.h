// Runs one fuzz input through the Cinepak decoder: a picture of the size the
// control block chooses, then frame after frame over it, each decoded into a
// picture fenced by guard bytes. Shared by the fuzzer and the regression tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcheck {

// Control block: width − 1, height − 1 (pixels, any size up to 256), and
// layout bits (1: 32-bit pixels, 2: bottom-up). Then frames, each behind its
// 16-bit big-endian length; a last frame without a whole length takes the rest.
inline constexpr size_t kCinepakControlLength = 3;

std::vector<uint8_t> MakeCinepakInput(uint32_t width, uint32_t height, uint8_t layout,
                                      const std::vector<std::vector<uint8_t>>& frames);

// Empty when the decoder kept within the picture and answered every frame
// with one of its statuses; otherwise what broke.
std::string CheckCinepakInput(const uint8_t* data, size_t size);

// How many frames of the input decoded wholly (for the regression tests).
size_t CinepakFramesDecoded(const uint8_t* data, size_t size);

}  // namespace fuzzcheck
