// A movie read through the stream Explorer hands a handler: the handlers
// never open a path, so a file Explorer only lets them read stays safe.
#pragma once

#include "Platform.h"
#include "com/CComHolder.h"
#include "shell/CMovieByteSource.h"

class CStreamByteSource : public tessaly::shell::CMovieByteSource {
 public:
  // stream: counted while the source lives.
  explicit CStreamByteSource(IStream* stream) : m_stream(stream) {}

  bool ReadAt(uint64_t position, uint8_t* buffer, uint32_t length, uint32_t* read) override;
  uint64_t Length() override;

 private:
  CComHolder<IStream> m_stream;  // counted
};
