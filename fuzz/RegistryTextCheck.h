// Runs one fuzz input through the registry's REGEDIT4 reader and writer, and
// through an import into and export from a registry living in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzcheck {

// Empty when every promise held; otherwise what broke, for a human. Replaces
// the process's registry with one in memory.
std::string CheckRegistryTextInput(const uint8_t* data, size_t size);

}  // namespace fuzzcheck
