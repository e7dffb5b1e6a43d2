#pragma once

#include <memory>

#include "Platform.h"
#include "film/CFilmByteSource.h"

// A run of file bytes read at once for several small chunks of one stream:
// a read costs far more than copying a few kilobytes, so chunks that lie
// close together are served from one read instead of one read each. Each
// streaming thread has its own, so it takes no lock.
class CChunkWindow {
 public:
  // The most one read brings in.
  static constexpr DWORD kLength = 65536;

  CChunkWindow() = default;
  CChunkWindow(const CChunkWindow&) = delete;
  CChunkWindow& operator=(const CChunkWindow&) = delete;

  // The bytes [position, position + length) when the window holds them all,
  // or null.
  const BYTE* Find(LONGLONG position, DWORD length) const;

  // Reads length bytes (at most kLength) at position from source (borrowed).
  // Anything but a whole read (S_OK) leaves the window empty and is
  // returned: the bytes of a short read are not known to be the file's. The
  // buffer is allocated on the first fill; E_OUTOFMEMORY when it cannot be.
  HRESULT Fill(CFilmByteSource* source, LONGLONG position, DWORD length);

  // Forgets what the window holds; the buffer is kept for the next fill.
  void Clear() { m_length = 0; }

 private:
  std::unique_ptr<BYTE[]> m_buffer;  // owned: kLength bytes once filled, or none
  LONGLONG m_start = 0;              // file position of m_buffer[0]
  DWORD m_length = 0;                // bytes of m_buffer that hold the file's
};
