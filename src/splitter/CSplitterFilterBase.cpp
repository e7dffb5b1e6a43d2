#include "splitter/CSplitterFilterBase.h"

#include "framework/COutputPinBase.h"
#include "runtime/CAutoLock.h"
#include "splitter/CSplitterInputPin.h"

CSplitterFilterBase::CSplitterFilterBase(const char* objectName, IUnknown* outer,
                                         CRITICAL_SECTION* filterLock, REFCLSID classId)
    : CFilterBase(objectName, outer, filterLock, classId),
      CWorkerThread(),
      m_inputPin(nullptr),
      m_audioPin(nullptr),
      m_videoPin(nullptr) {
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
    DeactivateIfConnected(m_audioPin);
    DeactivateIfConnected(m_videoPin);
  }
  return hr;
}

STDMETHODIMP CSplitterFilterBase::Stop() {
  CAutoLock state(&m_stateLock);
  if (m_state == State_Stopped) {
    return S_OK;
  }
  // Not under the stream lock: the worker may need it to finish its row.
  StopStreaming();
  if (m_inputPin != nullptr) {
    m_inputPin->Deactivate();
  }
  CAutoLock stream(&m_streamLock);
  DeactivateIfConnected(m_audioPin);
  DeactivateIfConnected(m_videoPin);
  m_state = State_Stopped;
  return S_OK;
}

HRESULT CSplitterFilterBase::StartStreaming() {
  CAutoLock access(AccessLock());
  if (m_inputPin == nullptr) {
    return E_UNEXPECTED;
  }
  if (!ThreadExists() && !StartThread()) {
    return E_FAIL;
  }
  return SendCommand(CMD_STREAM);
}

HRESULT CSplitterFilterBase::StopStreaming() {
  {
    CAutoLock access(AccessLock());
    if (!ThreadExists()) {
      return S_FALSE;
    }
  }
  // The access lock is not held across the flush marks: the pin's lock is
  // the filter lock, which Run holds outside the state and access locks.
  IPin* input = static_cast<IPin*>(m_inputPin);
  if (input != nullptr) {
    HRESULT hr = input->BeginFlush();
    if (FAILED(hr)) {
      return hr;
    }
  }
  SendCommand(CMD_EXIT);
  if (input != nullptr) {
    input->EndFlush();
  }
  JoinThread();
  return S_OK;
}

DWORD CSplitterFilterBase::WorkerMain() {
  for (;;) {
    DWORD command = WaitCommand();
    ReplyCommand(0);
    if (command == CMD_EXIT) {
      return 0;
    }
    if (command == CMD_STREAM) {
      StreamSamples();
    }
  }
}

HRESULT CSplitterFilterBase::SignalEndOfStream() {
  if (m_audioPin != nullptr && m_audioPin->IsConnected()) {
    m_audioPin->SendEndOfStream();
  }
  if (m_videoPin != nullptr && m_videoPin->IsConnected()) {
    m_videoPin->SendEndOfStream();
  }
  return S_OK;
}

void CSplitterFilterBase::EndWorker() {
  if (!ThreadExists()) {
    return;
  }
  // A worker waiting for a buffer that downstream never gives back returns
  // from GetBuffer once the allocator is decommitted.
  DeactivateIfConnected(m_audioPin);
  DeactivateIfConnected(m_videoPin);
  StopStreaming();
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
