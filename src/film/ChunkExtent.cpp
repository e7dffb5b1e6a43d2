#include "film/ChunkExtent.h"

#include <cstring>

DWORD ChunkBytesInFile(LONGLONG position, DWORD length, LONGLONG fileLength) {
  if (position < 0 || position >= fileLength) {
    return 0;
  }
  const LONGLONG left = fileLength - position;
  return left < static_cast<LONGLONG>(length) ? static_cast<DWORD>(left) : length;
}

BOOL ChunkWhollyInFile(LONGLONG position, DWORD length, LONGLONG fileLength) {
  if (position < 0 || position > fileLength) {
    return FALSE;
  }
  return fileLength - position >= static_cast<LONGLONG>(length) ? TRUE : FALSE;
}

AudioChunkCut CutAudioChunk(DWORD chunkLength, DWORD bytesPresent, WORD channels,
                            WORD bitsPerSample) {
  const DWORD present = bytesPresent < chunkLength ? bytesPresent : chunkLength;
  // Widths below a byte are cut on bytes: they have no conversion anyway.
  const DWORD sampleBytes = bitsPerSample >= 8 ? bitsPerSample / 8u : 1u;
  if (channels == 2) {
    // A stored half longer than a whole number of samples ends in a byte no
    // conversion writes, so even a whole chunk keeps only whole samples.
    const DWORD half = chunkLength / 2;
    const DWORD secondPresent = present > half ? present - half : 0;
    const DWORD usable = secondPresent < half ? secondPresent : half;
    const DWORD kept = usable - usable % sampleBytes;
    if (kept == 0) {
      return AudioChunkCut{0, 0, 0};
    }
    return AudioChunkCut{kept, half, 2 * kept};
  }
  const DWORD frameBytes = channels > 1 ? channels * sampleBytes : sampleBytes;
  const DWORD kept = present - present % frameBytes;
  return AudioChunkCut{kept, 0, kept};
}

BOOL AudioChunkNeedsCompaction(const AudioChunkCut& cut) {
  return cut.secondChannelOffset != 0 && cut.secondChannelOffset != cut.keptPerChannel ? TRUE
                                                                                       : FALSE;
}

void CompactAudioChunk(BYTE* chunk, const AudioChunkCut& cut) {
  if (!AudioChunkNeedsCompaction(cut)) {
    return;
  }
  std::memmove(chunk + cut.keptPerChannel, chunk + cut.secondChannelOffset, cut.keptPerChannel);
}
