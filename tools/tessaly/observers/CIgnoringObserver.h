// An observer for graphs that are built but never run (info, demo).
#pragma once

#include "sinks/SinkObserver.h"

namespace tessaly::cli {

class CIgnoringObserver final : public sinks::ISinkObserver {
 public:
  HRESULT OnSample(const sinks::SinkSample&) override { return S_OK; }
  void OnEndOfStream(const std::string&) override {}
};

}  // namespace tessaly::cli
