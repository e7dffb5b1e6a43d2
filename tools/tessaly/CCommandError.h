// A failure a person can act on: one line for standard error and the exit
// status that names its kind.
#pragma once

#include <stdexcept>
#include <string>

namespace tessaly::cli {

enum ExitCode : int {
  kExitSuccess = 0,
  kExitFailure = 1,         // anything not named below (an unexpected platform result)
  kExitUsage = 2,           // the command line itself is wrong
  kExitInputMissing = 3,    // the input file does not exist or cannot be read
  kExitUnrecognised = 4,    // no registered check bytes match the file
  kExitNotRegistered = 5,   // the module is not registered, or cannot be loaded
  kExitRefused = 6,         // the splitter refused the file
  kExitOutputFailed = 7,    // the output directory or a file in it cannot be written
  kExitRegistryFailed = 8,  // the registry file cannot be read or written
  kExitReadFailed = 9,      // a read of the input failed while it played; the rest was written
};

class CCommandError : public std::runtime_error {
 public:
  CCommandError(ExitCode code, const std::string& message)
      : std::runtime_error(message), m_code(code) {}

  ExitCode Code() const { return m_code; }

 private:
  ExitCode m_code;
};

}  // namespace tessaly::cli
