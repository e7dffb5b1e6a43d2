// Whether the registry in use knows the Tessaly module, and where it says the
// module lives, so that a command can say what to do before it builds a graph.
#pragma once

#include <string>

namespace tessaly::cli {

class CRegistrationCheck {
 public:
  // Reads the registry now (it must already be selected).
  CRegistrationCheck();

  bool IsRegistered() const { return m_registered; }
  // The module file the class key names; empty when not registered.
  const std::string& ModulePath() const { return m_modulePath; }

 private:
  bool m_registered = false;
  std::string m_modulePath;
};

}  // namespace tessaly::cli
