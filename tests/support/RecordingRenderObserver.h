// What a graph test learns from the platform's renderer: how many samples it
// presented, how many of those were marked as a discontinuity, and the bytes
// of the sample it holds while paused. Header only: only graph tests use it.
#pragma once

#include <platform/Rendering.h>

#include <atomic>
#include <mutex>
#include <vector>

class RecordingRenderObserver final : public platform::IRenderObserver {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  // Not counted: it lives on the test's stack; refs must be 0 when the test ends.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  void STDMETHODCALLTYPE OnHold(IMediaSample* sample) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    m_held.assign(bytes, bytes + sample->GetActualDataLength());
  }
  void STDMETHODCALLTYPE OnPresent(IMediaSample* sample, REFERENCE_TIME) override {
    ++presented;
    if (sample->IsDiscontinuity() == S_OK) ++discontinuities;
  }
  void STDMETHODCALLTYPE OnEndOfStream() override {}

  // The bytes of the sample held last.
  std::vector<BYTE> Held() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held;
  }

  std::atomic<ULONG> refs{0};
  std::atomic<int> presented{0};
  std::atomic<int> discontinuities{0};

 private:
  std::mutex m_mutex;
  std::vector<BYTE> m_held;  // guarded by m_mutex
};
