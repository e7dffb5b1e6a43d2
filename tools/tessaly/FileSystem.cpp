#include "tessaly/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "tessaly/CCommandError.h"

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

std::string OutputFileFor(const std::string& input, const std::string& output) {
  std::string target = output;
  struct stat link {};
  if (lstat(output.c_str(), &link) != 0) return target;  // a new file
  if (S_ISLNK(link.st_mode)) {
    char resolved[PATH_MAX];
    if (realpath(output.c_str(), resolved) == nullptr) {
      throw CCommandError(kExitOutputFailed, "cannot write " + output +
                                                 ": it is a symbolic link to nothing that exists");
    }
    target = resolved;
  }
  struct stat written {};
  if (stat(target.c_str(), &written) != 0) return target;
  if (S_ISDIR(written.st_mode)) {
    throw CCommandError(kExitOutputFailed, "cannot write " + output + ": it is a folder");
  }
  if (!S_ISREG(written.st_mode)) {
    throw CCommandError(kExitOutputFailed,
                        "cannot write " + output +
                            ": it is not a regular file (a FIFO, a device or a socket), and "
                            "tessaly writes only regular files");
  }
  struct stat read {};
  if (stat(input.c_str(), &read) == 0 && read.st_dev == written.st_dev &&
      read.st_ino == written.st_ino) {
    throw CCommandError(kExitUsage, "-o " + output + " is the input file " + input +
                                        " itself; write to another file");
  }
  return target;
}

}  // namespace tessaly::cli
