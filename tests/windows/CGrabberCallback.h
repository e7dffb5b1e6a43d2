// Records what a Sample Grabber sees: the bytes and times of every sample, in
// arrival order, and an event set by the first one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "SampleGrabber.h"

struct GrabbedSample {
  bool hasTimes = false;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool preroll = false;
  std::vector<uint8_t> bytes;  // the sample's actual data
};

class CGrabberCallback final : public ISampleGrabberCB {
 public:
  CGrabberCallback();
  ~CGrabberCallback();
  CGrabberCallback(const CGrabberCallback&) = delete;
  CGrabberCallback& operator=(const CGrabberCallback&) = delete;

  // IUnknown: the callback lives on the stack of its user, who outlives the
  // grabber's references, so counts are not kept.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // ISampleGrabberCB
  HRESULT STDMETHODCALLTYPE SampleCB(double sampleTime, IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE BufferCB(double sampleTime, BYTE* buffer, LONG length) override;

  // TRUE once a sample came, waiting at most timeoutMs for the first.
  bool WaitForFirst(DWORD timeoutMs);
  size_t Count();
  std::vector<GrabbedSample> Take();
  // A copy of what came since the last Take, which stays.
  std::vector<GrabbedSample> Peek();

 private:
  CRITICAL_SECTION m_lock;
  HANDLE m_first;                        // owned: manual-reset, set by the first sample
  std::vector<GrabbedSample> m_samples;  // guarded by m_lock
};
