#include "explorer/CStreamByteSource.h"

bool CStreamByteSource::ReadAt(uint64_t position, uint8_t* buffer, uint32_t length,
                               uint32_t* read) {
  *read = 0;
  LARGE_INTEGER move;
  move.QuadPart = static_cast<LONGLONG>(position);
  if (FAILED(m_stream->Seek(move, STREAM_SEEK_SET, nullptr))) {
    return false;
  }
  // A stream may answer a read with fewer bytes than asked before its end.
  while (*read < length) {
    ULONG got = 0;
    const HRESULT hr = m_stream->Read(buffer + *read, length - *read, &got);
    if (FAILED(hr)) {
      return false;
    }
    if (got == 0) {
      return true;
    }
    *read += got;
  }
  return true;
}

uint64_t CStreamByteSource::Length() {
  STATSTG stat = {};
  if (SUCCEEDED(m_stream->Stat(&stat, STATFLAG_NONAME))) {
    return stat.cbSize.QuadPart;
  }
  LARGE_INTEGER none;
  none.QuadPart = 0;
  ULARGE_INTEGER end;
  end.QuadPart = 0;
  return SUCCEEDED(m_stream->Seek(none, STREAM_SEEK_END, &end)) ? end.QuadPart : 0;
}
