#include "CliFixture.h"

namespace tools_test {

std::vector<uint8_t> Frame(size_t count, uint32_t seed) {
  std::vector<uint8_t> frame = Pattern(count, seed);
  frame[0] = 0;
  frame[1] = static_cast<uint8_t>(count >> 16);
  frame[2] = static_cast<uint8_t>(count >> 8);
  frame[3] = static_cast<uint8_t>(count);
  return frame;
}

}  // namespace tools_test
