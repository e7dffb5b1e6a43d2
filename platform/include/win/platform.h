// Everything the module sees of the platform on Linux, in one include.
#pragma once

#include "types.h"
#include "results.h"
#include "guid.h"
#include "identifiers.h"
#include "unknown.h"
#include "kernel.h"
#include "registry.h"
#include "com.h"
#include "media.h"
#include "samples.h"
#include "filters.h"
#include "sources.h"
#include "automation.h"
#include "graph.h"
