#include "splitter/CSplitterFilterBase.h"

#include <initializer_list>

#include "framework/COutputPinBase.h"
#include "runtime/CAutoLock.h"
#include "splitter/CSplitterInputPin.h"

CSplitterFilterBase::CSplitterFilterBase(const char* objectName, IUnknown* outer,
                                         CRITICAL_SECTION* filterLock, REFCLSID classId)
    : CFilterBase(objectName, outer, filterLock, classId),
      m_inputPin(nullptr),
      m_outputPins{},
      m_workers{{this, 0}, {this, 1}} {
  InitializeCriticalSection(&m_stateLock);
  InitializeCriticalSection(&m_streamLock);
}

CSplitterFilterBase::~CSplitterFilterBase() {
  EndWorker();
  DeletePins();
  DeleteCriticalSection(&m_streamLock);
  DeleteCriticalSection(&m_stateLock);
}

void CSplitterFilterBase::DeletePins() {
  delete m_inputPin;
  m_inputPin = nullptr;
  for (COutputPinBase*& pin : m_outputPins) {
    delete pin;
    pin = nullptr;
  }
  CPointerList::Position position = m_retiredPins.FirstPosition();
  while (position != nullptr) {
    delete static_cast<COutputPinBase*>(m_retiredPins.NextObject(position));
  }
  m_retiredPins.Clear();
}

COutputPinBase* CSplitterFilterBase::OutputPin(int stream) const { return m_outputPins[stream]; }

CStreamWorker* CSplitterFilterBase::Worker(int stream) { return &m_workers[stream]; }

HRESULT CSplitterFilterBase::ActivateIfConnected(COutputPinBase* pin) {
  if (pin != nullptr && pin->IsConnected()) {
    return pin->Activate();
  }
  return S_OK;
}

void CSplitterFilterBase::DeactivateOutputs() {
  for (COutputPinBase* pin : m_outputPins) {
    if (pin != nullptr && pin->IsConnected()) {
      pin->Deactivate();
    }
  }
}

STDMETHODIMP CSplitterFilterBase::Pause() {
  CAutoLock state(&m_stateLock);
  StateChanging();
  if (m_state == State_Stopped) {
    HRESULT hr = LeaveStopped();
    if (FAILED(hr)) {
      return hr;
    }
  }
  m_state = State_Paused;
  return S_OK;
}

HRESULT CSplitterFilterBase::LeaveStopped() {
  HRESULT hr = S_OK;
  for (int stream = 0; stream < kStreamCount && SUCCEEDED(hr); ++stream) {
    hr = ActivateIfConnected(m_outputPins[stream]);
  }
  if (SUCCEEDED(hr)) {
    CAutoLock stream(&m_streamLock);
    // Without a connected input there is no stream description to walk.
    if (m_inputPin != nullptr && m_inputPin->IsConnected()) {
      Activating();
      PlaceRuns();
      hr = m_inputPin->Activate();
      if (SUCCEEDED(hr)) {
        hr = StartStreaming();
      }
      if (FAILED(hr)) {
        m_inputPin->Deactivate();
      }
    }
  }
  if (FAILED(hr)) {
    HaltStreaming();
  }
  return hr;
}

STDMETHODIMP CSplitterFilterBase::Run(REFERENCE_TIME start) {
  CAutoLock state(&m_stateLock);
  StateChanging();
  return CFilterBase::Run(start);
}

STDMETHODIMP CSplitterFilterBase::Stop() {
  CAutoLock state(&m_stateLock);
  StateChanging();
  if (m_state == State_Stopped) {
    return S_OK;
  }
  HaltStreaming();
  if (m_inputPin != nullptr) {
    m_inputPin->Deactivate();
  }
  m_state = State_Stopped;
  return S_OK;
}

void CSplitterFilterBase::HaltStreaming() {
  MarkStreamsEnding(TRUE);
  {
    // A worker waiting in GetBuffer for a buffer that a downstream filter
    // still holds returns once its allocator is decommitted.
    CAutoLock stream(&m_streamLock);
    DeactivateOutputs();
  }
  // Not under the stream lock: Stop never waits for a worker while holding it.
  StopStreaming();
  MarkStreamsEnding(FALSE);
}

