// An output file that appears under its name only when it is complete: bytes
// go to a temporary file beside it, renamed over the name on Commit and
// removed when the object dies uncommitted. The temporary file's name
// carries the writer's process id, so that one left by a killed run is known
// as stale and removed by the next run writing the same name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tessaly::media {

class CAtomicFile {
 public:
  CAtomicFile() = default;
  CAtomicFile(const CAtomicFile&) = delete;
  CAtomicFile& operator=(const CAtomicFile&) = delete;
  ~CAtomicFile() { Abandon(); }

  // Creates the temporary file; false with a message when the directory
  // cannot take it.
  bool Open(const std::string& path, std::string* error);
  bool IsOpen() const { return m_file != nullptr; }

  bool Write(const void* bytes, size_t count, std::string* error);
  // Overwrites bytes already written (headers whose sizes come last).
  bool WriteAt(uint64_t offset, const void* bytes, size_t count, std::string* error);
  uint64_t Size() const { return m_size; }

  // Flushes, closes and renames the temporary file to the path.
  bool Commit(std::string* error);
  // Removes the temporary file; nothing appears under the path.
  void Abandon();

  const std::string& Path() const { return m_path; }

 private:
  bool Fail(const std::string& what, std::string* error);
  static void RemoveStaleTemporaryFiles(const std::string& path);

  std::FILE* m_file = nullptr;  // owned
  std::string m_path;
  std::string m_temporaryPath;
  int m_cleanupSlot = -1;  // where an interruption finds the temporary file
  uint64_t m_size = 0;
  uint64_t m_position = 0;
};

}  // namespace tessaly::media
