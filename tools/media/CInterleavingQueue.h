// Puts the chunks of several streams into one order by time, as a muxer
// does: each stream's chunks arrive in their own order on a thread of their
// own, and a chunk is written only once no other stream can still bring an
// earlier one. Equal times go in stream order, so the written order depends
// on the chunks alone, never on which thread came first. A stream's end is
// told to the writer in the same order, once its last chunk is written, so a
// writer that treats the chunks after a stream's end differently (WebM's
// clusters of sound after the last picture) sees the end where it lies.
#pragma once

#include <win/platform.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tessaly::media {

struct QueuedChunk {
  size_t stream = 0;
  REFERENCE_TIME key = 0;  // the order it is written in, never below the stream's last
  std::optional<REFERENCE_TIME> start;
  std::optional<REFERENCE_TIME> stop;
  bool keyFrame = false;
  int64_t discardPaddingNs = 0;  // decoded time a player drops at the chunk's end (Opus)
  std::vector<uint8_t> bytes;
};

class CInterleavingQueue {
 public:
  // Called with the queue's lock held, one chunk at a time, in time order.
  using Writer = std::function<bool(const QueuedChunk& chunk)>;
  // Called with the queue's lock held once a stream has ended and its last
  // chunk is written, before any later chunk of another stream.
  using EndWriter = std::function<bool(size_t stream)>;

  // A stream that holds more than heldBytes or heldChunks waits for the
  // others to catch up, which bounds the memory a fast stream can take.
  CInterleavingQueue(size_t streams, Writer writer, size_t heldBytes = size_t{16} << 20,
                     size_t heldChunks = 8192);

  // Set before the first Add or End.
  void SetEndWriter(EndWriter endWriter) { m_endWriter = std::move(endWriter); }

  // Queues a chunk of its stream and writes every chunk that is due; may
  // wait while the stream is far ahead. False once a write has failed.
  bool Add(QueuedChunk chunk);
  // The stream brings no more chunks.
  void End(size_t stream);
  // Writes whatever is queued, in order, as if every stream had ended.
  // False when a write fails.
  bool Flush();
  // Wakes every waiting Add; later ones no longer wait (the graph stops).
  void Release();

 private:
  struct Stream {
    std::deque<QueuedChunk> chunks;
    size_t bytes = 0;
    bool ended = false;
    bool endWritten = false;
    std::optional<REFERENCE_TIME> lastKey;
  };

  void WriteDueLocked(bool all);
  bool WriteEndsLocked();
  bool IsDueLocked(size_t stream, bool all) const;
  bool HoldsTooMuchLocked(size_t stream) const;

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Stream> m_streams;
  Writer m_writer;
  EndWriter m_endWriter;  // may be empty
  size_t m_heldBytes;
  size_t m_heldChunks;
  bool m_failed = false;
  bool m_released = false;
};

}  // namespace tessaly::media
