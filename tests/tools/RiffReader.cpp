#include "RiffReader.h"

#include <fstream>
#include <iterator>

namespace tools_test {

const RiffChunk* RiffChunk::Child(const std::string& childId, const std::string& type) const {
  for (const RiffChunk& child : children) {
    if (child.id == childId && (type.empty() || child.listType == type)) return &child;
  }
  return nullptr;
}

std::vector<const RiffChunk*> RiffChunk::Children(const std::string& childId) const {
  std::vector<const RiffChunk*> found;
  for (const RiffChunk& child : children) {
    if (child.id == childId) found.push_back(&child);
  }
  return found;
}

uint16_t RiffReader::U16(size_t offset) const {
  if (offset + 2 > m_bytes.size()) return 0;
  return static_cast<uint16_t>(m_bytes[offset] | (m_bytes[offset + 1] << 8));
}

uint32_t RiffReader::U32(size_t offset) const {
  if (offset + 4 > m_bytes.size()) return 0;
  return uint32_t{U16(offset)} | (uint32_t{U16(offset + 2)} << 16);
}

std::string RiffReader::FourCC(size_t offset) const {
  if (offset + 4 > m_bytes.size()) return std::string();
  return std::string(m_bytes.begin() + offset, m_bytes.begin() + offset + 4);
}

std::vector<uint8_t> RiffReader::Bytes(size_t offset, size_t count) const {
  if (offset + count > m_bytes.size()) return {};
  return std::vector<uint8_t>(m_bytes.begin() + offset, m_bytes.begin() + offset + count);
}

bool RiffReader::Parse(RiffChunk* root, std::string* error) const {
  std::vector<RiffChunk> top;
  if (!ParseChunks(0, m_bytes.size(), &top, error)) return false;
  if (top.size() != 1 || top[0].id != "RIFF") {
    *error = "the file is not one RIFF chunk";
    return false;
  }
  *root = top[0];
  return true;
}

bool RiffReader::ParseChunks(size_t begin, size_t end, std::vector<RiffChunk>* out,
                             std::string* error) const {
  size_t at = begin;
  while (at < end) {
    if (end - at < 8) {
      *error = "a chunk header is cut at " + std::to_string(at);
      return false;
    }
    RiffChunk chunk;
    chunk.id = FourCC(at);
    chunk.headerOffset = at;
    chunk.size = U32(at + 4);
    const size_t dataEnd = at + 8 + chunk.size;
    if (dataEnd > end) {
      *error = "chunk " + chunk.id + " at " + std::to_string(at) + " runs past its parent";
      return false;
    }
    chunk.dataOffset = at + 8;
    if (chunk.id == "RIFF" || chunk.id == "LIST") {
      if (chunk.size < 4) {
        *error = "list at " + std::to_string(at) + " has no type";
        return false;
      }
      chunk.listType = FourCC(at + 8);
      chunk.dataOffset = at + 12;
      if (!ParseChunks(at + 12, dataEnd, &chunk.children, error)) return false;
    }
    // Chunks start on even positions; the pad byte of the last one may end the parent.
    at = dataEnd + (chunk.size & 1);
    out->push_back(std::move(chunk));
    if (at > end) {
      *error = "the pad byte of a chunk runs past its parent";
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tools_test
