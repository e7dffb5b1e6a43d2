#include "tessaly/reports/CLossTally.h"

#include <cstdio>

#include "media/ReferenceTime.h"

namespace tessaly::cli {

void CLossTally::Note(const std::string& stream, std::optional<REFERENCE_TIME> mediaStart,
                      std::optional<REFERENCE_TIME> mediaStop, bool discontinuity) {
  std::lock_guard<std::mutex> guard(m_lock);
  Stream& figures = m_streams[stream];
  if (discontinuity && mediaStart && figures.lastStop && *mediaStart > *figures.lastStop) {
    ++figures.places;
    figures.missing += *mediaStart - *figures.lastStop;
  }
  if (mediaStop) figures.lastStop = mediaStop;
}

std::string CLossTally::Summary() const {
  std::lock_guard<std::mutex> guard(m_lock);
  std::string summary;
  for (const auto& [name, figures] : m_streams) {
    if (figures.places == 0) continue;
    char text[160];
    std::snprintf(text, sizeof(text), "%s%s %.3f s in %u place%s", summary.empty() ? "" : ", ",
                  name.c_str(), media::Seconds(figures.missing), figures.places,
                  figures.places == 1 ? "" : "s");
    summary += text;
  }
  return summary;
}

HRESULT CLossTally::OnSample(const sinks::SinkSample& sample) {
  Note(sample.stream, sample.mediaStart, sample.mediaStop, sample.discontinuity);
  return m_inner ? m_inner->OnSample(sample) : S_OK;
}

void CLossTally::OnEndOfStream(const std::string& stream) {
  if (m_inner) m_inner->OnEndOfStream(stream);
}

}  // namespace tessaly::cli
