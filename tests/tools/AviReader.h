// Reads back an AVI file for the tests: main and stream headers, the chunks
// of the movi list in file order and the idx1 index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools_test {

struct AviStream {
  std::string type;     // "vids" or "auds"
  std::string handler;  // four characters
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t start = 0;
  uint32_t length = 0;
  uint32_t suggestedBufferSize = 0;
  uint32_t sampleSize = 0;
  std::vector<uint8_t> format;  // the strf chunk
};

struct AviChunk {
  std::string id;
  uint32_t offset = 0;  // of its header, from the movi list type
  std::vector<uint8_t> data;
};

struct AviIndexEntry {
  std::string id;
  uint32_t flags = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct AviFile {
  uint32_t microSecondsPerFrame = 0;
  uint32_t flags = 0;
  uint32_t totalFrames = 0;
  uint32_t streamCount = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<AviStream> streams;
  std::vector<AviChunk> chunks;
  std::vector<AviIndexEntry> index;
};

// False with a message when the file is not a well-formed AVI.
bool ReadAvi(const std::vector<uint8_t>& bytes, AviFile* out, std::string* error);

}  // namespace tools_test
