// Reads the committed fuzz inputs of one fuzzer: its hand-made seeds
// (fuzz/seeds/<fuzzer>) and every input it ever failed on
// (fuzz/regressions/<fuzzer>). A fuzzer with no committed input at all fails
// the calling test, naming both folders: a loop over nothing would pass.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

inline std::vector<std::pair<std::string, std::vector<uint8_t>>> CommittedFuzzInputs(
    const std::string& fuzzer) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs;
  std::string looked;
  for (const char* root : {TESSALY_FUZZ_SEED_DIR, TESSALY_FUZZ_REGRESSION_DIR}) {
    std::filesystem::path dir = std::filesystem::path(root) / fuzzer;
    looked += (looked.empty() ? "" : " and ") + dir.string();
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
      inputs.emplace_back(entry.path().string(), std::move(bytes));
    }
  }
  if (inputs.empty()) ADD_FAILURE() << "no committed input for " << fuzzer << " in " << looked;
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}
