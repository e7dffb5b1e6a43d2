#include "tessaly/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessaly::cli {

bool MakeFolders(const std::string& path, std::vector<std::string>* created) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeFolders(path.substr(0, slash), created)) return false;
  }
  if (mkdir(path.c_str(), 0777) == 0) {
    if (created != nullptr) created->push_back(path);
    return true;
  }
  return errno == EEXIST;
}

void RemoveFolders(const std::vector<std::string>& created) {
  for (auto folder = created.rbegin(); folder != created.rend(); ++folder) {
    if (rmdir(folder->c_str()) != 0) return;
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ShellQuoted(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789_-./+:=,@%") == std::string::npos;
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted.push_back(c);
    }
  }
  return quoted + "'";
}

std::string ProgramPath() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return std::string();
  return std::string(self, static_cast<size_t>(length));
}

}  // namespace tessaly::cli
