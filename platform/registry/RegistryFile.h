// Whole-file reads and crash-safe replacement of the registry file.
#pragma once

#include <string>
#include <string_view>

namespace platform::registry {

enum class FileReadResult { Read, Missing, Failed };

FileReadResult ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

// Writes a temporary file beside path, flushes it to disk and renames it over
// path, so that readers see either the old file or the new one, never a mix.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string& error);

}  // namespace platform::registry
