#pragma once

#include "Platform.h"

// The one movie-wide seeking state of a splitter, behind every pin's
// IMediaSeeking and the filter's IMediaPosition. Times are media time in
// 100-ns units.
class CMovieSeeking {
 public:
  // Callers tell themselves apart so that the graph's seek of each renderer
  // in turn moves the streams once.
  enum : int { kAudioCaller = 0, kVideoCaller = 1, kPositionCaller = 2 };

  // The movie's length: its video's when it has video, else its audio's.
  virtual REFERENCE_TIME Duration() = 0;
  // Where the current segment starts, and where it stops.
  virtual void GetPositions(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  // IMediaSeeking::SetPositions of caller.
  virtual HRESULT SetPositions(int caller, LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                               DWORD stopFlags) = 0;

 protected:
  // Nobody owns an object through this interface.
  ~CMovieSeeking() = default;
};
