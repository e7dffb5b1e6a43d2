#pragma once

#include <memory>

#include "Platform.h"
#include "film/CCpkStreamDescription.h"

// Where each stream's samples start in time, so that a seek finds its first
// row by binary search instead of walking the table. Built on the first seek
// away from the start, not at connection: most playbacks never seek.
class CCpkStreamIndex {
 public:
  // Streams are numbered as the splitter's outputs: 0 audio, 1 video.
  CCpkStreamIndex() = default;
  CCpkStreamIndex(const CCpkStreamIndex&) = delete;
  CCpkStreamIndex& operator=(const CCpkStreamIndex&) = delete;

  // Indexes every row of the description (borrowed); E_OUTOFMEMORY leaves
  // the index empty.
  HRESULT Build(const CCpkStreamDescription& description);
  BOOL IsBuilt() const { return m_built; }
  void Clear();

  // The row to start a segment at time t from, and that row's stream time:
  // the audio chunk that contains t, or the last key frame at or before t.
  // FALSE when the stream ends at or before t.
  BOOL FindStart(int stream, REFERENCE_TIME t, DWORD* row, REFERENCE_TIME* start) const;
  // The stream's length when every row plays.
  REFERENCE_TIME StreamEnd(int stream) const { return m_end[stream]; }

 private:
  struct Entry {
    DWORD row;
    BOOL keyFrame;
    REFERENCE_TIME start;
  };
  // Index of the last entry starting at or before t, or count when none does.
  static DWORD LastAtOrBefore(const Entry* entries, DWORD count, REFERENCE_TIME t);
  // Index of the last video entry at or before entry that is a key frame, or
  // 0 when none is.
  DWORD KeyFrameAtOrBefore(DWORD entry) const;

  BOOL m_built = FALSE;
  std::unique_ptr<Entry[]> m_entries[2];  // owned: each stream's rows in table order
  DWORD m_count[2] = {0, 0};
  std::unique_ptr<DWORD[]> m_keyFrames;  // owned: the video entries that are key frames, ascending
  DWORD m_keyFrameCount = 0;
  REFERENCE_TIME m_end[2] = {0, 0};
};
