// What of a FILM file plays, and when: the rows a sample table admits, what
// of a chunk a file that ends early still holds and delivers, and how long a
// row and the movie last. The module streams by these rules, and the host and
// the FILM writer foretell by the same ones; plain standard C++, part of the
// FILM library, since the writer also goes into the Windows test program,
// which is built without the platform's stand-in.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

namespace film {

constexpr uint32_t kRowLength = 16;
// timeInfo of an audio row; any other value is a video row.
constexpr uint32_t kAudioTimeInfo = 0xFFFFFFFFu;
constexpr uint32_t kVideoStartMask = 0x7FFFFFFFu;

// The one test of which stream a row belongs to.
inline bool IsAudioRow(uint32_t timeInfo) { return timeInfo == kAudioTimeInfo; }

// Audio chunks are read into a staging buffer of this size before
// conversion; a longer one cannot be delivered.
constexpr uint32_t kStagingBufferLength = 65536;
// A video sample's buffer; a longer frame cannot be delivered.
constexpr uint32_t kVideoSampleLength = 262144;
// A stored video chunk keeps two bytes the delivered frame drops, after a
// 10-byte head: a shorter chunk holds no frame.
constexpr uint32_t kVideoHeadLength = 10;
constexpr uint32_t kVideoBodyOffset = 12;

// Reference times count 100-ns units.
constexpr int64_t kUnitsPerSecond = 10000000;

// Rows the table length admits: row i exists while (i + 1) × 16 is below it.
inline uint32_t RowsAdmitted(uint32_t tableLength) {
  return tableLength > 0 ? (tableLength - 1) / kRowLength : 0;
}

// Where a chunk is read: the file's offsets are 32-bit fields, and their sum
// is taken in 32 bits on every pointer width.
inline uint32_t ChunkPosition(uint32_t dataOffset, uint32_t chunkOffset) {
  return dataOffset + chunkOffset;
}

// Bytes of the chunk of length bytes at position that lie before fileLength.
inline uint32_t ChunkBytesInFile(int64_t position, uint32_t length, int64_t fileLength) {
  if (position < 0 || position >= fileLength) {
    return 0;
  }
  const int64_t left = fileLength - position;
  return left < static_cast<int64_t>(length) ? static_cast<uint32_t>(left) : length;
}

// True when every byte of the chunk lies before fileLength.
inline bool ChunkWhollyInFile(int64_t position, uint32_t length, int64_t fileLength) {
  if (position < 0 || position > fileLength) {
    return false;
  }
  return fileLength - position >= static_cast<int64_t>(length);
}

// True when a video chunk of length bytes holds a frame that fits a sample.
inline bool VideoChunkDeliverable(uint32_t length) {
  return length >= kVideoBodyOffset &&
         length - (kVideoBodyOffset - kVideoHeadLength) <= kVideoSampleLength;
}

// The part of a stored audio chunk that is delivered when only its first
// bytesPresent bytes exist.
struct AudioChunkCut {
  // Stored bytes each channel keeps: the whole kept run for one channel (or
  // for a layout of more channels, which is cut as one run), the same run
  // length in each planar half for two.
  uint32_t keptPerChannel;
  // Where the second channel's kept run starts in the stored chunk; 0 when
  // the chunk is cut as one run.
  uint32_t secondChannelOffset;
  // Length of the delivered payload; 0 when not one whole frame exists.
  uint32_t deliveredLength;
};

// The bytes that exist (the whole chunk, or its first bytesPresent) rounded
// down to whole frames (channels × bytes per sample): a sample that is not
// whole would go out with bytes the file never held. Two channels keep the
// same number of samples each, so that the shorter run decides.
inline AudioChunkCut CutAudioChunk(uint32_t chunkLength, uint32_t bytesPresent, uint32_t channels,
                                   uint32_t bitsPerSample) {
  const uint32_t present = bytesPresent < chunkLength ? bytesPresent : chunkLength;
  // Widths below a byte are cut on bytes: they have no conversion anyway.
  const uint32_t sampleBytes = bitsPerSample >= 8 ? bitsPerSample / 8u : 1u;
  if (channels == 2) {
    // A stored half longer than a whole number of samples ends in a byte no
    // conversion writes, so even a whole chunk keeps only whole samples.
    const uint32_t half = chunkLength / 2;
    const uint32_t secondPresent = present > half ? present - half : 0;
    const uint32_t usable = secondPresent < half ? secondPresent : half;
    const uint32_t kept = usable - usable % sampleBytes;
    if (kept == 0) {
      return AudioChunkCut{0, 0, 0};
    }
    return AudioChunkCut{kept, half, 2 * kept};
  }
  const uint32_t frameBytes = channels > 1 ? channels * sampleBytes : sampleBytes;
  const uint32_t kept = present - present % frameBytes;
  return AudioChunkCut{kept, 0, kept};
}

// True when the second channel's kept run does not follow the first.
inline bool AudioChunkNeedsCompaction(const AudioChunkCut& cut) {
  return cut.secondChannelOffset != 0 && cut.secondChannelOffset != cut.keptPerChannel;
}

// Moves the second channel's kept run next to the first, so that the chunk's
// first cut.deliveredLength bytes form a planar chunk of that length.
inline void CompactAudioChunk(uint8_t* chunk, const AudioChunkCut& cut) {
  if (!AudioChunkNeedsCompaction(cut)) {
    return;
  }
  std::memmove(chunk + cut.keptPerChannel, chunk + cut.secondChannelOffset, cut.keptPerChannel);
}

// amount × 10,000,000 / perSecond, its fraction dropped; 0 when perSecond is
// 0. Amounts below 2^33 (a 32-bit count, or a 31-bit start plus a 32-bit
// duration) keep the product far below the 64-bit limit.
inline int64_t ScaledDuration(int64_t amount, uint32_t perSecond) {
  // A file with a zero rate gives samples no length rather than a fault.
  if (perSecond == 0 || amount <= 0) {
    return 0;
  }
  return amount * kUnitsPerSecond / static_cast<int64_t>(perSecond);
}

inline int64_t AudioChunkDuration(uint32_t length, uint32_t avgBytesPerSec) {
  return ScaledDuration(length, avgBytesPerSec);
}

// Ticks from 0 to 2^33: one row's duration, or the movie's end tick.
inline int64_t VideoFrameDuration(int64_t durationTicks, uint32_t timeBase) {
  return ScaledDuration(durationTicks, timeBase);
}

// How long a row plays, whether or not it can be delivered: every row moves
// its stream's time on by this, so later rows keep their times.
inline int64_t RowDuration(uint32_t timeInfo, uint32_t chunkLength, uint32_t durationTicks,
                           uint32_t avgBytesPerSec, uint32_t timeBase) {
  return IsAudioRow(timeInfo) ? AudioChunkDuration(chunkLength, avgBytesPerSec)
                              : VideoFrameDuration(durationTicks, timeBase);
}

// start + duration, held at the largest time instead of wrapping: a hostile
// table can add up frame durations past the 64-bit range, and a stop time
// before its start would mislead every filter downstream.
inline int64_t AdvanceTime(int64_t start, int64_t duration) {
  constexpr int64_t kLatest = std::numeric_limits<int64_t>::max();
  if (duration > 0 && start > kLatest - duration) {
    return kLatest;
  }
  return start + duration;
}

// The tick a video row ends at: the movie's video ends where its last video
// row does. Summed in 64 bits: a last frame that plays for hours must not
// wrap the movie's length to a blink.
inline int64_t VideoEndTick(uint32_t timeInfo, uint32_t durationTicks) {
  return static_cast<int64_t>(timeInfo & kVideoStartMask) + durationTicks;
}

}  // namespace film
