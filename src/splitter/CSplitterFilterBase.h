#pragma once

#include "Platform.h"
#include "com/CPointerList.h"
#include "framework/CFilterBase.h"
#include "splitter/CStreamWorker.h"

class COutputPinBase;
class CSplitterInputPin;

// A pull-mode splitter: one input pin that reads its upstream source on
// demand, up to two output pins, and one streaming worker for each
// connected output while the filter is paused or running. The base owns
// Pause, Run, Stop and the seek's flush and restart; the file format is left
// to the hooks after SetupData: pin lookup, the input type test, the work
// done when the input connects, where each run starts, and the streaming body.
class CSplitterFilterBase : public CFilterBase {
 public:
  // The output streams, each with its pin and its worker; the splitter
  // names them.
  enum : int { kStreamCount = 2 };

  CSplitterFilterBase(const char* objectName, IUnknown* outer, CRITICAL_SECTION* filterLock,
                      REFCLSID classId);
  ~CSplitterFilterBase() override;

  // S_OK accepts the type for the input; S_FALSE refuses it.
  virtual HRESULT TestInputType(const AM_MEDIA_TYPE* type) = 0;
  // The last step of the input connection; a failure undoes the connection.
  virtual HRESULT OnInputConnected(DWORD reserved, IPin* upstream) = 0;
  virtual HRESULT SignalEndOfStream(int stream);
  // Runs on the stream's worker until its rows end or a command is posted.
  virtual HRESULT StreamSamples(CStreamWorker* worker) = 0;

  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;

  CRITICAL_SECTION* StateLock() override { return &m_stateLock; }

  // TRUE while Stop or a seek ends the workers: a worker leaves at once,
  // without end of stream, whatever downstream answered it.
  BOOL StreamsEnding() const;

 protected:
  // Ends workers that no Stop ended, so that a filter released while paused
  // or running does not wait for ever on its own threads. The most-derived
  // destructor calls it first, before any field the workers read is gone.
  void EndWorker();

  COutputPinBase* OutputPin(int stream) const;

  // Moves the current output pins out of sight of PinAt. They are kept, not
  // deleted, until the filter dies: a graph may still hold their interfaces.
  // E_OUTOFMEMORY leaves the pins where they were.
  HRESULT RetireOutputPins();
  BOOL AnyOutputConnected() const;

  // Deletes every pin; the concrete filter calls it before it frees the lock
  // the pins share.
  void DeletePins();

  // Called under the state lock as Pause, Run or Stop begins.
  virtual void StateChanging() {}
  // The splitter's hooks for its runs, both under the stream lock while no
  // worker streams. Activating: the filter leaves Stopped with its input
  // connected, before any run starts. PlaceRuns: where each stream's run
  // starts, as the filter leaves Stopped and where a seek lands.
  virtual void Activating() {}
  virtual void PlaceRuns() = 0;

  // The two halves of a seek, both under the state lock. SuspendStreaming:
  // downstream flushes, the outputs are decommitted so that no worker waits
  // for a buffer downstream keeps, and the workers end their runs. Between
  // the halves no worker streams, so the new segment may be published.
  // ResumeStreaming: every run is placed where PlaceRuns says, the flush
  // ends, the outputs are committed again and the workers start. Nothing to
  // do while stopped, when the next Pause starts there.
  void SuspendStreaming();
  HRESULT ResumeStreaming();

  // Lock order, outermost first: m_stateLock, then the filter lock (the
  // pins' lock; connection changes take it after the state lock), then the
  // concrete filter's pin-list and index locks. m_stateLock, then
  // m_streamLock, then each worker's access lock. The filter lock is never
  // held while waiting for the state lock or for a worker: a worker waiting
  // in a downstream call may need it, because downstream calls back into the
  // pins (ConnectedTo, ConnectionMediaType).
  // owned: held by Pause, Run, Stop and seeks for their whole run; connection
  // changes take it too, or are refused when it is taken
  CRITICAL_SECTION m_stateLock;
  CRITICAL_SECTION m_streamLock;  // owned: held while the filter places the workers' runs
  CSplitterInputPin* m_inputPin;  // owned
  // owned, by stream; each null until the input connects with that stream
  COutputPinBase* m_outputPins[kStreamCount];
  // owned COutputPinBase objects of earlier connections; a new connection
  // takes its pins from here first, so that reconnecting does not pile them up
  CPointerList m_retiredPins;
  CStreamWorker m_workers[kStreamCount];  // owned, by stream

 private:
  // Commits the outputs, rewinds the input and starts the workers. A failure
  // gives back what was taken and leaves the filter stopped: an output
  // without committed buffers would drop every row of its stream while
  // Pause reported success.
  HRESULT LeaveStopped();
  // Decommits the outputs, then ends the workers.
  void HaltStreaming();
  // Starts a worker for each connected output.
  HRESULT StartStreaming();
  // Ends every worker's run, and waits for it; the threads wait for the next
  // run. Whatever holds a worker (a buffer, a Receive) must be let go first,
  // or the worker never comes back.
  HRESULT StopStreaming();
  void MarkStreamsEnding(BOOL ending);
  // BeginFlush or EndFlush downstream of every connected output.
  void FlushOutputs(BOOL begin);
  CStreamWorker* Worker(int stream);
  static HRESULT ActivateIfConnected(COutputPinBase* pin);
  // Decommits every connected output.
  void DeactivateOutputs();
};
