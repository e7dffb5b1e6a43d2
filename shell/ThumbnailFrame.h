// Which frame stands for a movie in Explorer, and its pixels.
#pragma once

#include <cstdint>
#include <memory>

#include "shell/CMovieByteSource.h"
#include "shell/CMovieSummary.h"

namespace tessaly::shell {

// A movie shorter than this shows its first frame: a tenth of it would be
// a blink into a fade-in or a title.
constexpr int64_t kShortMovie = 10000000;
// Larger pictures are refused: one decode and one scale must stay well
// under a second inside Explorer, whatever the header claims.
constexpr uint32_t kLargestSide = 4096;

// The streamed row that stands for the movie: the first key frame whose
// chunk lies wholly in the file at or after a tenth of its length (the first
// such frame for a short movie, or when none lies that late); the row count
// of the table when there is none.
uint32_t ChooseThumbnailRow(const CMovieSummary& summary);

enum class PictureStatus { kOk, kNoPicture, kNoMemory, kReadFailed, kUndecodable };

// A top-down picture of 4-byte pixels (blue, green, red, opaque alpha).
struct Picture {
  std::unique_ptr<uint8_t[]> pixels;  // owned: width × height × 4 bytes
  uint32_t width = 0;
  uint32_t height = 0;
};

// Decodes row (a key frame: it decodes alone) of the movie.
PictureStatus DecodeThumbnailFrame(CMovieByteSource& source, const CMovieSummary& summary,
                                   uint32_t row, Picture* picture);

}  // namespace tessaly::shell
