#pragma once

#include <atomic>

#include "Platform.h"
#include "splitter/CChunkWindow.h"

// One output stream's run: the segment it plays, its cursor in the table,
// the file bytes it read ahead, and whether a row went missing since its
// last sample. The filter places it only between runs, while its worker is
// idle (under the stream lock); during a run the worker alone moves it. The
// stop alone may move mid-run: it decides only where the run ends.
class CStreamRun {
 public:
  // A stop that is no stop: the stream plays to its last row.
  static constexpr REFERENCE_TIME kNoStop = 0x7FFFFFFFFFFFFFFFLL;

  CStreamRun() = default;
  CStreamRun(const CStreamRun&) = delete;
  CStreamRun& operator=(const CStreamRun&) = delete;

  // Between runs: back to the first row at time 0, with the segment the run
  // announces and stamps its samples in. The next run may read another file,
  // so nothing read ahead is kept.
  void Restart(REFERENCE_TIME segmentStart, REFERENCE_TIME segmentStop);
  // Between runs: the run starts from row, whose sample starts at time.
  void StartAt(DWORD row, REFERENCE_TIME time);
  // Between runs: the stream has nothing at or after the segment's start.
  void StartPastEveryRow() { StartAt(kPastEveryRow, m_time); }
  // At any time: where the run ends.
  void MoveStop(REFERENCE_TIME stop) { m_stop = stop; }

  REFERENCE_TIME SegmentStart() const { return m_start; }
  REFERENCE_TIME SegmentStop() const { return m_stop; }
  // TRUE once a run, before its first sample: renderers time samples from
  // the NewSegment.
  bool TakeNewSegment();

  DWORD Row() const { return m_row; }
  // One past the stream's last row whose chunk the file holds, as the run
  // last learned the file's length.
  DWORD EndRow() const { return m_endRow; }
  void SetEndRow(DWORD endRow) { m_endRow = endRow; }
  bool HasRow() const { return m_row < m_endRow; }
  void NextRow() { ++m_row; }

  // Media time of the next sample.
  REFERENCE_TIME Time() const { return m_time; }
  // The stream ends at its first sample that starts at or after the stop.
  bool PastStop() const;
  // TRUE when a row went missing since the last sample sent.
  bool AfterLoss() const { return m_afterLoss; }
  // Downstream took a sample: the time moves on to next and the gap, if
  // any, has been told.
  void Sent(REFERENCE_TIME next);
  // A row not delivered keeps its place in time: the samples after it play
  // at their own times, and the next one says that something is missing.
  void Lost(REFERENCE_TIME duration);
  // Frames the file lacked leave a gap before the next sample.
  void MarkGap() { m_afterLoss = true; }

  CChunkWindow& Window() { return m_window; }

 private:
  // A cursor past every row: the stream ends at once.
  static constexpr DWORD kPastEveryRow = 0xFFFFFFFFu;

  REFERENCE_TIME m_start = 0;                   // the segment's start
  std::atomic<REFERENCE_TIME> m_stop{kNoStop};  // the segment's stop
  bool m_newSegment = true;                     // the run's NewSegment is still to go out
  DWORD m_row = 0;                              // next table row to look at
  DWORD m_endRow = 0;
  REFERENCE_TIME m_time = 0;  // media time of the next sample
  bool m_afterLoss = false;   // a row was lost since the last sample sent
  CChunkWindow m_window;      // owned: file bytes read for the stream's next small chunks
};
