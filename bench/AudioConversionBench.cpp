// Each audio conversion against memcpy of the same bytes: a conversion that
// runs near memory bandwidth keeps its "vs_memcpy" ratio close to 1.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "shaping/PayloadConversion.h"

namespace {

// CPU time of this thread: other processes on a busy machine do not distort
// the ratio between the two measurements.
double ThreadSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<BYTE> Chunk(size_t length) {
  std::vector<BYTE> chunk(length);
  for (size_t i = 0; i < length; ++i) {
    chunk[i] = static_cast<BYTE>(i * 31 + 7);
  }
  return chunk;
}

// Seconds memcpy takes for one chunk of this length, measured once per length.
double MemcpySeconds(size_t length) {
  const std::vector<BYTE> source = Chunk(length);
  std::vector<BYTE> destination(length);
  const int rounds = static_cast<int>(std::max<size_t>(64, (size_t{1} << 30) / (length + 1)));
  const double begin = ThreadSeconds();
  for (int i = 0; i < rounds; ++i) {
    std::memcpy(destination.data(), source.data(), length);
    benchmark::ClobberMemory();
  }
  return (ThreadSeconds() - begin) / rounds;
}

void BM_Memcpy(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  const std::vector<BYTE> source = Chunk(length);
  std::vector<BYTE> destination(length);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), length);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void BM_Convert(benchmark::State& state, WORD channels, WORD bits) {
  const size_t length = static_cast<size_t>(state.range(0));
  const std::vector<BYTE> source = Chunk(length);
  std::vector<BYTE> destination(length);
  const double memcpySeconds = MemcpySeconds(length);
  const double begin = ThreadSeconds();
  for (auto _ : state) {
    ConvertAudioChunk(source.data(), static_cast<DWORD>(length), channels, bits,
                      destination.data());
    benchmark::ClobberMemory();
  }
  const double convertSeconds = (ThreadSeconds() - begin) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
  state.counters["vs_memcpy"] = memcpySeconds / convertSeconds;
}

// 65,536 bytes is the largest chunk the splitter converts; 16 MiB shows the
// rate once the data no longer fits in the caches.
#define CHUNK_SIZES ->Arg(4096)->Arg(65536)->Arg(16 << 20)

BENCHMARK(BM_Memcpy) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, mono8, 1, 8) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, mono16, 1, 16) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, stereo8, 2, 8) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, stereo16, 2, 16) CHUNK_SIZES;

}  // namespace

BENCHMARK_MAIN();
