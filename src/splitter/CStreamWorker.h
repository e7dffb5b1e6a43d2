#pragma once

#include "Platform.h"
#include "runtime/CWorkerThread.h"
#include "splitter/CChunkWindow.h"

class CSplitterFilterBase;

// The streaming thread of one output stream. Each connected output has its
// own, so that a renderer holding one stream's sample (as every renderer
// does while paused) never holds back the other stream. The worker owns its
// cursor while it streams; between runs the filter rewinds it.
class CStreamWorker : public CWorkerThread {
 public:
  // Commands of the worker handshake.
  enum : DWORD { CMD_IDLE = 0, CMD_STREAM = 1, CMD_EXIT = 2 };

  CStreamWorker(CSplitterFilterBase* filter, int stream);
  ~CStreamWorker();

  // Starts the thread if there is none.
  HRESULT Prepare();
  // Starts the thread if there is none and has it walk its stream.
  HRESULT Start();
  // Has the thread stop walking its stream and waits until it has; the
  // thread stays for the next run. S_FALSE when there is no thread.
  HRESULT Idle();
  // Tells the thread to leave and waits for it; S_FALSE when none runs.
  HRESULT Exit();
  // TRUE once a command is waiting: the streaming body returns at once.
  BOOL ShouldLeave() { return PeekCommand(nullptr); }

  void Rewind();

  int Stream() const { return m_stream; }

  DWORD m_rowIndex;             // next table row to look at
  REFERENCE_TIME m_streamTime;  // running time of the next sample
  BOOL m_segmentPending;        // the run's NewSegment is still to be sent
  BOOL m_afterLoss;             // a row was lost since the last sample sent
  // One past the stream's last row whose chunk the file holds, as the run
  // last learned the file's length.
  DWORD m_endRow;
  CChunkWindow m_window;  // file bytes read for the stream's next small chunks

 protected:
  DWORD WorkerMain() override;

 private:
  CSplitterFilterBase* m_filter;  // not counted: the filter owns the worker
  const int m_stream;
};
