#pragma once

#include "Platform.h"
#include "film/CCpkStreamDescription.h"
#include "film/CFilmByteSource.h"
#include "film/FilmRowPlan.h"
#include "film/FilmRules.h"
#include "film/FilmSampleEntry.h"

class CStreamRun;

// Reads the chunks of one stream of a FILM file for its streaming thread.
// A chunk is read once, straight into the sample where its bytes need no
// reshaping on the way; a run of small chunks lying close together comes in
// with one read through the thread's window, since a read costs far more
// than copying a few kilobytes. Made for one run of the thread: it holds no
// state of its own.
class CCpkChunkReader {
 public:
  // All three are borrowed and outlive the reader; headroom: bytes in front
  // of each sample buffer the reader may write.
  CCpkChunkReader(const CCpkStreamDescription& stream, CFilmByteSource& source, CStreamRun& run,
                  DWORD headroom)
      : m_stream(stream), m_source(source), m_run(run), m_headroom(headroom) {}

  CCpkChunkReader(const CCpkChunkReader&) = delete;
  CCpkChunkReader& operator=(const CCpkChunkReader&) = delete;

  // The delivered frame of a video row planned for delivery: the chunk
  // without its bytes 10-11, in buffer (bufferSize bytes, at least the
  // frame's length). S_FALSE when a read showed bytes missing.
  HRESULT ReadVideoFrame(const film::RowPlan& plan, BYTE* buffer, DWORD bufferSize);

  // The kept frames of an audio row planned for delivery, at the front of a
  // planar chunk of cut->deliveredLength bytes, at *bytes: in the window, in
  // sampleBuffer (at least the chunk's length) when the layout converts in
  // place, or in the staging buffer. The cut is the plan's unless a read
  // showed the file shorter; S_FALSE when then not one whole frame is left.
  HRESULT ReadAudioChunk(const film::RowPlan& plan, BYTE* sampleBuffer, const BYTE** bytes,
                         film::AudioChunkCut* cut);

 private:
  // File position of the byte skip bytes into the row's chunk.
  DWORD ChunkPosition(const FilmSampleEntry& row, DWORD skip) const;
  // The row's whole chunk in the window, read together with the stream's
  // next chunks when they lie close behind it; null when the chunk is better
  // read on its own.
  const BYTE* SharedChunkBytes(const film::RowPlan& plan);
  // Where one read from start that covers [start, end) should end to bring
  // in the next small chunks of the stream (audio or video) as well.
  LONGLONG SharedReadEnd(bool audio, LONGLONG start, LONGLONG end) const;
  // One read of the chunk's length bytes at position into `into`; S_FALSE
  // when the read showed bytes of it missing.
  HRESULT ReadWholeChunk(LONGLONG position, DWORD length, BYTE* into);
  // TRUE when a read answered readResult leaves bytes of the chunk missing.
  BOOL ShortReadLostBytes(HRESULT readResult, LONGLONG position, DWORD length);

  const CCpkStreamDescription& m_stream;
  CFilmByteSource& m_source;
  CStreamRun& m_run;  // its cursor says where the stream is; its window is the reader's
  const DWORD m_headroom;
};
