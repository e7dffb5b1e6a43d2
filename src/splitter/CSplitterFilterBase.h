#pragma once

#include "Platform.h"
#include "com/CPointerList.h"
#include "framework/CFilterBase.h"
#include "runtime/CWorkerThread.h"

class COutputPinBase;
class CSplitterInputPin;

// A pull-mode splitter: one input pin that reads its upstream source on
// demand, up to two output pins, and a worker thread that streams while the
// filter is paused or running. The file format is left to the hooks after
// SetupData: pin lookup, the input type test, the work done when the input
// connects, and the streaming body.
class CSplitterFilterBase : public CFilterBase, public CWorkerThread {
 public:
  // Commands of the worker handshake.
  enum : DWORD { CMD_IDLE = 0, CMD_STREAM = 1, CMD_EXIT = 2 };

  CSplitterFilterBase(const char* objectName, IUnknown* outer, CRITICAL_SECTION* filterLock,
                      REFCLSID classId);
  ~CSplitterFilterBase() override;

  // S_OK accepts the type for the input; S_FALSE refuses it.
  virtual HRESULT TestInputType(const AM_MEDIA_TYPE* type) = 0;
  // The last step of the input connection; a failure undoes the connection.
  virtual HRESULT OnInputConnected(DWORD reserved, IPin* upstream) = 0;
  virtual HRESULT SignalEndOfStream();
  // Runs on the worker thread until the table ends or a command is posted.
  virtual HRESULT StreamSamples() = 0;

  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  HRESULT StartStreaming();
  HRESULT StopStreaming();

 protected:
  DWORD WorkerMain() override;

  // Ends a worker that no Stop ended, so that a filter released while paused
  // or running does not wait for ever on its own thread. The most-derived
  // destructor calls it first, before any field the worker reads is gone.
  void EndWorker();

  // Moves the current output pins out of sight of PinAt. They are kept, not
  // deleted, until the filter dies: a graph may still hold their interfaces.
  // E_OUTOFMEMORY leaves the pins where they were.
  HRESULT RetireOutputPins();
  BOOL AnyOutputConnected() const;

  // Deletes every pin; the concrete filter calls it before it frees the lock
  // the pins share.
  void DeletePins();

  CRITICAL_SECTION m_stateLock;   // owned: serialises Pause and Stop
  CRITICAL_SECTION m_streamLock;  // owned: one sample-table row at a time
  CSplitterInputPin* m_inputPin;  // owned
  COutputPinBase* m_audioPin;     // owned; null until the input connects
  COutputPinBase* m_videoPin;     // owned; null until the input connects
  CPointerList m_retiredPins;     // owned COutputPinBase objects of earlier connections

 private:
  // Commits the outputs, rewinds the input and starts the worker. A failure
  // gives back what was taken and leaves the filter stopped: an output
  // without committed buffers would drop every row of its stream while
  // Pause reported success.
  HRESULT LeaveStopped();
  static HRESULT ActivateIfConnected(COutputPinBase* pin);
  static void DeactivateIfConnected(COutputPinBase* pin);
};
