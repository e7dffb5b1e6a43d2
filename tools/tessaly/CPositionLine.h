// The playback position against the duration, redrawn in place on standard
// error, only when that is a terminal.
#pragma once

#include <mutex>

namespace tessaly::cli {

class CPositionLine {
 public:
  CPositionLine() = default;
  ~CPositionLine() { Finish(); }
  CPositionLine(const CPositionLine&) = delete;
  CPositionLine& operator=(const CPositionLine&) = delete;

  // duration in seconds, 0 when unknown; draws nothing until this is called.
  void Start(double duration, bool enabled);
  // position in seconds; the line only moves forward.
  void Update(double position);
  // Ends the line; later updates draw nothing.
  void Finish();

 private:
  std::mutex m_lock;  // updates come from every renderer's delivering thread
  double m_duration = 0;
  bool m_enabled = false;
  bool m_drawn = false;
  int m_lastTenths = -1;
};

}  // namespace tessaly::cli
