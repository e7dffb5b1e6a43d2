// Reads a PNG file back into red, green, blue bytes, rows top first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools_test {

struct PngPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // empty when the file could not be read
};

PngPicture ReadPng(const std::string& path);

}  // namespace tools_test
