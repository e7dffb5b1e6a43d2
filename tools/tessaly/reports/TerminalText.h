// Text for the terminal: a message may quote bytes of a file the user named
// (a binary file given as the registry), which must not reach the terminal
// as control codes.
#pragma once

#include <string>

namespace tessaly::cli {

// The text with control characters and bytes that are not UTF-8 shown as '?'.
std::string TerminalSafe(const std::string& text);

}  // namespace tessaly::cli
