#include "ChromeDriver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tools_test {

namespace {

// A port no one listens on now, for the driver to take.
int FreePort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  int port = 0;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(probe);
  return port;
}

}  // namespace

ChromeDriver::ChromeDriver(const std::string& driver, const std::string& browser,
                           const std::string& profile) {
  m_port = FreePort();
  int output[2];
  if (m_port == 0 || pipe(output) != 0) {
    m_error = "cannot prepare the driver";
    return;
  }
  const std::string portOption = "--port=" + std::to_string(m_port);
  m_child = fork();
  if (m_child == 0) {
    dup2(output[1], STDOUT_FILENO);
    close(output[0]);
    execl(driver.c_str(), driver.c_str(), portOption.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  // The driver says on its output when it listens: read until then.
  std::string said;
  char buffer[256];
  while (said.find("started successfully") == std::string::npos) {
    const ssize_t count = read(output[0], buffer, sizeof(buffer));
    if (count <= 0) break;
    said.append(buffer, static_cast<size_t>(count));
  }
  close(output[0]);
  if (said.find("started successfully") == std::string::npos) {
    m_error = "chromedriver did not start: " + said;
    return;
  }
  const nlohmann::json arguments = {"--headless",
                                    "--no-sandbox",
                                    "--disable-gpu",
                                    "--disable-quic",
                                    "--no-first-run",
                                    "--disable-background-networking",
                                    "--disable-component-update",
                                    "--disable-sync",
                                    "--allow-file-access-from-files",
                                    "--autoplay-policy=no-user-gesture-required",
                                    "--user-data-dir=" + profile};
  const nlohmann::json session = Call(
      "POST", "/session",
      {{"capabilities",
        {{"alwaysMatch", {{"goog:chromeOptions", {{"binary", browser}, {"args", arguments}}}}}}}});
  if (session.is_object() && session.contains("sessionId")) {
    m_session = session["sessionId"].get<std::string>();
  } else if (m_error.empty()) {
    m_error = "no browser session: " + session.dump();
  }
}

ChromeDriver::~ChromeDriver() {
  if (!m_session.empty()) Call("DELETE", "/session/" + m_session, nullptr);
  if (m_child > 0) {
    kill(m_child, SIGTERM);
    waitpid(m_child, nullptr, 0);
  }
}

bool ChromeDriver::Open(const std::string& url) {
  if (!m_error.empty()) return false;
  Call("POST", "/session/" + m_session + "/url", {{"url", url}});
  return m_error.empty();
}

nlohmann::json ChromeDriver::RunAsync(const std::string& script) {
  if (!m_error.empty()) return nullptr;
  return Call("POST", "/session/" + m_session + "/execute/async",
              {{"script", script}, {"args", nlohmann::json::array()}});
}

// One HTTP/1.1 request, the connection closed after the answer.
nlohmann::json ChromeDriver::Call(const std::string& method, const std::string& path,
                                  const nlohmann::json& body) {
  const int connection = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(m_port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // A browser that never answers fails the test instead of hanging it.
  const timeval patience{60, 0};
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof(patience));
  if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(connection);
    m_error = "cannot reach chromedriver";
    return nullptr;
  }
  const std::string content = body.is_null() ? std::string() : body.dump();
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                        "Content-Type: application/json\r\nConnection: close\r\n" +
                        "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" + content;
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t count = send(connection, request.data() + sent, request.size() - sent, 0);
    if (count <= 0) break;
    sent += static_cast<size_t>(count);
  }
  std::string answer;
  std::vector<char> buffer(65536);
  // The driver keeps the connection open: the answer ends where its length says.
  for (;;) {
    const size_t head = answer.find("\r\n\r\n");
    if (head != std::string::npos) {
      std::string fields = answer.substr(0, head);
      for (char& c : fields) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const size_t field = fields.find("content-length:");
      if (field != std::string::npos &&
          answer.size() >= head + 4 + std::stoul(fields.substr(field + 15))) {
        break;
      }
    }
    const ssize_t count = recv(connection, buffer.data(), buffer.size(), 0);
    if (count <= 0) break;
    answer.append(buffer.data(), static_cast<size_t>(count));
  }
  close(connection);
  const size_t start = answer.find("\r\n\r\n");
  if (start == std::string::npos) {
    m_error = "no answer from chromedriver to " + path;
    return nullptr;
  }
  nlohmann::json reply = nlohmann::json::parse(answer.substr(start + 4), nullptr, false);
  if (!reply.is_object() || !reply.contains("value")) {
    m_error = "a bad answer from chromedriver: " + answer.substr(0, 300);
    return nullptr;
  }
  if (reply["value"].is_object() && reply["value"].contains("error")) {
    m_error = reply["value"].dump().substr(0, 600);
    return nullptr;
  }
  return reply["value"];
}

}  // namespace tools_test
