#include "media/CInterleavingQueue.h"

#include <utility>

namespace tessaly::media {

CInterleavingQueue::CInterleavingQueue(size_t streams, Writer writer, size_t heldBytes,
                                       size_t heldChunks)
    : m_streams(streams),
      m_writer(std::move(writer)),
      m_heldBytes(heldBytes),
      m_heldChunks(heldChunks) {}

bool CInterleavingQueue::Add(QueuedChunk chunk) {
  std::unique_lock<std::mutex> guard(m_lock);
  if (m_failed) return false;
  if (chunk.stream >= m_streams.size()) return true;
  Stream& stream = m_streams[chunk.stream];
  // A chunk without a time, or one earlier than its stream's last (a hostile
  // table), keeps its place in the stream.
  REFERENCE_TIME key = chunk.start.value_or(stream.lastKey.value_or(0));
  if (stream.lastKey && key < *stream.lastKey) key = *stream.lastKey;
  chunk.key = key;
  stream.lastKey = key;
  stream.bytes += chunk.bytes.size();
  const size_t number = chunk.stream;
  stream.chunks.push_back(std::move(chunk));
  WriteDueLocked(false);
  m_changed.wait(guard, [&] { return m_failed || m_released || !HoldsTooMuchLocked(number); });
  return !m_failed;
}

void CInterleavingQueue::End(size_t stream) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (stream >= m_streams.size()) return;
  m_streams[stream].ended = true;
  WriteDueLocked(false);
}

bool CInterleavingQueue::Flush() {
  std::lock_guard<std::mutex> guard(m_lock);
  WriteDueLocked(true);
  return !m_failed;
}

void CInterleavingQueue::Release() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_released = true;
  m_changed.notify_all();
}

bool CInterleavingQueue::HoldsTooMuchLocked(size_t stream) const {
  const Stream& held = m_streams[stream];
  return !held.chunks.empty() && (held.bytes > m_heldBytes || held.chunks.size() > m_heldChunks);
}

bool CInterleavingQueue::IsDueLocked(size_t stream, bool all) const {
  const QueuedChunk& head = m_streams[stream].chunks.front();
  for (size_t other = 0; other < m_streams.size(); ++other) {
    if (other == stream) continue;
    const Stream& rival = m_streams[other];
    if (!rival.chunks.empty()) {
      const QueuedChunk& first = rival.chunks.front();
      if (first.key < head.key || (first.key == head.key && other < stream)) return false;
      continue;
    }
    if (all || rival.ended) continue;
    // The rival's next chunk comes no earlier than its last one.
    if (!rival.lastKey) return false;
    if (*rival.lastKey < head.key || (*rival.lastKey == head.key && other < stream)) return false;
  }
  return true;
}

bool CInterleavingQueue::WriteEndsLocked() {
  bool wrote = false;
  for (size_t number = 0; number < m_streams.size() && !m_failed; ++number) {
    Stream& stream = m_streams[number];
    if (!stream.ended || stream.endWritten || !stream.chunks.empty()) continue;
    stream.endWritten = wrote = true;
    if (m_endWriter && !m_endWriter(number)) m_failed = true;
  }
  return wrote;
}

void CInterleavingQueue::WriteDueLocked(bool all) {
  bool wrote = WriteEndsLocked();
  bool progress = true;
  while (!m_failed && progress) {
    progress = false;
    for (size_t number = 0; number < m_streams.size(); ++number) {
      Stream& stream = m_streams[number];
      if (stream.chunks.empty() || !IsDueLocked(number, all)) continue;
      if (!m_writer(stream.chunks.front())) m_failed = true;
      stream.bytes -= stream.chunks.front().bytes.size();
      stream.chunks.pop_front();
      WriteEndsLocked();
      wrote = progress = true;
      break;
    }
  }
  if (wrote || m_failed) m_changed.notify_all();
}

}  // namespace tessaly::media
