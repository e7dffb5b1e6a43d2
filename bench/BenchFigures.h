// The figures a benchmark program prints once all its benchmarks have run,
// one line per kind ("vs_memcpy mono8/4096=1.02 ..."), so that two runs can
// be compared line by line whatever else the output holds.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace benchfigures {

struct Line {
  std::string kind;
  std::vector<std::pair<std::string, double>> values;
};

inline std::vector<Line>& Lines() {
  static std::vector<Line> lines;
  return lines;
}

// A benchmark runs several times while its iteration count is chosen: the
// last value recorded under a name is the one printed.
inline void Record(const std::string& kind, const std::string& name, double value) {
  std::vector<Line>& lines = Lines();
  Line* line = nullptr;
  for (Line& candidate : lines) {
    if (candidate.kind == kind) {
      line = &candidate;
    }
  }
  if (line == nullptr) {
    lines.push_back(Line{kind, {}});
    line = &lines.back();
  }
  for (auto& [existing, figure] : line->values) {
    if (existing == name) {
      figure = value;
      return;
    }
  }
  line->values.emplace_back(name, value);
}

// Ratios with three decimals, larger figures (ns, µs, KiB) whole.
inline std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), value >= 100 || value <= -100 ? "%.0f" : "%.3f", value);
  return text;
}

// The machine the figures were measured on: CPU model, the processors this
// program may use and the widest vector unit the conversions can meet, since
// ratios against memcpy depend on how wide memcpy's own steps are.
inline std::string Machine() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string model = "unknown CPU";
  std::string flags;
  for (std::string line; std::getline(cpuinfo, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon + 2 > line.size()) continue;
    const std::string key = line.substr(0, line.find_first_of(" \t"));
    if (key == "model" && line.compare(0, 10, "model name") == 0 && model == "unknown CPU") {
      model = line.substr(colon + 2);
    } else if (key == "flags" && flags.empty()) {
      flags = " " + line.substr(colon + 2) + " ";
    }
  }
  const char* vector = flags.find(" avx512f ") != std::string::npos ? "avx512f"
                       : flags.find(" avx2 ") != std::string::npos  ? "avx2"
                                                                    : "no avx2";
  return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " CPUs online, " + vector;
}

// A kind with one unnamed value prints as "kind=value"; the machine comes first.
inline void Print() {
  std::printf("machine=%s\n", Machine().c_str());
  for (const Line& line : Lines()) {
    if (line.values.size() == 1 && line.values[0].first.empty()) {
      std::printf("%s=%s\n", line.kind.c_str(), Text(line.values[0].second).c_str());
      continue;
    }
    std::printf("%s", line.kind.c_str());
    for (const auto& [name, value] : line.values) {
      std::printf(" %s=%s", name.c_str(), Text(value).c_str());
    }
    std::printf("\n");
  }
}

}  // namespace benchfigures