void CSplitterFilterBase::MarkStreamsEnding(BOOL ending) {
  // The input's flush mark is atomic, so that each worker reads it between
  // rows without a lock.
  IPin* input = static_cast<IPin*>(m_inputPin);
  if (input == nullptr) {
    return;
  }
  if (ending) {
    input->BeginFlush();
  } else {
    input->EndFlush();
  }
}

BOOL CSplitterFilterBase::StreamsEnding() const {
  return m_inputPin != nullptr && m_inputPin->IsFlushing() ? TRUE : FALSE;
}

HRESULT CSplitterFilterBase::StartStreaming() {
  if (m_inputPin == nullptr) {
    return E_UNEXPECTED;
  }
  // Every thread exists before any streams: a thread created while another
  // already streams may wait a whole time slice for a processor.
  for (BOOL streaming : {FALSE, TRUE}) {
    for (int stream = 0; stream < kStreamCount; ++stream) {
      COutputPinBase* pin = OutputPin(stream);
      if (pin == nullptr || !pin->IsConnected()) {
        continue;
      }
      HRESULT hr = streaming ? Worker(stream)->Start() : Worker(stream)->Prepare();
      if (FAILED(hr)) {
        return hr;
      }
    }
  }
  return S_OK;
}

HRESULT CSplitterFilterBase::StopStreaming() {
  // The threads stay: one started anew for every run may wait a whole time
  // slice behind the other stream's thread for a processor.
  HRESULT hr = S_FALSE;
  for (CStreamWorker& worker : m_workers) {
    if (worker.Idle() != S_FALSE) {
      hr = S_OK;
    }
  }
  return hr;
}

void CSplitterFilterBase::SuspendStreaming() {
  if (m_state == State_Stopped) {
    return;
  }
  // Downstream lets go of what it holds and refuses what is on its way, and
  // the decommit wakes a worker waiting for a buffer that downstream keeps
  // through the flush: every worker comes back from GetBuffer or Receive.
  MarkStreamsEnding(TRUE);
  FlushOutputs(TRUE);
  {
    CAutoLock stream(&m_streamLock);
    DeactivateOutputs();
  }
  StopStreaming();
}

HRESULT CSplitterFilterBase::ResumeStreaming() {
  if (m_state == State_Stopped) {
    return S_OK;
  }
  {
    CAutoLock stream(&m_streamLock);
    PlaceRuns();
  }
  // Once EndFlush has gone out, no sample of the old place may follow: the
  // workers ended their runs before it.
  FlushOutputs(FALSE);
  // Every output is committed again, whatever the first one answered.
  HRESULT hr = S_OK;
  for (COutputPinBase* pin : m_outputPins) {
    const HRESULT activated = ActivateIfConnected(pin);
    hr = FAILED(hr) ? hr : activated;
  }
  MarkStreamsEnding(FALSE);
  // An output that could not commit drops its rows; the other still plays.
  HRESULT started = StartStreaming();
  return FAILED(hr) ? hr : started;
}

void CSplitterFilterBase::FlushOutputs(BOOL begin) {
  for (COutputPinBase* pin : m_outputPins) {
    if (pin == nullptr || !pin->IsConnected()) {
      continue;
    }
    if (begin) {
      pin->SendBeginFlush();
    } else {
      pin->SendEndFlush();
    }
  }
}

HRESULT CSplitterFilterBase::SignalEndOfStream(int stream) {
  COutputPinBase* pin = OutputPin(stream);
  if (pin != nullptr && pin->IsConnected()) {
    pin->SendEndOfStream();
  }
  return S_OK;
}

void CSplitterFilterBase::EndWorker() {
  HaltStreaming();
  for (CStreamWorker& worker : m_workers) {
    worker.Exit();
  }
}

BOOL CSplitterFilterBase::AnyOutputConnected() const {
  for (const COutputPinBase* pin : m_outputPins) {
    if (pin != nullptr && pin->IsConnected()) {
      return TRUE;
    }
  }
  return FALSE;
}

HRESULT CSplitterFilterBase::RetireOutputPins() {
  for (COutputPinBase*& pin : m_outputPins) {
    if (pin == nullptr) {
      continue;
    }
    if (m_retiredPins.Append(pin) == nullptr) {
      return E_OUTOFMEMORY;
    }
    pin = nullptr;
  }
  return S_OK;
}
