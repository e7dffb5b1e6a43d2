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
  if (bytesPresent >= chunkLength) {
    return AudioChunkCut{chunkLength, 0, chunkLength};
  }
  // Widths below a byte are cut on bytes: they have no conversion anyway.
  const DWORD sampleBytes = bitsPerSample >= 8 ? bitsPerSample / 8u : 1u;
  if (channels == 2) {
    const DWORD half = chunkLength / 2;
    const DWORD secondPresent = bytesPresent > half ? bytesPresent - half : 0;
    const DWORD kept = secondPresent - secondPresent % sampleBytes;
    if (kept == 0) {
      return AudioChunkCut{0, 0, 0};
    }
    return AudioChunkCut{kept, half, 2 * kept};
  }
  const DWORD frameBytes = channels > 1 ? channels * sampleBytes : sampleBytes;
  const DWORD kept = bytesPresent - bytesPresent % frameBytes;
  return AudioChunkCut{kept, 0, kept};
}

void CompactAudioChunk(BYTE* chunk, const AudioChunkCut& cut) {
  if (cut.secondChannelOffset == 0 || cut.secondChannelOffset == cut.keptPerChannel) {
    return;
  }
  std::memmove(chunk + cut.keptPerChannel, chunk + cut.secondChannelOffset, cut.keptPerChannel);
}
