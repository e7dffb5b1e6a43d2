// What `tessaly play` hears from one renderer: the sample it holds while
// paused, and the start time of every sample it presents, for the position line.
#pragma once

#include <win/platform.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <platform/Rendering.h>

#include "tessaly/reports/CLossTally.h"
#include "tessaly/reports/CPositionLine.h"

namespace tessaly::cli {

struct HeldSample {
  std::optional<REFERENCE_TIME> start;
  LONG length = 0;
};

class CPlayObserver final : public platform::IRenderObserver {
 public:
  // Hands out a new observer with one reference; every sample presented is
  // noted in tally.
  static CPlayObserver* Create(std::string stream, std::shared_ptr<CPositionLine> line,
                               std::shared_ptr<CLossTally> tally);

  const std::string& Stream() const { return m_stream; }
  // The first sample held since the renderer left Stopped, if any.
  std::optional<HeldSample> FirstHeld();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IRenderObserver
  void STDMETHODCALLTYPE OnHold(IMediaSample* sample) override;
  void STDMETHODCALLTYPE OnPresent(IMediaSample* sample, REFERENCE_TIME clockTime) override;
  void STDMETHODCALLTYPE OnEndOfStream() override {}

 private:
  CPlayObserver(std::string stream, std::shared_ptr<CPositionLine> line,
                std::shared_ptr<CLossTally> tally)
      : m_stream(std::move(stream)), m_line(std::move(line)), m_tally(std::move(tally)) {}
  ~CPlayObserver() = default;

  std::atomic<ULONG> m_refs{0};
  std::string m_stream;  // the name of the splitter pin the renderer plays
  std::shared_ptr<CPositionLine> m_line;
  std::shared_ptr<CLossTally> m_tally;
  std::mutex m_lock;
  std::optional<HeldSample> m_firstHeld;  // guarded by m_lock
};

}  // namespace tessaly::cli
