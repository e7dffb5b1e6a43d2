// Debian's Chromium, headless, driven through its chromedriver's WebDriver
// protocol: one session with a fresh profile, pages opened and scripts run
// in them. The driver is a child process of the test, ended with it.
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>

#include <string>

namespace tools_test {

class ChromeDriver {
 public:
  // profile: an empty folder for the browser's user data.
  ChromeDriver(const std::string& driver, const std::string& browser, const std::string& profile);
  ChromeDriver(const ChromeDriver&) = delete;
  ChromeDriver& operator=(const ChromeDriver&) = delete;
  ~ChromeDriver();

  // Empty when the browser runs; else what went wrong.
  const std::string& Error() const { return m_error; }

  bool Open(const std::string& url);
  // Runs an asynchronous script (its last argument is the callback) and
  // returns the value it passes back; null with Error() set on failure.
  nlohmann::json RunAsync(const std::string& script);

 private:
  nlohmann::json Call(const std::string& method, const std::string& path,
                      const nlohmann::json& body);

  pid_t m_child = -1;
  int m_port = 0;
  std::string m_session;
  std::string m_error;
};

}  // namespace tools_test
