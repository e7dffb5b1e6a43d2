#include "CPositionedFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include <new>

namespace platform {

namespace {

constexpr DWORD kErrorReadFault = 30;
constexpr DWORD kErrorFilenameTooLong = 206;

// ENOENT is the platform's "file not found" only when the folder exists;
// otherwise the platform names the path instead.
DWORD MissingFileError(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
  struct stat folder {};
  if (stat(path.substr(0, slash).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode)) {
    return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_PATH_NOT_FOUND;
}

// Test hook: TESSALY_FAULT_READ_AT=N makes every read that covers byte N of
// a file fail as a bad sector does, so that a whole run of the host can meet
// a read error at a place of the test's choosing.
bool ReadMeetsFault(LONGLONG position, LONG length) {
  static const LONGLONG fault = [] {
    const char* value = std::getenv("TESSALY_FAULT_READ_AT");
    return value != nullptr && *value != 0 ? std::strtoll(value, nullptr, 10) : -1;
  }();
  return fault >= 0 && position <= fault && fault < position + length;
}

// Test hook: TESSALY_FAULT_INTERRUPT_AT=N sends the process SIGINT once, when
// a read first covers byte N, as a user's Ctrl-C would arrive while that part
// of the file is read: a test interrupts a run at a place of its choosing,
// not at a time.
void InterruptAtMark(LONGLONG position, LONG length) {
  static const LONGLONG mark = [] {
    const char* value = std::getenv("TESSALY_FAULT_INTERRUPT_AT");
    return value != nullptr && *value != 0 ? std::strtoll(value, nullptr, 10) : -1;
  }();
  static std::atomic<bool> sent{false};
  if (mark < 0 || position > mark || mark >= position + length || sent.exchange(true)) return;
  kill(getpid(), SIGINT);
}

HRESULT OpenError(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
      return HRESULT_FROM_WIN32(MissingFileError(path));
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EISDIR:
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENAMETOOLONG:
      return HRESULT_FROM_WIN32(kErrorFilenameTooLong);
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

}  // namespace

CPositionedFile::~CPositionedFile() { close(m_fd); }

HRESULT CPositionedFile::Open(const std::string& path, std::shared_ptr<CPositionedFile>* out) {
  if (!out) return E_POINTER;
  out->reset();
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return OpenError(errno, path);
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    // Folders and devices are not files the platform's source would read.
    close(fd);
    return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  }
  auto* file = new (std::nothrow) CPositionedFile(fd);
  if (!file) {
    close(fd);
    return E_OUTOFMEMORY;
  }
  out->reset(file);
  return S_OK;
}

HRESULT CPositionedFile::Read(LONGLONG position, LONG length, BYTE* buffer, LONG* done) const {
  *done = 0;
  InterruptAtMark(position, length);
  if (ReadMeetsFault(position, length)) return HRESULT_FROM_WIN32(kErrorReadFault);
  while (*done < length) {
    ssize_t got = pread(m_fd, buffer + *done, static_cast<size_t>(length - *done),
                        static_cast<off_t>(position + *done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return HRESULT_FROM_WIN32(kErrorReadFault);
    if (got == 0) return S_FALSE;
    *done += static_cast<LONG>(got);
  }
  return S_OK;
}

HRESULT CPositionedFile::Size(LONGLONG* size) const {
  struct stat info {};
  if (fstat(m_fd, &info) != 0) return HRESULT_FROM_WIN32(kErrorReadFault);
  *size = static_cast<LONGLONG>(info.st_size);
  return S_OK;
}

}  // namespace platform
