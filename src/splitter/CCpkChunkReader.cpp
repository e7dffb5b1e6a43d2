#include "splitter/CCpkChunkReader.h"

#include <algorithm>
#include <cstring>

#include "film/FilmLayout.h"
#include "shaping/PayloadConversion.h"
#include "splitter/CStreamRun.h"

namespace {

// A chunk this long or longer is read on its own: copying it out of the
// window would cost more than the read it saves.
constexpr DWORD kSharedReadLimit = 16384;
// Bytes of other chunks one read may carry between two of the stream's own:
// copying fewer costs less than a read of their own.
constexpr DWORD kSharedReadGap = 4096;
// Rows looked at ahead for one read, of either stream: the look-ahead stays
// short however many rows of the other stream come between.
constexpr DWORD kSharedReadRows = 4096;

}  // namespace

DWORD CCpkChunkReader::ChunkPosition(const FilmSampleEntry& row, DWORD skip) const {
  // Every read inside a chunk wraps in 32 bits as the chunk's start does.
  return film::ChunkPosition(m_stream.m_dataOffset, row.chunkOffset) + skip;
}

HRESULT CCpkChunkReader::ReadVideoFrame(const film::RowPlan& plan, BYTE* buffer, DWORD bufferSize) {
  const FilmSampleEntry& row = plan.row;
  const DWORD length = plan.chunkLength;
  const BYTE* shared = SharedChunkBytes(plan);
  if (shared != nullptr) {
    std::memcpy(buffer, shared, film::kVideoHeadLength);
    std::memcpy(buffer + film::kVideoHeadLength, shared + film::kVideoBodyOffset,
                length - film::kVideoBodyOffset);
    return S_OK;
  }
  const LONGLONG position = plan.position;
  const DWORD dropped = film::kVideoBodyOffset - film::kVideoHeadLength;
  if (m_headroom >= dropped) {
    // One read of the whole chunk with the dropped bytes in front of the
    // body's place: only the head moves, by their width.
    BYTE* chunk = buffer - dropped;
    HRESULT hr = ReadWholeChunk(position, length, chunk);
    if (hr == S_OK) {
      std::memmove(buffer, chunk, film::kVideoHeadLength);
    }
    return hr;
  }
  if (length <= bufferSize) {
    // One read of the whole chunk; the body then closes over the two bytes
    // the frame drops, which costs less than a second read.
    HRESULT hr = ReadWholeChunk(position, length, buffer);
    if (hr == S_OK) {
      std::memmove(buffer + film::kVideoHeadLength, buffer + film::kVideoBodyOffset,
                   length - film::kVideoBodyOffset);
    }
    return hr;
  }
  // A frame whose head could not be read would go out with the previous
  // frame's header bytes in it.
  HRESULT hr = m_source.ReadAt(position, film::kVideoHeadLength, buffer);
  if (FAILED(hr)) {
    return hr;
  }
  HRESULT body = m_source.ReadAt(ChunkPosition(row, film::kVideoBodyOffset),
                                 static_cast<LONG>(length - film::kVideoBodyOffset),
                                 buffer + film::kVideoHeadLength);
  if (FAILED(body)) {
    return body;
  }
  if (ShortReadLostBytes(hr, position, length) || ShortReadLostBytes(body, position, length)) {
    return S_FALSE;
  }
  return S_OK;
}

