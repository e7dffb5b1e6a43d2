// A read-only file read only at explicit positions, so that any number of
// threads can read it at once without sharing a file offset.
#pragma once

#include <memory>
#include <string>

#include <win/platform.h>

namespace platform {

class CPositionedFile {
 public:
  ~CPositionedFile();
  CPositionedFile(const CPositionedFile&) = delete;
  CPositionedFile& operator=(const CPositionedFile&) = delete;

  // Opens a regular file by its UTF-8 path; failures come back as the platform's
  // error for the same condition (a missing file: HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).
  static HRESULT Open(const std::string& path, std::shared_ptr<CPositionedFile>* out);

  // Reads up to length bytes at position; S_OK when all arrived, S_FALSE when
  // the end of the file came first (*done says how many did).
  HRESULT Read(LONGLONG position, LONG length, BYTE* buffer, LONG* done) const;

  // The size the file has now.
  HRESULT Size(LONGLONG* size) const;

 private:
  explicit CPositionedFile(int fd) : m_fd(fd) {}

  int m_fd;  // owned
};

}  // namespace platform
