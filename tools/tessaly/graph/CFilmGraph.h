// One FILM file in a graph built the platform's way: the file rendered
// through its registered source and splitter, each output ending in a
// recording sink, then played to the end.
#pragma once

#include <sys/stat.h>
#include <win/platform.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <platform/GraphBuilding.h>

#include <platform/ComRef.h>
#include "sinks/CSinkMediaType.h"
#include "sinks/SinkObserver.h"
#include "tessaly/reports/CLossTally.h"

namespace tessaly::cli {

class CRegistrySelection;

struct OutputPin {
  std::string name;
  bool connected = false;
  sinks::CSinkMediaType type;  // the connection's type, else the pin's first offered type
};

class CFilmGraph {
 public:
  // Makes the filter that ends the splitter's output pin.
  using SinkMaker = std::function<HRESULT(IPin* pin, IBaseFilter** sink)>;

  // The observer hears every sample the sinks receive. COM must be
  // initialised on the calling thread for the object's whole life.
  explicit CFilmGraph(std::shared_ptr<sinks::ISinkObserver> observer);
  // Sinks of the caller's making instead of recording sinks; they report
  // what they receive to tally themselves.
  explicit CFilmGraph(SinkMaker makeSink, std::shared_ptr<CLossTally> tally = nullptr);
  CFilmGraph(const CFilmGraph&) = delete;
  CFilmGraph& operator=(const CFilmGraph&) = delete;
  ~CFilmGraph();

  // Builds the graph for the file. Throws CCommandError naming what to do:
  // a missing file, an unrecognised one, a module not registered, a refusal.
  void Render(const std::string& path, const CRegistrySelection& registry);

  // The splitter's output pins in its own order.
  std::vector<OutputPin> Outputs() const;
  // Seconds, from the splitter's IMediaPosition; 0 when it has none.
  double Duration() const;

  // Sets where playback starts and ends (seconds; either may be absent)
  // through the graph's seeking, before the graph leaves Stopped. Throws
  // CCommandError when the graph cannot seek.
  void Seek(std::optional<double> start, std::optional<double> end);

  // Runs the graph until every sink has completed, then stops it. Throws
  // CCommandError when playback aborts or has not ended within timeoutMs.
  void Play(LONG timeoutMs = static_cast<LONG>(INFINITE));
  // What the splitter could not play in the last Play, as the graph heard
  // it: one cause a kind of loss (EC_STREAM_ERROR_STILLPLAYING).
  const std::vector<HRESULT>& LossCauses() const { return m_lossCauses; }
  // The gaps in what the sinks received; sinks of the caller's making
  // report their samples to it themselves.
  const std::shared_ptr<CLossTally>& Tally() const { return m_tally; }

  // True when the file is no longer what Render found (another file under
  // its name, another size or modification time): it changed while it played.
  bool FileChanged() const;

  // Pauses the graph; true once every sink has completed its Pause within
  // timeoutMs (renderers then hold their first sample).
  bool Cue(DWORD timeoutMs);

 private:
  HRESULT CreateSink(IPin* pin, IBaseFilter** sink);
  void FindSplitter();
  void StopGraph();
  void CollectLosses(IMediaEvent* events);

  SinkMaker m_makeSink;
  std::shared_ptr<CLossTally> m_tally;  // owned with the sinks that report to it
  std::vector<HRESULT> m_lossCauses;
  platform::ComRef<IGraphBuilder> m_graph;
  platform::ComRef<IBaseFilter> m_splitter;
  std::vector<platform::ComRef<IBaseFilter>> m_sinks;  // counted: every sink the graph asked for
  std::string m_path;
  std::optional<struct stat> m_opened;  // the file as Render found it
};

}  // namespace tessaly::cli
