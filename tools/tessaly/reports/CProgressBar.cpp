#include "tessaly/reports/CProgressBar.h"

#include <unistd.h>

#include <algorithm>

namespace tessaly::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

CProgressBar::CProgressBar(std::string label, double total, bool enabled, std::FILE* out)
    : m_label(std::move(label)), m_total(total), m_enabled(enabled), m_out(out) {}

bool CProgressBar::StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void CProgressBar::Update(double done) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_enabled) return;
  if (m_total > 0) {
    const double fraction = std::clamp(done / m_total, 0.0, 1.0);
    const int percent = static_cast<int>(fraction * 100);
    if (percent == m_lastDrawn) return;
    m_lastDrawn = percent;
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::fprintf(m_out, "\r%s [%s%s] %3d%%", m_label.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), percent);
  } else {
    const int tenths = static_cast<int>(done * 10);
    if (tenths == m_lastDrawn) return;
    m_lastDrawn = tenths;
    std::fprintf(m_out, "\r%s %.1f s", m_label.c_str(), done);
  }
  std::fflush(m_out);
  m_drawn = true;
}

void CProgressBar::Complete() {
  if (m_total > 0) Update(m_total);
  Finish();
}

void CProgressBar::Finish() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_enabled && m_drawn) {
    std::fputc('\n', m_out);
    std::fflush(m_out);
  }
  m_enabled = false;
}

}  // namespace tessaly::cli
