// A filter's entry in the platform's filter mapper, made from its setup data:
// the work behind the filter's IAMovieSetup Register and Unregister.
#pragma once

#include "Platform.h"

// Takes any earlier entry of the filter out, then (when registering) enters
// the filter, each pin and each pin media type in setup order. S_FALSE and no
// mapper call without setup data; a filter the mapper does not know counts
// as unregistered.
HRESULT RegisterWithMapper(const AMOVIESETUP_FILTER* setup, IFilterMapper* mapper,
                           BOOL registering);

// IAMovieSetup::Register and ::Unregister of a filter with this setup data:
// S_FALSE without touching COM when there is none; otherwise the result of
// creating the platform's mapper and of the mapper calls. Unregistering
// counts a mapper that cannot be found (ERROR_FILE_NOT_FOUND) as success.
HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER* setup);
HRESULT UnregisterFilterSetup(const AMOVIESETUP_FILTER* setup);
