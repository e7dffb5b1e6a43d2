#include "RegistryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform::registry {
namespace {

std::string Describe(const std::string& what, const std::string& path, int error) {
  return what + " \"" + path + "\": " + std::strerror(error);
}

// Closes a descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return m_fd; }
  int Release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;  // owned
};

bool WriteAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    contents.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Renaming over a symbolic link would replace the link, not the file it names.
std::string ResolveTarget(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

// A new file gets the permissions a plain creation would give it; a replaced
// file keeps its own.
mode_t ModeFor(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, std::string& contents, std::string& error) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return FileReadResult::Missing;
    error = Describe("cannot open registry file", path, errno);
    return FileReadResult::Failed;
  }
  std::string data;
  char buffer[16384];
  while (true) {
    ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = Describe("cannot read registry file", path, errno);
      return FileReadResult::Failed;
    }
    if (got == 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  contents = std::move(data);
  return FileReadResult::Read;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string& error) {
  std::string target = ResolveTarget(path);
  std::string temporary = target + ".tmp.XXXXXX";
  FileDescriptor fd(::mkstemp(temporary.data()));
  if (fd.Get() < 0) {
    error = Describe("cannot create a temporary file beside", target, errno);
    return false;
  }
  bool written = ::fchmod(fd.Get(), ModeFor(target)) == 0 && WriteAll(fd.Get(), contents) &&
                 ::fsync(fd.Get()) == 0;
  int writeError = errno;
  int closing = fd.Release();
  if (::close(closing) != 0 && written) {
    written = false;
    writeError = errno;
  }
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    if (written) writeError = errno;
    ::unlink(temporary.c_str());
    error = Describe("cannot write registry file", target, writeError);
    return false;
  }
  // The rename itself must reach the disk for the new file to survive a crash.
  FileDescriptor directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.Get() >= 0) ::fsync(directory.Get());
  return true;
}

}  // namespace platform::registry
