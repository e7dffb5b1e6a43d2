#include "splitter/CSplitterFilterBase.h"

#include <initializer_list>

#include "framework/COutputPinBase.h"
#include "runtime/CAutoLock.h"
#include "splitter/CSplitterInputPin.h"

CSplitterFilterBase::CSplitterFilterBase(const char* objectName, IUnknown* outer,
                                         CRITICAL_SECTION* filterLock, REFCLSID classId)
    : CFilterBase(objectName, outer, filterLock, classId),
      m_inputPin(nullptr),
      m_audioPin(nullptr),
      m_videoPin(nullptr),
      m_audioWorker(this, kAudioStream),
      m_videoWorker(this, kVideoStream) {
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
  delete m_audioPin;
  m_audioPin = nullptr;
  delete m_videoPin;
  m_videoPin = nullptr;
  CPointerList::Position position = m_retiredPins.FirstPosition();
  while (position != nullptr) {
    delete static_cast<COutputPinBase*>(m_retiredPins.NextObject(position));
  }
  m_retiredPins.Clear();
}

COutputPinBase* CSplitterFilterBase::OutputPin(int stream) const {
  return stream == kAudioStream ? m_audioPin : m_videoPin;
}

CStreamWorker* CSplitterFilterBase::Worker(int stream) {
  return stream == kAudioStream ? &m_audioWorker : &m_videoWorker;
}

HRESULT CSplitterFilterBase::ActivateIfConnected(COutputPinBase* pin) {
  if (pin != nullptr && pin->IsConnected()) {
    return pin->Activate();
  }
  return S_OK;
}

void CSplitterFilterBase::DeactivateIfConnected(COutputPinBase* pin) {
  if (pin != nullptr && pin->IsConnected()) {
    pin->Deactivate();
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
  HRESULT hr = ActivateIfConnected(m_audioPin);
  if (SUCCEEDED(hr)) {
    hr = ActivateIfConnected(m_videoPin);
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
    DeactivateIfConnected(m_audioPin);
    DeactivateIfConnected(m_videoPin);
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
  HRESULT audio = m_audioWorker.Idle();
  HRESULT video = m_videoWorker.Idle();
  return audio == S_FALSE && video == S_FALSE ? S_FALSE : S_OK;
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
    DeactivateIfConnected(m_audioPin);
    DeactivateIfConnected(m_videoPin);
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
  HRESULT hr = ActivateIfConnected(m_audioPin);
  HRESULT video = ActivateIfConnected(m_videoPin);
  hr = FAILED(hr) ? hr : video;
  MarkStreamsEnding(FALSE);
  // An output that could not commit drops its rows; the other still plays.
  HRESULT started = StartStreaming();
  return FAILED(hr) ? hr : started;
}

void CSplitterFilterBase::FlushOutputs(BOOL begin) {
  for (COutputPinBase* pin : {m_audioPin, m_videoPin}) {
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
  m_audioWorker.Exit();
  m_videoWorker.Exit();
}

BOOL CSplitterFilterBase::AnyOutputConnected() const {
  return (m_audioPin != nullptr && m_audioPin->IsConnected()) ||
                 (m_videoPin != nullptr && m_videoPin->IsConnected())
             ? TRUE
             : FALSE;
}

HRESULT CSplitterFilterBase::RetireOutputPins() {
  COutputPinBase* pins[] = {m_audioPin, m_videoPin};
  for (COutputPinBase* pin : pins) {
    if (pin == nullptr) {
      continue;
    }
    if (m_retiredPins.Append(pin) == nullptr) {
      return E_OUTOFMEMORY;
    }
    if (pin == m_audioPin) {
      m_audioPin = nullptr;
    } else {
      m_videoPin = nullptr;
    }
  }
  return S_OK;
}
