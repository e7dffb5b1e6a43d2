// Reads the committed fuzz inputs of one fuzzer: its hand-made seeds and
// every input it ever failed on.
#pragma once

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
  for (const char* root : {TESSALY_FUZZ_SEED_DIR, TESSALY_FUZZ_REGRESSION_DIR}) {
    std::filesystem::path dir = std::filesystem::path(root) / fuzzer;
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
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}
