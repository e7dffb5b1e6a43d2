#include "GraphTopology.h"

#include <algorithm>
#include <new>

#include "MediaTypeCopy.h"

namespace platform {

namespace {

// More pins or types than any filter offers; an enumerator that never ends must not hang the graph.
constexpr size_t kMostItems = 4096;

bool IsConnected(IPin* pin) {
  ComRef<IPin> peer;
  return pin->ConnectedTo(peer.Out()) == S_OK && peer;
}

// The filters downstream of one filter (identities, in pin order).
std::vector<IBaseFilter*> DownstreamOf(IBaseFilter* filter) {
  std::vector<IBaseFilter*> downstream;
  std::vector<ComRef<IPin>> outputs;
  const bool connected = true;
  if (FAILED(FilterPins(filter, PINDIR_OUTPUT, &connected, &outputs))) return downstream;
  for (ComRef<IPin>& pin : outputs) {
    ComRef<IPin> peer;
    if (pin->ConnectedTo(peer.Out()) != S_OK || !peer) continue;
    PIN_INFO info{};
    if (FAILED(peer->QueryPinInfo(&info))) continue;
    ComRef<IBaseFilter> owner = ComRef<IBaseFilter>::Adopt(info.pFilter);
    if (owner) downstream.push_back(owner.Get());
  }
  return downstream;
}

}  // namespace

HRESULT FilterPins(IBaseFilter* filter, PIN_DIRECTION direction, const bool* connected,
                   std::vector<ComRef<IPin>>* pins) {
  pins->clear();
  ComRef<IEnumPins> pinEnum;
  HRESULT hr = filter->EnumPins(pinEnum.Out());
  if (FAILED(hr)) return hr;
  if (!pinEnum) return E_POINTER;
  try {
    ComRef<IPin> pin;
    while (pins->size() < kMostItems && pinEnum->Next(1, pin.Out(), nullptr) == S_OK && pin) {
      PIN_DIRECTION actual = PINDIR_INPUT;
      if (FAILED(pin->QueryDirection(&actual)) || actual != direction) continue;
      if (connected && IsConnected(pin.Get()) != *connected) continue;
      pins->push_back(std::move(pin));
    }
  } catch (const std::bad_alloc&) {
    pins->clear();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

bool IsSink(IBaseFilter* filter) {
  const bool connected = true;
  std::vector<ComRef<IPin>> pins;
  if (FAILED(FilterPins(filter, PINDIR_INPUT, &connected, &pins)) || pins.empty()) return false;
  if (FAILED(FilterPins(filter, PINDIR_OUTPUT, &connected, &pins))) return false;
  return pins.empty();
}

HRESULT OrderDownstreamFirst(const std::vector<IBaseFilter*>& filters,
                             std::vector<IBaseFilter*>* ordered) {
  enum class Mark { None, Visiting, Done };
  try {
    ordered->clear();
    std::vector<Mark> marks(filters.size(), Mark::None);
    std::vector<std::vector<size_t>> downstream(filters.size());
    for (size_t i = 0; i < filters.size(); ++i) {
      for (IBaseFilter* next : DownstreamOf(filters[i])) {
        auto it = std::find(filters.begin(), filters.end(), next);
        if (it != filters.end()) downstream[i].push_back(static_cast<size_t>(it - filters.begin()));
      }
    }
    // Depth first along the connections, each filter placed after everything
    // downstream of it; an explicit stack, since a chain may be long.
    struct Frame {
      size_t filter;
      size_t next;
    };
    std::vector<Frame> stack;
    for (size_t root = 0; root < filters.size(); ++root) {
      if (marks[root] != Mark::None) continue;
      marks[root] = Mark::Visiting;
      stack.push_back(Frame{root, 0});
      while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < downstream[top.filter].size()) {
          size_t child = downstream[top.filter][top.next++];
          // A connection loop (a broken graph) is cut where it closes.
          if (marks[child] != Mark::None) continue;
          marks[child] = Mark::Visiting;
          stack.push_back(Frame{child, 0});
          continue;
        }
        marks[top.filter] = Mark::Done;
        ordered->push_back(filters[top.filter]);
        stack.pop_back();
      }
    }
  } catch (const std::bad_alloc&) {
    ordered->clear();
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT PinMediaTypes(IPin* pin, std::vector<AM_MEDIA_TYPE*>* types) {
  types->clear();
  ComRef<IEnumMediaTypes> typeEnum;
  HRESULT hr = pin->EnumMediaTypes(typeEnum.Out());
  if (FAILED(hr) || !typeEnum) return S_OK;  // a pin that names no types still connects
  AM_MEDIA_TYPE* type = nullptr;
  while (types->size() < kMostItems && typeEnum->Next(1, &type, nullptr) == S_OK && type) {
    try {
      types->push_back(type);
    } catch (const std::bad_alloc&) {
      FreeMediaTypes(types);
      FreeMediaType(type);
      return E_OUTOFMEMORY;
    }
    type = nullptr;
  }
  return S_OK;
}

void FreeMediaTypes(std::vector<AM_MEDIA_TYPE*>* types) {
  for (AM_MEDIA_TYPE* type : *types) FreeMediaType(type);
  types->clear();
}

}  // namespace platform
