// libFuzzer target: the stream description parse over a misbehaving byte
// source, row access, and the payload shaping of the rows' chunks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "StreamDescriptionCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = fuzzcheck::CheckStreamDescriptionInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "stream description: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
