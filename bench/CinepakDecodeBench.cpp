// The Cinepak decoder on a 320×224 movie (the size of most console movies):
// frames a second on one core, and the time of a frame against a memcpy of
// the decoded RGB picture it fills.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "CinepakMovie.h"
#include "cinepak/CFrameDecoder.h"

namespace {

using cinepakmovie::kHeight;
using cinepakmovie::kWidth;
using cinepakmovie::Movie;
using cinepakmovie::SecondsPerFrame;
using cinepakmovie::ThreadSeconds;

double g_decodeSeconds = 0;  // per frame, from the last run of each benchmark
double g_copySeconds = 0;

void BM_DecodeFrame(benchmark::State& state) {
  const auto layout = static_cast<tessaly::cinepak::PixelLayout>(state.range(0));
  const std::vector<std::vector<uint8_t>>& movie = Movie();
  tessaly::cinepak::PictureView view;
  view.width = kWidth;
  view.height = kHeight;
  view.layout = layout;
  view.stride = kWidth * view.BytesPerPixel();
  std::vector<uint8_t> picture(view.stride * kHeight);
  view.pixels = picture.data();
  tessaly::cinepak::CCodebooks codebooks;
  size_t next = 0;
  const double started = ThreadSeconds();
  for (auto _ : state) {
    const std::vector<uint8_t>& frame = movie[next];
    next = next + 1 == movie.size() ? 0 : next + 1;
    tessaly::cinepak::DecodeFrame(frame.data(), frame.size(), codebooks, view);
    benchmark::DoNotOptimize(picture.data());
  }
  const double perFrame = SecondsPerFrame(state, started);
  const char* name = layout == tessaly::cinepak::PixelLayout::Bgr24 ? "rgb24" : "rgb32";
  benchfigures::Record("frames_per_second", name, 1.0 / perFrame);
  benchfigures::Record("us_per_frame", name, perFrame * 1e6);
  if (layout == tessaly::cinepak::PixelLayout::Bgr24) g_decodeSeconds = perFrame;
}

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint8_t> source(kWidth * kHeight * 3, 7);
  std::vector<uint8_t> destination(source.size());
  const double started = ThreadSeconds();
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), source.size());
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  g_copySeconds = (ThreadSeconds() - started) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_MemcpyFrame);
BENCHMARK(BM_DecodeFrame)
    ->Arg(static_cast<int>(tessaly::cinepak::PixelLayout::Bgr24))
    ->Arg(static_cast<int>(tessaly::cinepak::PixelLayout::Bgrx32));

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_copySeconds > 0 && g_decodeSeconds > 0) {
    benchfigures::Record("vs_memcpy", "rgb24", g_decodeSeconds / g_copySeconds);
  }
  benchfigures::Print();
  return 0;
}
