#include "splitter/CStreamWorker.h"

#include "runtime/CAutoLock.h"
#include "splitter/CSplitterFilterBase.h"

CStreamWorker::CStreamWorker(CSplitterFilterBase* filter, int stream)
    : m_filter(filter), m_stream(stream) {}

CStreamWorker::~CStreamWorker() { Exit(); }

HRESULT CStreamWorker::Prepare() {
  CAutoLock access(AccessLock());
  return ThreadExists() || StartThread() ? S_OK : E_FAIL;
}

HRESULT CStreamWorker::Start() {
  CAutoLock access(AccessLock());
  HRESULT hr = Prepare();
  return SUCCEEDED(hr) ? SendCommand(CMD_STREAM) : hr;
}

HRESULT CStreamWorker::Idle() {
  CAutoLock access(AccessLock());
  if (!ThreadExists()) {
    return S_FALSE;
  }
  // Answered only once the thread is back from its stream.
  SendCommand(CMD_IDLE);
  return S_OK;
}

HRESULT CStreamWorker::Exit() {
  // Joined under the access lock: between the exit reply and the join the
  // handle is still set, and an Idle or Start let in there would send a
  // command that no thread will ever answer. The thread never takes the
  // access lock, so it can end while the lock is held.
  CAutoLock access(AccessLock());
  if (!ThreadExists()) {
    return S_FALSE;
  }
  SendCommand(CMD_EXIT);
  JoinThread();
  return S_OK;
}

DWORD CStreamWorker::WorkerMain() {
  for (;;) {
    DWORD command = WaitCommand();
    ReplyCommand(0);
    if (command == CMD_EXIT) {
      return 0;
    }
    if (command == CMD_STREAM) {
      m_filter->StreamSamples(this);
    }
  }
}
