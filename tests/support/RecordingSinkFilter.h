// A sink filter for tests: one input pin "In" that records what it receives
// and which allocator it was given, and that can refuse samples or hold them
// until the test lets them go. Further pins may be added (TestFilterBase).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "Platform.h"
#include "com/CMediaTypeRecord.h"
#include "framework/CInputPinBase.h"
#include "support/TestFilterBase.h"

struct ReceivedSample {
  HRESULT timeResult;
  REFERENCE_TIME start;
  REFERENCE_TIME stop;
  bool syncPoint;
  bool discontinuity;
  std::vector<BYTE> bytes;
};

class RecordingInputPin : public CInputPinBase {
 public:
  RecordingInputPin(TestFilterBase* owner, LPCWSTR name);
  ~RecordingInputPin() override { DropKept(); }

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT OfferedMediaType(int index, CMediaTypeRecord* out) override;
  HRESULT PreparePeer(IPin* other) override;
  HRESULT ReleasePeer() override;
  HRESULT FinishConnection(IPin* peer) override;

  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveCanBlock() override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** enumerator) override;

  // Configuration; set before connecting or streaming.
  std::vector<CMediaTypeRecord> offeredTypes;
  std::function<HRESULT(const AM_MEDIA_TYPE&)> typeTest;  // accepts everything when empty
  HRESULT finishResult = S_OK;
  HRESULT getAllocatorResult = S_OK;  // a failure refuses to hand out an allocator
  // The answer to each allocator offered; accepts every one when empty.
  std::function<HRESULT(IMemAllocator*)> notifyAllocatorAnswer;
  std::optional<ALLOCATOR_PROPERTIES> requirements;  // E_NOTIMPL when absent
  // Handed out by GetAllocator instead of the pin's own when set; not
  // counted: the test keeps it alive while the pin may hand it out.
  IMemAllocator* offeredAllocator = nullptr;
  std::optional<HRESULT> canBlockAnswer;  // the base's answer when absent
  // Called as every Receive and EndOfStream returns, outside the pin's lock,
  // so that a test can wait for progress spread over several sinks.
  std::function<void()> onProgress;

  // Samples that pass the base checks: refused with this result when set,
  // held until ReleaseHeld (or a flush) when holding.
  void RefuseSamples(HRESULT result);
  void HoldSamples(bool hold);
  void ReleaseHeld();
  // Keeps a reference on every sample received until DropKept, as a
  // renderer keeps the frame on screen.
  void KeepSamples(bool keep);
  void DropKept();
  // Returns once a Receive is held.
  void WaitUntilHeld();
  // Returns once count samples have been recorded.
  void WaitForReceived(size_t count);

  // What happened. The accessors lock: samples arrive on other threads.
  std::vector<ReceivedSample> Received();
  std::vector<HRESULT> ReceiveResults();
  int EndOfStreamCount();
  std::vector<CMediaTypeRecord> testedTypes;
  std::vector<IMemAllocator*> notifiedAllocators;  // not counted: identity only
  std::vector<BOOL> notifiedReadOnly;
  int getAllocatorCalls = 0;
  int preparePeerCalls = 0;
  int releasePeerCalls = 0;
  int enumMediaTypesCalls = 0;

  IMemAllocator* Allocator() const { return m_allocator.Get(); }
  bool Flushing() const { return m_flushing; }
  bool RuntimeError() const { return m_runtimeError; }
  const AM_SAMPLE2_PROPERTIES& LastSampleProperties() const { return m_lastSampleProps; }
  void SetTypeVersion(LONG version) { m_typeVersion = version; }
  REFERENCE_TIME SegmentStart() const { return m_segmentStart; }
  REFERENCE_TIME SegmentStop() const { return m_segmentStop; }
  double SegmentRate() const { return m_segmentRate; }

 private:
  HRESULT ReceiveAndRecord(IMediaSample* sample);

  std::mutex m_recordLock;
  std::condition_variable m_changed;
  std::vector<ReceivedSample> m_received;
  std::vector<HRESULT> m_receiveResults;
  int m_endOfStreamCount = 0;
  HRESULT m_refusal = S_OK;
  bool m_hold = false;
  int m_held = 0;
  int m_releases = 0;
  bool m_keep = false;
  std::vector<IMediaSample*> m_kept;  // counted
};

class RecordingSinkFilter : public TestFilterBase {
 public:
  RecordingSinkFilter();

  RecordingInputPin* Input() { return static_cast<RecordingInputPin*>(PinAt(0)); }
};
