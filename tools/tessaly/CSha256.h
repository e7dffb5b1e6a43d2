// SHA-256 of a byte stream, for the digests `tessaly dump` prints; small
// enough that the host needs no crypto library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly::cli {

class CSha256 {
 public:
  CSha256();

  void Update(const uint8_t* bytes, size_t count);
  // Ends the stream; the object must not be updated afterwards.
  std::array<uint8_t, 32> Finish();

  // Lower-case hexadecimal digest of one buffer.
  static std::string HexDigest(const uint8_t* bytes, size_t count);

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> m_state;
  std::array<uint8_t, 64> m_block{};
  size_t m_blockFill = 0;
  uint64_t m_totalBytes = 0;
};

}  // namespace tessaly::cli
