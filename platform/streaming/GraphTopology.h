// What the graph reads from its filters' pins: which pins a filter has, which
// are connected, who lies downstream, and the order state changes go in.
#pragma once

#include <vector>

#include <win/platform.h>

#include <platform/ComRef.h>

namespace platform {

// The filter's pins in one direction, counted; connected or not as asked
// (both when `connected` is null).
HRESULT FilterPins(IBaseFilter* filter, PIN_DIRECTION direction, const bool* connected,
                   std::vector<ComRef<IPin>>* pins);

// A sink ends a stream: some input pin connected, no output pin connected.
bool IsSink(IBaseFilter* filter);

// The filters in downstream-first order: every filter comes before all the
// filters upstream of it, so that renderers change state before their sources.
// Filters that are not connected keep their relative order. Identities only.
HRESULT OrderDownstreamFirst(const std::vector<IBaseFilter*>& filters,
                             std::vector<IBaseFilter*>* ordered);

// The media types a pin offers, in its order; each freed by FreeMediaTypes.
HRESULT PinMediaTypes(IPin* pin, std::vector<AM_MEDIA_TYPE*>* types);
void FreeMediaTypes(std::vector<AM_MEDIA_TYPE*>* types);

}  // namespace platform
