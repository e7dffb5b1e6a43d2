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

  // Seconds of the movie: where playback starts (sample times count from
  // there) and where it ends, 0 when unknown; draws nothing until this is called.
  void Start(double start, double end, bool enabled);
  // A sample time in seconds; the line shows it as movie time and only moves forward.
  void Update(double sampleTime);
  // Ends the line; later updates draw nothing.
  void Finish();

 private:
  std::mutex m_lock;  // updates come from every renderer's delivering thread
  double m_start = 0;
  double m_end = 0;
  bool m_enabled = false;
  int m_lastWidth = 0;  // of the text drawn last, which a shorter one must cover
  bool m_drawn = false;
  int m_lastTenths = -1;
};

}  // namespace tessaly::cli
