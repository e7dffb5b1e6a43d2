// A progress bar on standard error, drawn only when that is a terminal.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace tessaly::cli {

class CProgressBar {
 public:
  // total in seconds; 0 when unknown (the bar then counts seconds done).
  CProgressBar(std::string label, double total, bool enabled);
  ~CProgressBar() { Finish(); }

  void Update(double done);
  // Ends the bar's line; later updates draw nothing.
  void Finish();

  static bool StandardErrorIsTerminal();

 private:
  std::mutex m_lock;  // updates come from the delivering threads
  std::string m_label;
  double m_total;
  bool m_enabled;
  bool m_drawn = false;
  int m_lastDrawn = -1;
};

}  // namespace tessaly::cli
