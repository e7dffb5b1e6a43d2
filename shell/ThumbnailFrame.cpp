#include "shell/ThumbnailFrame.h"

#include <cstring>
#include <new>

#include "cinepak/CCodebooks.h"
#include "cinepak/CFrameDecoder.h"
#include "film/FilmLayout.h"
#include "film/FilmRules.h"

namespace tessaly::shell {

namespace {

bool UsableKeyFrame(const CMovieSummary& summary, const FilmSampleEntry& row) {
  if (row.timeInfo == film::kAudioTimeInfo || (row.timeInfo & film::kNotSyncPointFlag) != 0) {
    return false;
  }
  const int64_t fileLength = static_cast<int64_t>(summary.FileLength());
  return film::VideoChunkDeliverable(row.chunkLength) &&
         film::ChunkWhollyInFile(film::ChunkPosition(summary.DataOffset(), row.chunkOffset),
                                 row.chunkLength, fileLength);
}

}  // namespace

uint32_t ChooseThumbnailRow(const CMovieSummary& summary) {
  const CFilmSampleTable table = summary.Table();
  const uint32_t rows = table.StreamedRows();
  const int64_t duration = summary.Duration();
  const int64_t tenth = duration < kShortMovie ? 0 : duration / 10;
  uint32_t first = rows;
  int64_t start = 0;
  for (uint32_t index = 0; index < rows; ++index) {
    const FilmSampleEntry row = table.Row(index);
    if (row.timeInfo == film::kAudioTimeInfo) {
      continue;
    }
    if (UsableKeyFrame(summary, row)) {
      if (start >= tenth) {
        return index;
      }
      first = first == rows ? index : first;
    }
    // A video row's start is the sum of the earlier ones' durations, as the
    // splitter's index times them.
    start = film::AdvanceTime(start, summary.RowDuration(row));
  }
  return first;
}

namespace {

// The delivered frame: the chunk without the two bytes after its head.
PictureStatus ReadFrame(CMovieByteSource& source, const CMovieSummary& summary,
                        const FilmSampleEntry& row, std::unique_ptr<uint8_t[]>* frame,
                        uint32_t* length) {
  frame->reset(new (std::nothrow) uint8_t[row.chunkLength]);
  if (*frame == nullptr) {
    return PictureStatus::kNoMemory;
  }
  uint32_t read = 0;
  const uint64_t position = film::ChunkPosition(summary.DataOffset(), row.chunkOffset);
  if (!source.ReadAt(position, frame->get(), row.chunkLength, &read)) {
    return PictureStatus::kReadFailed;
  }
  if (read != row.chunkLength) {
    return PictureStatus::kUndecodable;
  }
  uint8_t* bytes = frame->get();
  std::memmove(bytes + film::kVideoHeadLength, bytes + film::kVideoBodyOffset,
               row.chunkLength - film::kVideoBodyOffset);
  *length = row.chunkLength - (film::kVideoBodyOffset - film::kVideoHeadLength);
  return PictureStatus::kOk;
}

}  // namespace

PictureStatus DecodeThumbnailFrame(CMovieByteSource& source, const CMovieSummary& summary,
                                   uint32_t rowIndex, Picture* picture) {
  const CFilmSampleTable table = summary.Table();
  const uint32_t width = summary.Width();
  const uint32_t height = summary.Height();
  if (rowIndex >= table.StreamedRows() || width == 0 || height == 0 || width > kLargestSide ||
      height > kLargestSide) {
    return PictureStatus::kNoPicture;
  }
  const FilmSampleEntry row = table.Row(rowIndex);
  if (!UsableKeyFrame(summary, row)) {
    return PictureStatus::kNoPicture;
  }
  std::unique_ptr<uint8_t[]> frame;
  uint32_t length = 0;
  const PictureStatus read = ReadFrame(source, summary, row, &frame, &length);
  if (read != PictureStatus::kOk) {
    return read;
  }
  const size_t stride = size_t{width} * 4;
  picture->pixels.reset(new (std::nothrow) uint8_t[stride * height]());
  cinepak::CCodebooks codebooks;
  if (picture->pixels == nullptr || !codebooks.Valid()) {
    return PictureStatus::kNoMemory;
  }
  cinepak::PictureView view;
  view.pixels = picture->pixels.get();
  view.width = width;
  view.height = height;
  view.stride = stride;
  view.layout = cinepak::PixelLayout::Bgrx32;
  if (cinepak::DecodeFrame(frame.get(), length, codebooks, view) != cinepak::DecodeStatus::kOk) {
    return PictureStatus::kUndecodable;
  }
  // The decoder leaves the fourth byte zero; the picture is opaque.
  for (size_t at = 3; at < stride * height; at += 4) {
    picture->pixels[at] = 0xFF;
  }
  picture->width = width;
  picture->height = height;
  return PictureStatus::kOk;
}

}  // namespace tessaly::shell
