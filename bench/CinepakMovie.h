// What the Cinepak benchmarks share: the movie they decode, at 320×224 (the
// size of most console movies), and the clock they time a frame by.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <vector>

#include "filmwriter/CinepakStream.h"

namespace cinepakmovie {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 224;
constexpr uint32_t kFrames = 120;
constexpr uint32_t kKeyFrameEvery = 12;

// CPU time of this thread: other processes on a busy machine do not count.
inline double ThreadSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The thread's seconds a frame since started, one frame an iteration; the
// benchmark's counter shows the frames a second.
inline double SecondsPerFrame(benchmark::State& state, double started) {
  const double perFrame = (ThreadSeconds() - started) / static_cast<double>(state.iterations());
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  return perFrame;
}

// Eight seconds at 15 frames a second: a key frame every 12, inter frames
// between, four strips, every feature of the bitstream in random measure.
// Made once, the same in every benchmark that decodes it.
inline const std::vector<std::vector<uint8_t>>& Movie() {
  static const std::vector<std::vector<uint8_t>> movie = [] {
    filmwriter::CinepakStream stream(kWidth, kHeight, 2024, 4);
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t i = 0; i < kFrames; ++i) {
      frames.push_back(stream.NextFrame(i % kKeyFrameEvery == 0));
    }
    return frames;
  }();
  return movie;
}

}  // namespace cinepakmovie
