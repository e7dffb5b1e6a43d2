#pragma once

#include "Platform.h"

// Where the stream description and the worker read the FILM file from; the
// splitter's input pin answers it with the upstream IAsyncReader::SyncRead.
class CFilmByteSource {
 public:
  // Reads length bytes at an absolute file position into buffer. S_OK means
  // the bytes are in the buffer; S_FALSE that the read came short, the rest
  // zero-filled, and AvailableLength says which bytes exist; a negative
  // result is a failed read.
  virtual HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) = 0;

  // Bytes of the file that exist, as the source last said: learned when the
  // input connects or activates and again after a read that came short, so
  // that a caller checks it after an S_FALSE. film::kUnknownFileLength when
  // the source cannot tell.
  virtual LONGLONG AvailableLength() = 0;

 protected:
  // Nobody owns an object through this interface.
  ~CFilmByteSource() = default;
};
