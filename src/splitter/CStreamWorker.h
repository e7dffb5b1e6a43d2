#pragma once

#include "Platform.h"
#include "runtime/CWorkerThread.h"
#include "splitter/CStreamRun.h"

class CSplitterFilterBase;

// The streaming thread of one output stream. Each connected output has its
// own, so that a renderer holding one stream's sample (as every renderer
// does while paused) never holds back the other stream. The worker moves its
// run while it streams; between runs the filter places it.
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

  int Stream() const { return m_stream; }
  // The stream's run: placed by the filter between runs, moved by this
  // thread during one.
  CStreamRun& Run() { return m_run; }

 protected:
  DWORD WorkerMain() override;

 private:
  CSplitterFilterBase* m_filter;  // not counted: the filter owns the worker
  const int m_stream;
  CStreamRun m_run;  // owned
};
