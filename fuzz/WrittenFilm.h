// Turns fuzz input bytes into a FILM file made by the writer, so that what
// the splitter delivers can be compared with what the writer predicts,
// byte for byte and time for time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filmwriter/FilmWriter.h"

namespace fuzzcheck {

// The recipe: two bytes of format and layout, two of how much a cut leaves
// out, then three bytes a row (its kind, then its size and content seed).
filmwriter::FilmWriter WriteFilmFromRecipe(const uint8_t* recipe, size_t size);

// A recipe for the seeds: format and layout bytes, cut, rows as {kind, size}.
std::vector<uint8_t> MakeRecipe(uint8_t format, uint8_t layout, uint16_t cut,
                                const std::vector<std::pair<uint8_t, uint16_t>>& rows);

}  // namespace fuzzcheck
