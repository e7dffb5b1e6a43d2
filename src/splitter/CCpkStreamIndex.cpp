#include "splitter/CCpkStreamIndex.h"

#include <initializer_list>
#include <new>

#include "film/FilmLayout.h"
#include "film/FilmRules.h"

namespace {

constexpr int kAudio = 0;
constexpr int kVideo = 1;

int StreamOf(const FilmSampleEntry& row) {
  return film::IsAudioRow(row.timeInfo) ? kAudio : kVideo;
}

}  // namespace

void CCpkStreamIndex::Clear() {
  for (int stream : {kAudio, kVideo}) {
    m_entries[stream].reset();
    m_count[stream] = 0;
    m_end[stream] = 0;
  }
  m_keyFrames.reset();
  m_keyFrameCount = 0;
  m_built = FALSE;
}

HRESULT CCpkStreamIndex::Build(const CCpkStreamDescription& description) {
  Clear();
  DWORD counts[2] = {0, 0};
  FilmSampleEntry row = {};
  for (DWORD index = 0; description.ReadSampleEntry(index, &row); ++index) {
    ++counts[StreamOf(row)];
  }
  for (int stream : {kAudio, kVideo}) {
    m_entries[stream].reset(new (std::nothrow) Entry[counts[stream] > 0 ? counts[stream] : 1]);
  }
  m_keyFrames.reset(new (std::nothrow) DWORD[counts[kVideo] > 0 ? counts[kVideo] : 1]);
  if (m_entries[kAudio] == nullptr || m_entries[kVideo] == nullptr || m_keyFrames == nullptr) {
    Clear();
    return E_OUTOFMEMORY;
  }
  for (DWORD index = 0; description.ReadSampleEntry(index, &row); ++index) {
    const int stream = StreamOf(row);
    Entry& entry = m_entries[stream][m_count[stream]++];
    entry.row = index;
    entry.keyFrame = (row.timeInfo & film::kNotSyncPointFlag) == 0 ? TRUE : FALSE;
    entry.start = m_end[stream];
    if (stream == kVideo && entry.keyFrame) {
      m_keyFrames[m_keyFrameCount++] = m_count[stream] - 1;
    }
    // A row that cannot be delivered still takes its time, as in streaming.
    m_end[stream] = film::AdvanceTime(m_end[stream], description.RowDuration(row));
  }
  m_built = TRUE;
  return S_OK;
}

DWORD CCpkStreamIndex::LastAtOrBefore(const Entry* entries, DWORD count, REFERENCE_TIME t) {
  // The first entry starting after t, found by halving; the one before it
  // is the answer. Start times never decrease along a stream.
  DWORD low = 0;
  DWORD high = count;
  while (low < high) {
    const DWORD middle = low + (high - low) / 2;
    if (entries[middle].start <= t) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low == 0 ? count : low - 1;
}

DWORD CCpkStreamIndex::KeyFrameAtOrBefore(DWORD entry) const {
  DWORD low = 0;
  DWORD high = m_keyFrameCount;
  while (low < high) {
    const DWORD middle = low + (high - low) / 2;
    if (m_keyFrames[middle] <= entry) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  // Frames before the first key frame start from the first frame.
  return low == 0 ? 0 : m_keyFrames[low - 1];
}

BOOL CCpkStreamIndex::FindStart(int stream, REFERENCE_TIME t, DWORD* row,
                                REFERENCE_TIME* start) const {
  const DWORD count = m_count[stream];
  if (!m_built || count == 0 || t >= m_end[stream]) {
    return FALSE;
  }
  const Entry* entries = m_entries[stream].get();
  DWORD at = LastAtOrBefore(entries, count, t);
  if (at == count) {
    at = 0;
  }
  if (stream == kVideo) {
    // A picture decodes only from the key frame before it.
    at = KeyFrameAtOrBefore(at);
  }
  *row = entries[at].row;
  *start = entries[at].start;
  return TRUE;
}
