// The check of what one output delivered in one run against the writer's
// prediction, shared by every suite that streams a written movie.
#pragma once

#include <string>
#include <vector>

#include "filmwriter/FilmWriter.h"
#include "support/RecordingSinkFilter.h"

enum class Delivered {
  // Every predicted sample of the stream, in order, each taken, with its
  // times, flags and media times as predicted: a run left alone to its end.
  Exactly,
  // Every row, in order, though a sink may have refused some: a sample
  // refused with a failure does not advance the running time, so later ones
  // start earlier by its duration.
  ToTheEnd,
  // As ToTheEnd, but rows may be missing once nothing more is taken, as
  // when downstream stops before the end.
  UntilStopped,
};

// records are every Receive of one pin that carried a sample (Records()).
// Returns an empty string when all holds, or the first thing wrong.
std::string CheckDelivery(const filmwriter::FilmExpectation& expect, filmwriter::Stream stream,
                          const std::vector<ReceivedSample>& records, Delivered rule);
