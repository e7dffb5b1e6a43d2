// Small file-system questions the commands ask before they start work.
#pragma once

#include <string>
#include <vector>

namespace tessaly::cli {

// Makes a folder and its parents; false with errno set when that fails.
// created, when given, gets the folders made, parents first.
bool MakeFolders(const std::string& path, std::vector<std::string>* created = nullptr);
// Removes folders MakeFolders made, children first, as long as they are empty.
void RemoveFolders(const std::vector<std::string>& created);
// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);
// Quotes a path for a suggested shell command when it needs quoting.
std::string ShellQuoted(const std::string& text);
// The running program's own file.
std::string ProgramPath();
// The file to write for -o output, checked before any work: never the input
// itself however it is named (a hard link, a symbolic link, another path),
// never a folder or a special file (a FIFO, a device, a socket), which a
// new file would replace. A symbolic link is written through: the file it
// names gets the new content and the link stays. Throws CCommandError.
std::string OutputFileFor(const std::string& input, const std::string& output);

}  // namespace tessaly::cli
