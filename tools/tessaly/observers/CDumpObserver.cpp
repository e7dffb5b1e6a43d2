#include "tessaly/observers/CDumpObserver.h"

#include <nlohmann/json.hpp>

#include "tessaly/CSha256.h"

namespace tessaly::cli {

std::string CDumpObserver::SampleLine(const sinks::SinkSample& sample) {
  nlohmann::ordered_json line;
  line["pin"] = sample.stream;
  if (sample.start) line["start"] = *sample.start;
  if (sample.stop) line["stop"] = *sample.stop;
  if (sample.mediaStart) line["mediaStart"] = *sample.mediaStart;
  if (sample.mediaStop) line["mediaStop"] = *sample.mediaStop;
  line["sync"] = sample.syncPoint;
  // Only when set, so that a dump without a seek reads as it always has.
  if (sample.preroll) line["preroll"] = true;
  line["length"] = sample.length;
  line["sha256"] = CSha256::HexDigest(sample.data, sample.data != nullptr ? sample.dataBytes : 0);
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string CDumpObserver::EndOfStreamLine(const std::string& stream) {
  nlohmann::ordered_json line;
  line["pin"] = stream;
  line["event"] = "eos";
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

HRESULT CDumpObserver::OnSample(const sinks::SinkSample& sample) {
  return Print(SampleLine(sample));
}

void CDumpObserver::OnEndOfStream(const std::string& stream) { Print(EndOfStreamLine(stream)); }

HRESULT CDumpObserver::Print(const std::string& line) {
  // Each line leaves in one write, so that an interrupted dump ends on a
  // whole line (the interrupt ends the program without flushing the buffer).
  const std::string text = line + "\n";
  std::lock_guard<std::mutex> guard(m_lock);
  if (std::fwrite(text.data(), 1, text.size(), m_out) != text.size() || std::fflush(m_out) != 0) {
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace tessaly::cli
