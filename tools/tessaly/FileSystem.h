// Small file-system questions the commands ask before they start work.
#pragma once

#include <string>

namespace tessaly::cli {

// Makes a folder and its parents; false with errno set when that fails.
bool MakeFolders(const std::string& path);
// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);
// Quotes a path for a suggested shell command when it needs quoting.
std::string ShellQuoted(const std::string& text);
// The running program's own file.
std::string ProgramPath();

}  // namespace tessaly::cli
