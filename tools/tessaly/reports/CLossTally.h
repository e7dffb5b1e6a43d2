// What the samples a graph delivered say of the rows the splitter lost: a
// sample after a lost row is a discontinuity, and the media time between it
// and the sample before is what was not played.
#pragma once

#include <win/platform.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sinks/SinkObserver.h"

namespace tessaly::cli {

class CLossTally final : public sinks::ISinkObserver {
 public:
  // Samples go on to inner (borrowed for the tally's life; may be null).
  explicit CLossTally(std::shared_ptr<sinks::ISinkObserver> inner = nullptr)
      : m_inner(std::move(inner)) {}

  // One sample of the stream, in its delivery order; any thread.
  void Note(const std::string& stream, std::optional<REFERENCE_TIME> mediaStart,
            std::optional<REFERENCE_TIME> mediaStop, bool discontinuity);

  // "Audio 0.300 s in 3 places, Video 0.067 s in 1 place"; empty when no
  // gap was seen.
  std::string Summary() const;

  // ISinkObserver
  HRESULT OnSample(const sinks::SinkSample& sample) override;
  void OnEndOfStream(const std::string& stream) override;

 private:
  struct Stream {
    std::optional<REFERENCE_TIME> lastStop;
    unsigned places = 0;
    REFERENCE_TIME missing = 0;
  };

  std::shared_ptr<sinks::ISinkObserver> m_inner;
  mutable std::mutex m_lock;
  std::map<std::string, Stream> m_streams;  // guarded by m_lock, by pin name
};

}  // namespace tessaly::cli
