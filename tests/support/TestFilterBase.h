// A concrete filter on the framework for tests: it owns a list of pins,
// implements Pause and Stop by activating and deactivating its connected
// pins, and lets a test change its pin-list version or hide a pin.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Platform.h"
#include "framework/CFilterBase.h"
#include "framework/CPinBase.h"

extern const CLSID CLSID_TessalyTestFilter;

class TestFilterBase : public CFilterBase {
 public:
  explicit TestFilterBase(const char* objectName);
  ~TestFilterBase() override;

  // Pins are owned by the filter and deleted with it.
  void AddPin(CPinBase* pin);

  int PinCount() override;
  CPinBase* PinAt(int index) override;
  LONG PinListVersion() override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // A filter without setup data has nothing to register.
  STDMETHODIMP Register() override { return S_FALSE; }
  STDMETHODIMP Unregister() override { return S_FALSE; }

  CRITICAL_SECTION* FilterLock() { return &m_lock; }
  LONG ReferenceCount();

  // Test controls.
  void SetPinListVersion(LONG version) { m_version = version; }
  void SetReportedPinCount(int count) { m_reportedCount = count; }  // -1: the real count
  void HidePin(int index) { m_hiddenIndex = index; }                // PinAt gives null there
  void FailPause(HRESULT hr) { m_pauseResult = hr; }

  // "Pause", "Stop", "RunAt:<pin index>", in call order.
  std::vector<std::string> Calls();
  void RecordCall(const std::string& call);
  int IndexOf(CPinBase* pin);

 private:
  CRITICAL_SECTION m_lock;
  std::vector<CPinBase*> m_pins;  // owned
  LONG m_version = 1;
  int m_reportedCount = -1;
  int m_hiddenIndex = -1;
  HRESULT m_pauseResult = S_OK;
  std::mutex m_callsLock;
  std::vector<std::string> m_calls;
};
