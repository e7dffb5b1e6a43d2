#include "CIntelligentConnect.h"

#include <algorithm>
#include <new>

#include "GraphTopology.h"

namespace platform {

namespace {

// The platform's intelligent connect passes over filters registered "do not use".
constexpr DWORD kLowestMerit = MERIT_DO_NOT_USE + 1;

// Frees the media types of a pin whichever way a call leaves.
class CTypeList {
 public:
  CTypeList() = default;
  CTypeList(const CTypeList&) = delete;
  CTypeList& operator=(const CTypeList&) = delete;
  ~CTypeList() { FreeMediaTypes(&types); }
  std::vector<AM_MEDIA_TYPE*> types;  // owned
};

std::u16string PinName(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return std::u16string();
  if (info.pFilter) info.pFilter->Release();
  info.achName[MAX_PIN_NAME - 1] = 0;
  return std::u16string(info.achName);
}

}  // namespace

HRESULT CIntelligentConnect::CheckAborted() const {
  return m_aborted && m_aborted->load(std::memory_order_relaxed) ? E_ABORT : S_OK;
}

HRESULT CIntelligentConnect::Render(IPin* output) {
  if (!output) return E_POINTER;
  return RenderAt(output, 0);
}

HRESULT CIntelligentConnect::Candidates(const std::vector<AM_MEDIA_TYPE*>& types,
                                        std::vector<Candidate>* found) {
  found->clear();
  if (!m_mapper) {
    // Without a mapper nothing is registered to be found.
    if (FAILED(CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFilterMapper, m_mapper.OutVoid()))) {
      return S_OK;
    }
  }
  for (const AM_MEDIA_TYPE* type : types) {
    ComRef<IEnumRegFilters> matches;
    HRESULT hr = m_mapper->EnumMatchingFilters(matches.Out(), kLowestMerit, TRUE, type->majortype,
                                               type->subtype, FALSE, FALSE, GUID_NULL, GUID_NULL);
    if (hr == E_OUTOFMEMORY) return hr;
    if (FAILED(hr) || !matches) continue;
    REGFILTER* match = nullptr;
    while (matches->Next(1, &match, nullptr) == S_OK && match) {
      try {
        bool seen = std::any_of(found->begin(), found->end(),
                                [match](const Candidate& c) { return c.clsid == match->Clsid; });
        if (!seen) found->push_back(Candidate{match->Clsid, match->Name ? match->Name : u""});
      } catch (const std::bad_alloc&) {
        CoTaskMemFree(match);
        return E_OUTOFMEMORY;
      }
      CoTaskMemFree(match);
      match = nullptr;
    }
  }
  return S_OK;
}

HRESULT CIntelligentConnect::ConnectToFreeInput(IPin* output, IBaseFilter* filter) {
  const bool unconnected = false;
  std::vector<ComRef<IPin>> inputs;
  HRESULT hr = FilterPins(filter, PINDIR_INPUT, &unconnected, &inputs);
  if (FAILED(hr)) return hr;
  HRESULT first = VFW_E_CANNOT_CONNECT;
  for (size_t i = 0; i < inputs.size(); ++i) {
    hr = m_graph->ConnectDirect(output, inputs[i].Get(), nullptr);
    if (SUCCEEDED(hr)) return S_OK;
    if (i == 0) first = hr;
  }
  return first;
}

HRESULT CIntelligentConnect::AddConnected(const Candidate& candidate, IPin* output,
                                          ComRef<IBaseFilter>* filter) {
  HRESULT hr = CoCreateInstance(candidate.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                filter->OutVoid());
  if (FAILED(hr)) return hr;
  if (!*filter) return E_POINTER;
  hr = m_graph->AddFilter(filter->Get(), candidate.name.empty() ? nullptr : candidate.name.c_str());
  if (FAILED(hr)) return hr;
  hr = ConnectToFreeInput(output, filter->Get());
  if (FAILED(hr)) m_graph->RemoveFilter(filter->Get());
  return hr;
}

