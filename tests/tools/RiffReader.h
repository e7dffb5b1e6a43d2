// An independent reader of RIFF files for the tests: chunks and lists with
// their sizes checked against the bytes that hold them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tools_test {

struct RiffChunk {
  std::string id;           // four characters
  std::string listType;     // for "RIFF" and "LIST": the type that follows the size
  size_t headerOffset = 0;  // file position of the id
  size_t dataOffset = 0;    // file position of the data (after the list type for lists)
  uint32_t size = 0;        // the size field as written
  std::vector<RiffChunk> children;

  const RiffChunk* Child(const std::string& childId, const std::string& type = "") const;
  std::vector<const RiffChunk*> Children(const std::string& childId) const;
};

class RiffReader {
 public:
  explicit RiffReader(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

  // Parses the whole file; false with a message when a size is out of bounds
  // or bytes are left over.
  bool Parse(RiffChunk* root, std::string* error) const;

  uint16_t U16(size_t offset) const;
  uint32_t U32(size_t offset) const;
  std::string FourCC(size_t offset) const;
  std::vector<uint8_t> Bytes(size_t offset, size_t count) const;
  const std::vector<uint8_t>& All() const { return m_bytes; }

 private:
  bool ParseChunks(size_t begin, size_t end, std::vector<RiffChunk>* out, std::string* error) const;

  std::vector<uint8_t> m_bytes;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace tools_test
