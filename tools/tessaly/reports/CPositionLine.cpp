#include "tessaly/reports/CPositionLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessaly::cli {

void CPositionLine::Start(double start, double end, bool enabled) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_start = start;
  m_end = end;
  m_enabled = enabled;
}

void CPositionLine::Update(double sampleTime) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_enabled) return;
  // Preroll samples before the start are not shown; "-0.0" would be.
  const double position = std::max(0.0, m_start + sampleTime);
  // Counted in the tenths it prints, so that no figure shows twice.
  const int tenths = static_cast<int>(std::lround(position * 10));
  if (tenths <= m_lastTenths) return;
  m_lastTenths = tenths;
  char text[96];
  const int width =
      m_end > 0 ? std::snprintf(text, sizeof(text), "playing %.1f s / %.1f s", tenths / 10.0, m_end)
                : std::snprintf(text, sizeof(text), "playing %.1f s", tenths / 10.0);
  std::fprintf(stderr, "\r%s%*s", text, std::max(0, m_lastWidth - width), "");
  m_lastWidth = width;
  std::fflush(stderr);
  m_drawn = true;
}

void CPositionLine::Finish() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_enabled && m_drawn) {
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  m_enabled = false;
}

}  // namespace tessaly::cli
