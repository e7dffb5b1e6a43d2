// How much of a chunk a file that ends early still holds, and what of it can
// go out: a video frame only whole, audio cut to whole sample frames.
#pragma once

#include "Platform.h"

// Bytes of the chunk of length bytes at position that lie before fileLength.
DWORD ChunkBytesInFile(LONGLONG position, DWORD length, LONGLONG fileLength);

// TRUE when every byte of the chunk lies before fileLength.
BOOL ChunkWhollyInFile(LONGLONG position, DWORD length, LONGLONG fileLength);

// The part of a stored audio chunk that is delivered when only its first
// bytesPresent bytes exist.
struct AudioChunkCut {
  // Stored bytes each channel keeps: the whole kept run for one channel (or
  // for a layout of more channels, which is cut as one run), the same run
  // length in each planar half for two.
  DWORD keptPerChannel;
  // Where the second channel's kept run starts in the stored chunk; 0 when
  // the chunk is cut as one run.
  DWORD secondChannelOffset;
  // Length of the delivered payload; 0 when not one whole frame exists.
  DWORD deliveredLength;
};

// The bytes that exist (the whole chunk, or its first bytesPresent) rounded
// down to whole frames (channels × bytes per sample): a sample that is not
// whole would go out with bytes the file never held. Two channels keep the
// same number of samples each, so that the shorter run decides.
AudioChunkCut CutAudioChunk(DWORD chunkLength, DWORD bytesPresent, WORD channels,
                            WORD bitsPerSample);

// TRUE when the second channel's kept run does not follow the first.
BOOL AudioChunkNeedsCompaction(const AudioChunkCut& cut);

// Moves the second channel's kept run next to the first, so that the chunk's
// first cut.deliveredLength bytes form a planar chunk of that length.
void CompactAudioChunk(BYTE* chunk, const AudioChunkCut& cut);
