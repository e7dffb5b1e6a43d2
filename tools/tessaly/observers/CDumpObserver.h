// Prints what the sinks receive as JSON lines, one per sample or
// end-of-stream, in the order the sinks receive them. The line format is a
// contract other tools read.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "sinks/SinkObserver.h"

namespace tessaly::cli {

class CDumpObserver final : public sinks::ISinkObserver {
 public:
  explicit CDumpObserver(std::FILE* out) : m_out(out) {}

  HRESULT OnSample(const sinks::SinkSample& sample) override;
  void OnEndOfStream(const std::string& stream) override;

  // The line for one sample or end-of-stream, without its line break.
  static std::string SampleLine(const sinks::SinkSample& sample);
  static std::string EndOfStreamLine(const std::string& stream);

 private:
  HRESULT Print(const std::string& line);

  std::mutex m_lock;  // sinks may deliver on different threads
  std::FILE* m_out;   // borrowed
};

}  // namespace tessaly::cli
