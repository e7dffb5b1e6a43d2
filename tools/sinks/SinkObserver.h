// What a recording sink reports to the host: every sample and end-of-stream,
// in the order the sink receives them.
#pragma once

#include <win/platform.h>

#include <optional>
#include <string>

namespace tessaly::sinks {

struct SinkSample {
  std::string stream;  // name of the upstream pin that delivered it
  std::optional<REFERENCE_TIME> start;
  std::optional<REFERENCE_TIME> stop;
  std::optional<REFERENCE_TIME> mediaStart;
  std::optional<REFERENCE_TIME> mediaStop;
  bool syncPoint = false;
  bool preroll = false;        // sent only to reach a seek's target
  bool discontinuity = false;  // something of the stream before it is missing
  LONG length = 0;             // the sample's actual data length
  const BYTE* data = nullptr;  // borrowed for the call: the first length bytes
  size_t dataBytes = 0;        // bytes readable at data (length, capped by the buffer)
};

class ISinkObserver {
 public:
  virtual ~ISinkObserver() = default;
  // Called on the delivering thread. A failure refuses the sample and aborts
  // playback (the sink raises EC_ERRORABORT with it).
  virtual HRESULT OnSample(const SinkSample& sample) = 0;
  virtual void OnEndOfStream(const std::string& stream) = 0;
  // The sink leaves Paused or Running: an observer that holds a delivering thread lets it go,
  // since the filters upstream stop after it and wait for their threads.
  virtual void OnStop() {}
};

}  // namespace tessaly::sinks
