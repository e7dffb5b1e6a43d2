// The processor features the platform reports: those it can ask the
// processor about, less the ones a test hides.
#include <platform/ProcessorFeatures.h>
#include <win/kernel.h>

#include <atomic>

namespace {

// One bit a feature number below 64; set while a test hides it.
std::atomic<uint64_t> g_hidden{0};

bool ProcessorHas(DWORD feature) {
#if defined(__x86_64__) || defined(__i386__)
  if (feature == PF_AVX2_INSTRUCTIONS_AVAILABLE) return __builtin_cpu_supports("avx2");
#endif
  return false;
}

}  // namespace

namespace platform {

void HideProcessorFeature(DWORD feature, bool hidden) {
  if (feature >= 64) return;
  const uint64_t bit = uint64_t{1} << feature;
  if (hidden) {
    g_hidden.fetch_or(bit);
  } else {
    g_hidden.fetch_and(~bit);
  }
}

}  // namespace platform

BOOL WINAPI IsProcessorFeaturePresent(DWORD processorFeature) {
  if (processorFeature < 64 && (g_hidden.load() & (uint64_t{1} << processorFeature)) != 0) {
    return FALSE;
  }
  return ProcessorHas(processorFeature) ? TRUE : FALSE;
}
