#include "WrittenFilm.h"

#include <algorithm>

namespace fuzzcheck {
namespace {

constexpr size_t kRecipeHead = 4;
constexpr size_t kRecipeRow = 3;
constexpr size_t kMostRows = 256;
// Past the payload limits by one byte: the rows the splitter must refuse.
constexpr uint32_t kOversizedAudio = film::kStagingBufferLength + 1;
constexpr uint32_t kOversizedFrame = film::kVideoSampleLength + 1;

std::vector<uint8_t> Content(size_t length, uint32_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(seed + i * 131 + (i >> 8));
  }
  return bytes;
}

filmwriter::FilmFormat FormatFrom(uint8_t format, uint8_t layout) {
  static const uint8_t kBits[] = {8, 16, 12, 24};
  static const uint16_t kRates[] = {22050, 11025, 44100, 1};
  static const uint32_t kTimeBases[] = {600, 30, 1, 90000};
  filmwriter::FilmFormat film;
  film.channels = static_cast<uint8_t>(format % 3);
  film.bitsPerSample = kBits[(format >> 2) % 4];
  film.sampleRate = kRates[(format >> 4) % 4];
  film.timeBase = kTimeBases[layout % 4];
  return film;
}

void AddRow(filmwriter::FilmWriter& writer, uint8_t kind, uint16_t size, uint32_t row) {
  const bool oversized = (kind & 0xF8) == 0xF8;
  const uint32_t duration = 1 + (kind >> 3);
  switch (kind % 8) {
    case 0:
    case 1:
    case 2:
      writer.AddAudio(Content(oversized ? kOversizedAudio : size % 6000, size + row));
      return;
    case 3:
    case 4:
    case 5:
      writer.AddVideo(Content(oversized ? kOversizedFrame : 10 + size % 4000, size + row), duration,
                      kind % 8 != 5);
      return;
    case 6:
      // A video row too short to hold a frame's head.
      writer.AddStoredRow(0, duration, Content(size % 12, row));
      return;
    default: {
      // A row whose chunk lies past the end of the file.
      const uint32_t at = writer.AddVideo(Content(10 + size % 64, row), duration);
      writer.SetChunkOffset(at, 0x7FFFFF00u + size);
      return;
    }
  }
}

}  // namespace

filmwriter::FilmWriter WriteFilmFromRecipe(const uint8_t* recipe, size_t size) {
  uint8_t head[kRecipeHead] = {};
  std::copy_n(recipe, std::min(size, kRecipeHead), head);
  filmwriter::FilmWriter writer(FormatFrom(head[0], head[1]));
  const size_t rows =
      std::min(kMostRows, size > kRecipeHead ? (size - kRecipeHead) / kRecipeRow : 0);
  for (size_t i = 0; i < rows; ++i) {
    const uint8_t* row = recipe + kRecipeHead + i * kRecipeRow;
    AddRow(writer, row[0], static_cast<uint16_t>((row[1] << 8) | row[2]), static_cast<uint32_t>(i));
  }
  filmwriter::FilmLayout& layout = writer.Layout();
  if ((head[1] & 0x20) != 0) layout.regionPadding = 16;
  if ((head[1] & 0x40) != 0 && rows > 0) layout.entryCount = static_cast<uint32_t>(rows - 1);
  const uint16_t cut = static_cast<uint16_t>((head[2] << 8) | head[3]);
  if ((head[1] & 0x10) != 0) {
    const size_t whole = writer.Build().size();
    layout.truncateTo = whole - std::min<size_t>(whole, cut);
  }
  return writer;
}

std::vector<uint8_t> MakeRecipe(uint8_t format, uint8_t layout, uint16_t cut,
                                const std::vector<std::pair<uint8_t, uint16_t>>& rows) {
  std::vector<uint8_t> recipe = {format, layout, static_cast<uint8_t>(cut >> 8),
                                 static_cast<uint8_t>(cut)};
  for (const auto& [kind, size] : rows) {
    recipe.insert(recipe.end(),
                  {kind, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)});
  }
  return recipe;
}

}  // namespace fuzzcheck
