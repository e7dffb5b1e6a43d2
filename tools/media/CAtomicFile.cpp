#include "media/CAtomicFile.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/TemporaryFiles.h"

namespace tessaly::media {

namespace {

constexpr char kTemporaryMark[] = ".part-";

}  // namespace

void CAtomicFile::RemoveStaleTemporaryFiles(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string prefix =
      (slash == std::string::npos ? path : path.substr(slash + 1)) + kTemporaryMark;
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // NAME.part-PID-XXXXXX: only a writer that no longer runs leaves it for good.
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '-') continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlink((folder + name).c_str());
  }
  closedir(listing);
}

bool CAtomicFile::Open(const std::string& path, std::string* error) {
  Abandon();
  m_path = path;
  RemoveStaleTemporaryFiles(path);
  const std::string pattern =
      path + kTemporaryMark + std::to_string(static_cast<long>(getpid())) + "-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return Fail("cannot create a file beside " + path, error);
  m_temporaryPath = name.data();
  m_cleanupSlot = RememberTemporaryFile(m_temporaryPath);
  // mkstemp makes the file private; the result should look like any other new file.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
  m_file = fdopen(descriptor, "w+b");
  if (m_file == nullptr) {
    const int saved = errno;
    close(descriptor);
    unlink(m_temporaryPath.c_str());
    m_temporaryPath.clear();
    ForgetTemporaryFile(m_cleanupSlot);
    m_cleanupSlot = -1;
    errno = saved;
    return Fail("cannot open a file beside " + path, error);
  }
  m_size = 0;
  m_position = 0;
  return true;
}

bool CAtomicFile::Write(const void* bytes, size_t count, std::string* error) {
  return WriteAt(m_size, bytes, count, error);
}

bool CAtomicFile::WriteAt(uint64_t offset, const void* bytes, size_t count, std::string* error) {
  if (m_file == nullptr) {
    if (error) *error = "cannot write " + m_path + ": the file is not open";
    return false;
  }
  if (offset != m_position) {
    if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) {
      return Fail("cannot write " + m_path, error);
    }
    m_position = offset;
  }
  if (count > 0 && std::fwrite(bytes, 1, count, m_file) != count) {
    return Fail("cannot write " + m_path, error);
  }
  m_position += count;
  if (m_position > m_size) m_size = m_position;
  return true;
}

bool CAtomicFile::Commit(std::string* error) {
  if (m_file == nullptr) {
    if (error) *error = "cannot write " + m_path + ": the file is not open";
    return false;
  }
  if (std::fflush(m_file) != 0 || fsync(fileno(m_file)) != 0) {
    return Fail("cannot write " + m_path, error);
  }
  std::FILE* file = m_file;
  m_file = nullptr;
  if (std::fclose(file) != 0) return Fail("cannot write " + m_path, error);
  if (std::rename(m_temporaryPath.c_str(), m_path.c_str()) != 0) {
    return Fail("cannot create " + m_path, error);
  }
  m_temporaryPath.clear();
  ForgetTemporaryFile(m_cleanupSlot);
  m_cleanupSlot = -1;
  return true;
}

void CAtomicFile::Abandon() {
  if (m_file != nullptr) {
    std::fclose(m_file);
    m_file = nullptr;
  }
  if (!m_temporaryPath.empty()) {
    unlink(m_temporaryPath.c_str());
    m_temporaryPath.clear();
  }
  ForgetTemporaryFile(m_cleanupSlot);
  m_cleanupSlot = -1;
}

bool CAtomicFile::Fail(const std::string& what, std::string* error) {
  const int cause = errno;
  if (error) *error = what + ": " + std::strerror(cause);
  Abandon();
  return false;
}

}  // namespace tessaly::media
