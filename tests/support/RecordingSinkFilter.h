// A sink filter for tests: one input pin "In" that records what it receives
// and which allocator it was given, and that can refuse samples, hold them
// until the test lets them go, or keep them as a renderer keeps its frame.
// Further pins may be added (TestFilterBase).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform.h"
#include "com/CComHolder.h"
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
  HRESULT answer;  // what Receive returned
  HRESULT mediaTimeResult;
  LONGLONG mediaStart;
  LONGLONG mediaStop;
  bool preroll;
  bool typeChanged;
  int flushes;   // flushes that had ended (EndFlush) when the sample came
  DWORD thread;  // the delivering thread
};

class RecordingInputPin : public CInputPinBase {
 public:
  // result reports a pin that could not be built (its name, under memory faults).
  RecordingInputPin(TestFilterBase* owner, LPCWSTR name, HRESULT* result = nullptr);
  ~RecordingInputPin() override { DropKept(); }

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT OfferedMediaType(int index, CMediaTypeRecord* out) override;
  HRESULT PreparePeer(IPin* other) override;
  HRESULT ReleasePeer() override;
  HRESULT FinishConnection(IPin* peer) override;

  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
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
  // Handed out by GetAllocator instead of the pin's own when set. Counted.
  CComHolder<IMemAllocator> offeredAllocator;
  // The answer to each allocator offered; accepts every one when empty.
  std::function<HRESULT(IMemAllocator*)> notifyAllocatorAnswer;
  std::optional<ALLOCATOR_PROPERTIES> requirements;  // E_NOTIMPL when absent
  std::optional<HRESULT> canBlockAnswer;             // the base's answer when absent
  // The answer to each sample the base checks let through, asked outside
  // the pin's lock before the sample is recorded; takes every one when empty.
  std::function<HRESULT(IMediaSample*)> sampleAnswer;
  // Called as every Receive and EndOfStream returns, outside the pin's lock,
  // so that a test can wait for progress spread over several sinks.
  std::function<void()> onProgress;

  // Samples that pass the base checks: refused with this result when set,
  // held until ReleaseHeld (or a flush) when holding.
  void RefuseSamples(HRESULT result);
  // The Receive call with this number (from 0) answers result.
  void RefuseReceive(int index, HRESULT result);
  void HoldSamples(bool hold);
  void ReleaseHeld();
  // Keeps a reference on every sample taken until DropKept or a flush, as a
  // renderer keeps the frame on screen, so that the sender may run out of
  // free buffers.
  void KeepSamples(bool keep);
  // Kept samples survive a flush too, as a renderer that keeps its frame on
  // screen through a seek would keep them.
  void KeepThroughFlush(bool keep);
  void DropKept();
  // A slow flush: BeginFlush waits on its way in until ReleaseFlush.
  void HoldBeginFlush();
  void ReleaseFlush();

  // The waits return true once it happened. Their bound is far beyond any
  // passing run, so a slow machine never fails one; past it the test fails
  // with a message naming what never arrived, and they return false.
  bool WaitUntilHeld();
  bool WaitUntilFlushHeld();
  // Until count samples have been taken.
  bool WaitForReceived(size_t count);
  // Until count Receive calls with a sample or an end of stream, whichever comes first.
  bool WaitForReceives(size_t count);
  bool WaitForEndOfStream(int count = 1);

  // What happened. The accessors lock: samples arrive on other threads.
  std::vector<ReceivedSample> Received();  // the samples taken
  std::vector<ReceivedSample> Records();   // every Receive with a sample, taken or not
  std::vector<HRESULT> ReceiveResults();   // every Receive's answer
  int ReceiveCount();
  int EndOfStreamCount();
  // For each end of stream, the flushes that had ended when it came.
  std::vector<int> EndOfStreamFlushes();
  int FlushCount();
  // Forgets the samples, answers and end-of-stream calls recorded so far.
  void ClearRecords();
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
  HRESULT Record(IMediaSample* sample, HRESULT hr);
  // Waits under guard until done; past the bound the test fails with
  // missing(), the words for what never came.
  template <typename Done, typename Missing>
  bool WaitFor(std::unique_lock<std::mutex>& guard, Done done, Missing missing) {
    if (m_changed.wait_for(guard, std::chrono::minutes(1), done)) {
      return true;
    }
    NeverArrived(std::string(missing()) + " on " + m_description + " within a minute");
    return false;
  }
  static void NeverArrived(const std::string& what);

  std::string m_description;  // the pin's name and its peer's, for failures
  std::mutex m_recordLock;
  std::condition_variable m_changed;
  std::vector<ReceivedSample> m_records;
  std::vector<HRESULT> m_receiveResults;
  size_t m_taken = 0;
  int m_endOfStreamCount = 0;
  std::vector<int> m_endOfStreamFlushes;
  int m_flushes = 0;
  HRESULT m_refusal = S_OK;
  std::map<int, HRESULT> m_refusals;  // by Receive call number
  bool m_hold = false;
  int m_held = 0;
  int m_releases = 0;
  bool m_keep = false;
  bool m_keepThroughFlush = false;
  std::vector<IMediaSample*> m_kept;  // counted
  bool m_holdFlush = false;
  bool m_flushHeld = false;
};

class RecordingSinkFilter : public TestFilterBase {
 public:
  explicit RecordingSinkFilter(HRESULT* result = nullptr);

  RecordingInputPin* Input() { return static_cast<RecordingInputPin*>(PinAt(0)); }
};
