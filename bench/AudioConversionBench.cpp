// Each audio conversion against memcpy of the same bytes: a conversion that
// runs near memory bandwidth keeps its "vs_memcpy" ratio close to 1.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "shaping/PayloadConversion.h"

namespace {

// CPU time of this thread: other processes on a busy machine do not distort
// the ratio between the two measurements.
double ThreadSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr size_t kPage = 4096;

// A buffer starting on a page of its own. Two vectors allocated one after
// the other sit a few bytes past a whole number of pages apart, which sends
// the library's copy (and any loop) into store-to-load aliasing stalls on
// some processors and measures that rather than the copy.
class PageBuffer {
 public:
  explicit PageBuffer(size_t length) : m_storage(length + kPage) {
    const auto address = reinterpret_cast<uintptr_t>(m_storage.data());
    m_data = m_storage.data() + ((kPage - address % kPage) % kPage);
  }
  PageBuffer(PageBuffer&&) = default;  // the vector's storage moves with it
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;
  BYTE* data() { return m_data; }

 private:
  std::vector<BYTE> m_storage;  // owned
  BYTE* m_data = nullptr;       // borrowed from m_storage
};

PageBuffer Chunk(size_t length) {
  PageBuffer chunk(length);
  for (size_t i = 0; i < length; ++i) {
    chunk.data()[i] = static_cast<BYTE>(i * 31 + 7);
  }
  return chunk;
}

void BM_Memcpy(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  PageBuffer source = Chunk(length);
  PageBuffer destination(length);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), length);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

// Each round converts a few megabytes of chunks and copies as many beside
// them, and the figure is the median of the rounds' ratios: measured apart,
// the two would differ by whatever else the machine did in between.
// inPlace: the chunk is converted where it lies, as the splitter does with
// layouts whose bytes keep their places (it reads them into the sample).
void BM_Convert(benchmark::State& state, const char* layout, WORD channels, WORD bits,
                bool inPlace) {
  const size_t length = static_cast<size_t>(state.range(0));
  PageBuffer source = Chunk(length);
  PageBuffer separate(length);
  BYTE* destination = inPlace ? source.data() : separate.data();
  const int batch = static_cast<int>(std::max<size_t>(1, (size_t{4} << 20) / length));
  std::vector<double> ratios;
  const AudioConverters converters = ChooseAudioConverters();
  for (auto _ : state) {
    const double begin = ThreadSeconds();
    for (int i = 0; i < batch; ++i) {
      ConvertAudioChunk(source.data(), static_cast<DWORD>(length), channels, bits, converters,
                        destination);
      benchmark::ClobberMemory();
    }
    const double converted = ThreadSeconds();
    for (int i = 0; i < batch; ++i) {
      std::memcpy(separate.data(), source.data(), length);
      benchmark::ClobberMemory();
    }
    ratios.push_back((ThreadSeconds() - converted) / (converted - begin));
  }
  std::sort(ratios.begin(), ratios.end());
  const double ratio = ratios[ratios.size() / 2];
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * batch *
                          static_cast<int64_t>(length));
  state.counters["vs_memcpy"] = ratio;
  benchfigures::Record("vs_memcpy", std::string(layout) + "/" + std::to_string(length), ratio);
}

// 65,536 bytes is the largest chunk the splitter converts; 16 MiB shows the
// rate once the data no longer fits in the caches.
#define CHUNK_SIZES ->Arg(4096)->Arg(65536)->Arg(16 << 20)

BENCHMARK(BM_Memcpy) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, mono8, "mono8", 1, 8, false) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, mono16, "mono16", 1, 16, false) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, stereo8, "stereo8", 2, 8, false) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, stereo16, "stereo16", 2, 16, false) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, mono8_in_place, "mono8_in_place", 1, 8, true) CHUNK_SIZES;
BENCHMARK_CAPTURE(BM_Convert, mono16_in_place, "mono16_in_place", 1, 16, true) CHUNK_SIZES;

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  benchfigures::Print();
  return 0;
}
