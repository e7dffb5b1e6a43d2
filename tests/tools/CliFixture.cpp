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

uint32_t ChunkPosition(const std::vector<uint8_t>& file, uint32_t row) {
  auto word = [&file](size_t at) {
    return (uint32_t{file[at]} << 24) | (uint32_t{file[at + 1]} << 16) |
           (uint32_t{file[at + 2]} << 8) | file[at + 3];
  };
  return word(4) + word(film::kHeaderLength + film::kTableHeadLength + film::kRowLength * row);
}

}  // namespace tools_test
