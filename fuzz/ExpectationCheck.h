// Compares what one output delivered with what the writer predicts from the
// file it built: the same bytes, times, key frames and discontinuities.
#pragma once

#include <string>
#include <vector>

#include "filmwriter/FilmWriter.h"
#include "support/RecordingSinkFilter.h"

namespace fuzzcheck {

struct ExpectationRules {
  // Nothing disturbed the run: every predicted sample arrives, exactly.
  bool exact = false;
  // Reads answered short or the file changed under the run: an audio
  // sample may carry only the first whole frames of its chunk.
  bool shortened = false;
  // A Stop and a second run from the start: the samples start over once.
  bool replay = false;
  // A pair of channels going out unconverted stays planar, so a shortened
  // chunk is no prefix of the whole one.
  bool planarAudio = false;
};

// Empty when every delivered sample is the writer's; otherwise what differs.
std::string CompareWithWriter(const filmwriter::FilmExpectation& expect, filmwriter::Stream stream,
                              const std::vector<ReceivedSample>& delivered,
                              const ExpectationRules& rules);

}  // namespace fuzzcheck
