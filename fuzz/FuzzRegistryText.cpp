// libFuzzer target: the registry's REGEDIT4 reader, its writer's round trip,
// and import and export through a registry in memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RegistryTextCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure = fuzzcheck::CheckRegistryTextInput(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "registry text: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
