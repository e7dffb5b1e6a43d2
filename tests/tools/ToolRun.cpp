#include "ToolRun.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace tools_test {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ToolResult RunTool(const std::vector<std::string>& arguments, const ToolEnvironment& environment) {
  char outName[] = "/tmp/tessaly-tool-out-XXXXXX";
  char errName[] = "/tmp/tessaly-tool-err-XXXXXX";
  const int outFile = mkstemp(outName);
  const int errFile = mkstemp(errName);
  ToolResult result;
  if (outFile < 0 || errFile < 0) return result;

  std::vector<std::string> argv = {environment.program.empty() ? std::string(TESSALY_TOOL_PATH)
                                                               : environment.program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  // The child's environment is prepared here: after fork only exec-safe calls run.
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (environment.variables.count(name) == 0) variables.push_back(text);
  }
  for (const auto& [name, value] : environment.variables) {
    if (value) variables.push_back(name + "=" + *value);
  }
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    const int full = environment.outputFull ? open("/dev/full", O_WRONLY) : -1;
    dup2(full >= 0 ? full : outFile, STDOUT_FILENO);
    dup2(errFile, STDERR_FILENO);
    if (!environment.workingFolder.empty() && chdir(environment.workingFolder.c_str()) != 0) {
      _exit(126);
    }
    if (environment.fileSizeLimit) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(*environment.fileSizeLimit),
                         static_cast<rlim_t>(*environment.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execve(pointers[0], pointers.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  }
  close(outFile);
  close(errFile);
  result.out = ReadAll(outName);
  result.err = ReadAll(errName);
  unlink(outName);
  unlink(errName);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace tools_test
