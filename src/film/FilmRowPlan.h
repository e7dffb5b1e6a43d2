// The one decision made for a row before anything of it is read: which
// stream it belongs to, what of its chunk the file holds, what of that is
// delivered, and why not when nothing is. The module's streaming follows the
// plan forward (read, shape, send) and the table's stream ends are judged by
// it; plain standard C++, part of the FILM library.
#pragma once

#include <cstdint>

#include "film/FilmRules.h"
#include "film/FilmSampleEntry.h"

namespace film {

// What a row's sample comes to, in the order the checks are made.
enum class RowFate {
  kDeliver,  // read it and send it
  kTooLong,  // an audio chunk longer than the staging buffer
  kNoFrame,  // the stored chunk holds no whole frame (or no video frame head)
  kMissing,  // the file ends before the bytes a frame needs
};

// The stream's format as far as planning a row needs it.
struct RowFormat {
  uint32_t dataOffset;
  uint32_t channels;
  uint32_t bitsPerSample;
};

struct RowPlan {
  FilmSampleEntry row;
  bool audio;
  uint32_t position;      // the chunk's file position, wrapped in 32 bits
  uint32_t chunkLength;   // stored bytes
  uint32_t presentBytes;  // of them, those that lie before the file's end
  bool wholeInFile;       // every stored byte lies before the file's end
  // Audio: the frames kept of the present bytes; all zero for video.
  AudioChunkCut cut;
  // Audio: the payload of the whole chunk, against which a cut is a loss.
  uint32_t wholeDeliveredLength;
  // Bytes the sample carries: the cut's for audio, the frame's for video.
  uint32_t payloadLength;
  RowFate fate;
  // Something of the file plays for this row, whether or not a sample can
  // carry it: a stream ends after its last such row.
  bool holdsData;
};

inline RowPlan PlanAudioRow(RowPlan plan, const RowFormat& format) {
  const uint32_t length = plan.chunkLength;
  plan.cut = CutAudioChunk(length, plan.presentBytes, format.channels, format.bitsPerSample);
  plan.wholeDeliveredLength =
      CutAudioChunk(length, length, format.channels, format.bitsPerSample).deliveredLength;
  plan.payloadLength = plan.cut.deliveredLength;
  plan.holdsData = plan.wholeInFile || plan.cut.deliveredLength > 0;
  if (length > kStagingBufferLength) {
    plan.fate = RowFate::kTooLong;
  } else if (plan.cut.deliveredLength == 0 && length > 0) {
    plan.fate = plan.presentBytes < length ? RowFate::kMissing : RowFate::kNoFrame;
  }
  return plan;
}

inline RowPlan PlanVideoRow(RowPlan plan) {
  const uint32_t length = plan.chunkLength;
  plan.holdsData = plan.wholeInFile;
  if (length < kVideoBodyOffset) {
    plan.fate = RowFate::kNoFrame;
    return plan;
  }
  // The stored chunk keeps two bytes the delivered frame drops.
  plan.payloadLength = length - (kVideoBodyOffset - kVideoHeadLength);
  // Part of a frame is no frame: it is not even read.
  if (!plan.wholeInFile) {
    plan.fate = RowFate::kMissing;
  }
  return plan;
}

// The plan of row in a file of fileLength bytes.
inline RowPlan PlanRow(const FilmSampleEntry& row, const RowFormat& format, int64_t fileLength) {
  RowPlan plan = {};
  plan.row = row;
  plan.audio = IsAudioRow(row.timeInfo);
  plan.position = ChunkPosition(format.dataOffset, row.chunkOffset);
  plan.chunkLength = row.chunkLength;
  plan.presentBytes = ChunkBytesInFile(plan.position, row.chunkLength, fileLength);
  plan.wholeInFile = ChunkWhollyInFile(plan.position, row.chunkLength, fileLength);
  plan.fate = RowFate::kDeliver;
  return plan.audio ? PlanAudioRow(plan, format) : PlanVideoRow(plan);
}

}  // namespace film
