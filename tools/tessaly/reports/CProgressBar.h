// A progress bar on standard error, drawn only when that is a terminal.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace tessaly::cli {

class CProgressBar {
 public:
  // total in seconds; 0 when unknown (the bar then counts seconds done).
  // Drawn on out (standard error by default).
  CProgressBar(std::string label, double total, bool enabled, std::FILE* out = stderr);
  ~CProgressBar() { Finish(); }

  void Update(double done);
  // Shows the whole done, since the last chunk may end short of the total
  // foreseen, then ends the line.
  void Complete();
  // Ends the bar's line; later updates draw nothing.
  void Finish();

  static bool StandardErrorIsTerminal();

 private:
  std::mutex m_lock;  // updates come from the delivering threads
  std::string m_label;
  double m_total;
  bool m_enabled;
  std::FILE* m_out;  // borrowed
  bool m_drawn = false;
  int m_lastDrawn = -1;
};

}  // namespace tessaly::cli
