// Runs the built tessaly binary in a child process and captures what it says.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tools_test {

struct ToolResult {
  int exitCode = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

struct ToolEnvironment {
  // Variables to set (a value) or remove (nullopt) in the child's environment.
  std::map<std::string, std::optional<std::string>> variables;
  std::string workingFolder;          // empty: the test's own
  std::optional<long> fileSizeLimit;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored
  bool outputFull = false;            // standard output on /dev/full, where writes fail
  std::string program;                // another program to run (a path); empty: tessaly
};

ToolResult RunTool(const std::vector<std::string>& arguments,
                   const ToolEnvironment& environment = ToolEnvironment());

// Lines of a text, without their line breaks.
std::vector<std::string> Lines(const std::string& text);

}  // namespace tools_test
