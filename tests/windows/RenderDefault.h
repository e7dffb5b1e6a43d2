// RenderFile with the runtime's default renderers, as a player that opens a
// movie and presses play: what the graph built, media type by media type,
// and whether the movie plays to its end. Under Wine the video renderer's
// choice of picture format can crash the runtime's own Cinepak decoder, so
// the outcome is reported, not checked; the decoder alone can be asked the
// same question, with no splitter in the way.
#pragma once

#include <string>

#include "CTestReport.h"

// Writes the movie into the working folder, renders and runs it. Returns the
// process exit code: 0 played to its end, 3 no end within the bound, 1 the
// graph was not built.
int RenderWithDefaultRenderers(CTestReport* report);
// The runtime's Cinepak decompressor, through the codec manager, given the
// movie's first frame and the media type the FILM splitter offers: whether it
// accepts 'UYVY' output, and how far past a 'UYVY' picture it writes.
// Returns 0 no overrun (or refused), 4 an overrun, 1 no decompressor.
int ProbeCinepakDecoder(CTestReport* report);
