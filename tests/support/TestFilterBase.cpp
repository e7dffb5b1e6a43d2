#include "support/TestFilterBase.h"

#include "runtime/CAutoLock.h"

const CLSID CLSID_TessalyTestFilter = {
    0x7d0c3a51, 0x2b6e, 0x4f1a, {0x9c, 0x44, 0x1e, 0x52, 0x7a, 0x90, 0x3b, 0x61}};

namespace {
// The constructor of the base needs the lock before this class's members
// exist, so the lock is set up on the way in.
CRITICAL_SECTION* Initialized(CRITICAL_SECTION* lock) {
  InitializeCriticalSection(lock);
  return lock;
}
}  // namespace

TestFilterBase::TestFilterBase(const char* objectName)
    : CFilterBase(objectName, nullptr, Initialized(&m_lock), CLSID_TessalyTestFilter) {}

TestFilterBase::~TestFilterBase() {
  for (CPinBase* pin : m_pins) {
    delete pin;
  }
  DeleteCriticalSection(&m_lock);
}

void TestFilterBase::AddPin(CPinBase* pin) {
  CAutoLock lock(&m_lock);
  m_pins.push_back(pin);
}

int TestFilterBase::PinCount() {
  CAutoLock lock(&m_lock);
  return m_reportedCount >= 0 ? m_reportedCount : static_cast<int>(m_pins.size());
}

CPinBase* TestFilterBase::PinAt(int index) {
  CAutoLock lock(&m_lock);
  if (index < 0 || index >= static_cast<int>(m_pins.size()) || index == m_hiddenIndex) {
    return nullptr;
  }
  return m_pins[index];
}

LONG TestFilterBase::PinListVersion() { return m_version; }

STDMETHODIMP TestFilterBase::Pause() {
  CAutoLock lock(&m_lock);
  RecordCall("Pause");
  if (FAILED(m_pauseResult)) {
    return m_pauseResult;
  }
  if (m_state == State_Stopped) {
    for (CPinBase* pin : m_pins) {
      if (pin->IsConnected()) {
        pin->Activate();
      }
    }
  }
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP TestFilterBase::Stop() {
  CAutoLock lock(&m_lock);
  RecordCall("Stop");
  for (CPinBase* pin : m_pins) {
    if (pin->IsConnected()) {
      pin->Deactivate();
    }
  }
  m_state = State_Stopped;
  return S_OK;
}

LONG TestFilterBase::ReferenceCount() {
  AddRef();
  return static_cast<LONG>(Release());
}

std::vector<std::string> TestFilterBase::Calls() {
  std::lock_guard<std::mutex> guard(m_callsLock);
  return m_calls;
}

void TestFilterBase::RecordCall(const std::string& call) {
  std::lock_guard<std::mutex> guard(m_callsLock);
  m_calls.push_back(call);
}

int TestFilterBase::IndexOf(CPinBase* pin) {
  CAutoLock lock(&m_lock);
  for (size_t i = 0; i < m_pins.size(); ++i) {
    if (m_pins[i] == pin) {
      return static_cast<int>(i);
    }
  }
  return -1;
}
