// libFuzzer target: the whole graph, from an in-memory source through the
// splitter to recording sinks, with state changes the input chooses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "GraphCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = fuzzcheck::CheckGraphInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "graph: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
