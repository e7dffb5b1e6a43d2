// libFuzzer target: the Cinepak decoder over frames of any bytes, each
// decoded over the picture and codebooks the frames before it left.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CinepakFrameCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = fuzzcheck::CheckCinepakInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "cinepak frame: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
