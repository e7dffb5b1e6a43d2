// Where the shell handlers read a movie from: the stream Explorer hands
// them, never a path. Plain standard C++, so the reading, choosing, decoding
// and scaling are tested on Linux without the platform's types.
#pragma once

#include <cstdint>

namespace tessaly::shell {

class CMovieByteSource {
 public:
  // Reads up to length bytes at position into buffer and says in *read how
  // many came; false when the read itself failed.
  virtual bool ReadAt(uint64_t position, uint8_t* buffer, uint32_t length, uint32_t* read) = 0;

  // The movie's length in bytes, as the source tells it.
  virtual uint64_t Length() = 0;

 protected:
  // Nobody owns a source through this interface.
  ~CMovieByteSource() = default;
};

}  // namespace tessaly::shell
