#include "splitter/CStreamRun.h"

#include "film/FilmRules.h"

void CStreamRun::Restart(REFERENCE_TIME segmentStart, REFERENCE_TIME segmentStop) {
  m_start = segmentStart;
  m_stop = segmentStop;
  m_newSegment = true;
  m_row = 0;
  m_endRow = 0;
  m_time = 0;
  m_afterLoss = false;
  m_window.Clear();
}

void CStreamRun::StartAt(DWORD row, REFERENCE_TIME time) {
  m_row = row;
  m_time = time;
}

bool CStreamRun::TakeNewSegment() {
  if (!m_newSegment) {
    return false;
  }
  m_newSegment = false;
  return true;
}

bool CStreamRun::PastStop() const {
  const REFERENCE_TIME stop = m_stop;
  return stop != kNoStop && m_time >= stop;
}

void CStreamRun::Sent(REFERENCE_TIME next) {
  m_time = next;
  m_afterLoss = false;
}

void CStreamRun::Lost(REFERENCE_TIME duration) {
  m_time = film::AdvanceTime(m_time, duration);
  m_afterLoss = true;
}