HRESULT CIntelligentConnect::TryFilter(const Candidate& candidate, IPin* output, int depth) {
  ComRef<IBaseFilter> filter;
  HRESULT hr = AddConnected(candidate, output, &filter);
  if (FAILED(hr)) return hr;
  // Outputs appear once the input is connected (a splitter's streams do).
  const bool unconnected = false;
  std::vector<ComRef<IPin>> outputs;
  hr = FilterPins(filter.Get(), PINDIR_OUTPUT, &unconnected, &outputs);
  if (FAILED(hr)) {
    m_graph->RemoveFilter(filter.Get());
    return hr;
  }
  bool partial = false;
  for (ComRef<IPin>& next : outputs) {
    hr = RenderAt(next.Get(), depth + 1);
    if (hr == E_ABORT || hr == E_OUTOFMEMORY) {
      m_graph->RemoveFilter(filter.Get());
      return hr;
    }
    if (hr != S_OK) partial = true;
  }
  return partial ? VFW_S_PARTIAL_RENDER : S_OK;
}

HRESULT CIntelligentConnect::TrySink(IPin* output, const AM_MEDIA_TYPE* type) {
  ComRef<IBaseFilter> sink;
  HRESULT hr = m_sinks->CreateSink(output, type, sink.Out());
  if (FAILED(hr)) return hr;
  if (hr != S_OK || !sink) return VFW_E_CANNOT_RENDER;
  std::u16string name;
  try {
    name = PinName(output) + u" Sink";
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  hr = m_graph->AddFilter(sink.Get(), name.c_str());
  if (FAILED(hr)) return hr;
  hr = ConnectToFreeInput(output, sink.Get());
  if (FAILED(hr)) {
    m_graph->RemoveFilter(sink.Get());
    return hr;
  }
  return S_OK;
}

HRESULT CIntelligentConnect::RenderAt(IPin* output, int depth) {
  HRESULT hr = CheckAborted();
  if (FAILED(hr)) return hr;
  if (depth > kDeepestChain) return VFW_E_CANNOT_RENDER;
  ComRef<IPin> peer;
  if (output->ConnectedTo(peer.Out()) == S_OK && peer) return VFW_E_ALREADY_CONNECTED;
  CTypeList offered;
  hr = PinMediaTypes(output, &offered.types);
  if (FAILED(hr)) return hr;
  std::vector<Candidate> candidates;
  try {
    hr = Candidates(offered.types, &candidates);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return hr;

  HRESULT firstFailure = S_OK;
  for (const Candidate& candidate : candidates) {
    hr = CheckAborted();
    if (FAILED(hr)) return hr;
    hr = TryFilter(candidate, output, depth);
    if (SUCCEEDED(hr) || hr == E_ABORT) return hr;
    if (SUCCEEDED(firstFailure)) firstFailure = hr;
  }
  if (m_sinks) {
    hr = TrySink(output, offered.types.empty() ? nullptr : offered.types.front());
    if (SUCCEEDED(hr)) return hr;
    if (SUCCEEDED(firstFailure) && hr != VFW_E_CANNOT_RENDER) firstFailure = hr;
  }
  return FAILED(firstFailure) ? firstFailure : VFW_E_CANNOT_RENDER;
}

HRESULT CIntelligentConnect::Connect(IPin* output, IPin* input) {
  if (!output || !input) return E_POINTER;
  HRESULT direct = m_graph->ConnectDirect(output, input, nullptr);
  if (SUCCEEDED(direct)) return S_OK;
  // Pins outside the graph or the wrong way round cannot be helped by a filter between.
  if (direct == VFW_E_NOT_IN_GRAPH || direct == VFW_E_INVALID_DIRECTION ||
      direct == VFW_E_ALREADY_CONNECTED || direct == E_POINTER) {
    return direct;
  }
  CTypeList offered;
  HRESULT hr = PinMediaTypes(output, &offered.types);
  if (FAILED(hr)) return hr;
  std::vector<Candidate> candidates;
  try {
    hr = Candidates(offered.types, &candidates);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return hr;
  for (const Candidate& candidate : candidates) {
    hr = CheckAborted();
    if (FAILED(hr)) return hr;
    ComRef<IBaseFilter> filter;
    if (FAILED(AddConnected(candidate, output, &filter))) continue;
    const bool unconnected = false;
    std::vector<ComRef<IPin>> outputs;
    FilterPins(filter.Get(), PINDIR_OUTPUT, &unconnected, &outputs);
    for (ComRef<IPin>& middle : outputs) {
      if (SUCCEEDED(m_graph->ConnectDirect(middle.Get(), input, nullptr))) return S_OK;
    }
    m_graph->RemoveFilter(filter.Get());
  }
  return candidates.empty() ? direct : VFW_E_CANNOT_CONNECT;
}

}  // namespace platform
