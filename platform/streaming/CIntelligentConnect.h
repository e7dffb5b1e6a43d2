// Connecting and rendering the platform's way for one graph-building call:
// filters found through the filter mapper in merit order, created through COM,
// and, where no registered filter takes a stream, a sink from the host.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <platform/GraphBuilding.h>
#include <win/platform.h>

#include <platform/ComRef.h>

namespace platform {

class CIntelligentConnect {
 public:
  // All borrowed, for the length of the call that made this object.
  CIntelligentConnect(IFilterGraph* graph, IRenderSinkFactory* sinks,
                      const std::atomic<bool>* aborted)
      : m_graph(graph), m_sinks(sinks), m_aborted(aborted) {}

  // Renders an output pin and, through the filters it brings in, everything
  // downstream of it. S_OK when every stream ends in a sink, VFW_S_PARTIAL_RENDER
  // when the pin is connected but some outputs further down stay open;
  // VFW_E_CANNOT_RENDER when nothing takes the pin at all, else the first
  // candidate's failure. A failure leaves no filter of this call in the graph.
  HRESULT Render(IPin* output);

  // Connects output to input, directly or through one registered filter.
  HRESULT Connect(IPin* output, IPin* input);

 private:
  // Deep enough for any real chain; a registered filter whose output type
  // equals its input must not recurse without end.
  static constexpr int kDeepestChain = 8;

  struct Candidate {
    CLSID clsid;
    std::u16string name;  // as registered with the mapper
  };

  HRESULT RenderAt(IPin* output, int depth);
  // Registered filters whose input takes one of the types, best merit first.
  HRESULT Candidates(const std::vector<AM_MEDIA_TYPE*>& types, std::vector<Candidate>* found);
  // The candidate created, added to the graph and connected to output.
  HRESULT AddConnected(const Candidate& candidate, IPin* output, ComRef<IBaseFilter>* filter);
  HRESULT TryFilter(const Candidate& candidate, IPin* output, int depth);
  HRESULT TrySink(IPin* output, const AM_MEDIA_TYPE* type);
  HRESULT ConnectToFreeInput(IPin* output, IBaseFilter* filter);
  HRESULT CheckAborted() const;

  IFilterGraph* m_graph;               // borrowed
  IRenderSinkFactory* m_sinks;         // borrowed, may be null
  const std::atomic<bool>* m_aborted;  // borrowed
  ComRef<IFilterMapper> m_mapper;
};

}  // namespace platform
