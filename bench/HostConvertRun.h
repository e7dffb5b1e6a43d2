// Runs the built `tessaly convert` on a FILM file in a child process, in a
// registry of its own, and reports what the child cost: wall clock, the CPU
// time of all its threads and its peak resident memory. TESSALY_BENCH_TOOL
// names another tessaly binary to measure (an earlier build, say).
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace hostconvert {

struct HostRun {
  bool ok = false;
  double seconds = 0;     // wall clock
  double cpuSeconds = 0;  // user and system time of every thread
  double peakMb = 0;      // the child's largest resident set
};

inline std::string Tool() {
  const char* other = std::getenv("TESSALY_BENCH_TOOL");
  return other != nullptr && *other != '\0' ? other : TESSALY_TOOL_PATH;
}

inline HostRun RunTool(const std::vector<std::string>& arguments, const std::string& registry) {
  HostRun run;
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return run;
  if (child == 0) {
    setenv("TESSALY_REGISTRY", registry.c_str(), 1);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    std::vector<char*> argv;
    const std::string tool = Tool();
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return run;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec * 1e-6;
  run.peakMb = usage.ru_maxrss / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// A registry of the benchmark's own with the built module in it.
inline std::string Registry() {
  static const std::string path = [] {
    const std::string file = "/tmp/tessaly-convert-bench-" + std::to_string(getpid()) + ".reg";
    RunTool({"register", "--module", TESSALY_MODULE_PATH}, file);
    return file;
  }();
  return path;
}

inline HostRun Convert(const std::string& film, const std::string& webm) {
  return RunTool({"convert", film, "-o", webm}, Registry());
}

}  // namespace hostconvert