HRESULT CCpkChunkReader::ReadAudioChunk(const film::RowPlan& plan, BYTE* sampleBuffer,
                                        const BYTE** bytes, film::AudioChunkCut* cut) {
  *cut = plan.cut;
  // The window's bytes are shared with the stream's next chunks: a chunk
  // whose halves must close up is read on its own.
  if (plan.wholeInFile && !film::AudioChunkNeedsCompaction(*cut)) {
    *bytes = SharedChunkBytes(plan);
    if (*bytes != nullptr) {
      return S_OK;
    }
  }
  const WAVEFORMATEX& format = m_stream.m_waveFormat;
  BYTE* destination = ConvertsInPlace(format.nChannels, format.wBitsPerSample)
                          ? sampleBuffer
                          : m_stream.m_stagingBuffer.get();
  // Only the bytes the file holds are read; the cut's runs lie inside them.
  HRESULT hr = m_source.ReadAt(plan.position, static_cast<LONG>(plan.presentBytes), destination);
  if (FAILED(hr)) {
    return hr;
  }
  if (ShortReadLostBytes(hr, plan.position, plan.presentBytes)) {
    const LONGLONG fileLength = m_source.AvailableLength();
    if (fileLength == film::kUnknownFileLength) {
      return VFW_E_FILE_TOO_SHORT;
    }
    // The file is shorter than the plan knew: what it still holds decides.
    *cut = m_stream.PlanRow(plan.row, fileLength).cut;
    if (cut->deliveredLength == 0) {
      return S_FALSE;
    }
  }
  if (cut->deliveredLength < plan.chunkLength) {
    film::CompactAudioChunk(destination, *cut);
  }
  *bytes = destination;
  return S_OK;
}

const BYTE* CCpkChunkReader::SharedChunkBytes(const film::RowPlan& plan) {
  const LONGLONG position = plan.position;
  const DWORD length = plan.chunkLength;
  CChunkWindow& window = m_run.Window();
  const BYTE* bytes = window.Find(position, length);
  if (bytes != nullptr || length >= kSharedReadLimit) {
    return bytes;
  }
  const LONGLONG end = SharedReadEnd(plan.audio, position, position + length);
  // A chunk alone is read straight to where it goes.
  if (end == position + length) {
    return nullptr;
  }
  // A read that fails or comes short here is tried again as the chunk's own,
  // which tells which of its bytes exist.
  if (window.Fill(&m_source, position, static_cast<DWORD>(end - position)) != S_OK) {
    return nullptr;
  }
  return window.Find(position, length);
}

LONGLONG CCpkChunkReader::SharedReadEnd(bool audio, LONGLONG start, LONGLONG end) const {
  // Never past what the file holds: the read would come short.
  const LONGLONG limit =
      std::min<LONGLONG>(start + CChunkWindow::kLength, m_source.AvailableLength());
  const DWORD first = m_run.Row() + 1;
  const DWORD endRow = m_run.EndRow();
  const DWORD last = first + std::min(endRow - std::min(endRow, first), kSharedReadRows);
  for (DWORD index = first; index < last; ++index) {
    const FilmSampleEntry next = m_stream.RowAt(index);
    if (film::IsAudioRow(next.timeInfo) != audio) {
      continue;
    }
    const LONGLONG position = ChunkPosition(next, 0);
    const LONGLONG nextEnd = position + next.chunkLength;
    // A chunk the read already covers brings nothing new; looking past it
    // would scan thousands of rows again for every row of a table that
    // names one chunk over and over.
    if (next.chunkLength >= kSharedReadLimit || position < start ||
        position > end + kSharedReadGap || nextEnd > limit || nextEnd <= end) {
      break;
    }
    end = std::max(end, nextEnd);
  }
  return end;
}

HRESULT CCpkChunkReader::ReadWholeChunk(LONGLONG position, DWORD length, BYTE* into) {
  HRESULT hr = m_source.ReadAt(position, static_cast<LONG>(length), into);
  if (FAILED(hr)) {
    return hr;
  }
  return ShortReadLostBytes(hr, position, length) ? S_FALSE : S_OK;
}

BOOL CCpkChunkReader::ShortReadLostBytes(HRESULT readResult, LONGLONG position, DWORD length) {
  if (readResult != S_FALSE) {
    return FALSE;
  }
  // The source has been asked for the length again; one that cannot tell
  // gives no way to know which bytes are real.
  const LONGLONG fileLength = m_source.AvailableLength();
  return fileLength == film::kUnknownFileLength ||
                 !film::ChunkWhollyInFile(position, length, fileLength)
             ? TRUE
             : FALSE;
}
