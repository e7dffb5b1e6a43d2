// A source filter for tests: one output pin "Out" (more can be added) whose
// offered types, type test, buffer sizing and allocator creation a test sets,
// and which records every hook the connection protocol calls.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "Platform.h"
#include "com/CMediaTypeRecord.h"
#include "framework/COutputPinBase.h"
#include "support/TestFilterBase.h"

class TestOutputPin : public COutputPinBase {
 public:
  TestOutputPin(TestFilterBase* owner, LPCWSTR name);

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT OfferedMediaType(int index, CMediaTypeRecord* out) override;
  HRESULT PreparePeer(IPin* other) override;
  HRESULT ReleasePeer() override;
  HRESULT FinishConnection(IPin* peer) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT CreateOwnAllocator(IMemAllocator** out) override;
  HRESULT RunAt(REFERENCE_TIME start) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** enumerator) override;

  // Configuration; set before connecting.
  std::vector<CMediaTypeRecord> offeredTypes;
  // The answer of TestMediaType; accepts everything when empty.
  std::function<HRESULT(const AM_MEDIA_TYPE&)> typeTest;
  // SizeBuffers fails with sizeBuffersResult for its first sizeFailures
  // calls (every call when negative).
  HRESULT sizeBuffersResult = S_OK;
  int sizeFailures = -1;
  // Applied to the request record before the allocator is sized, to show
  // which record a later call sees.
  std::function<void(ALLOCATOR_PROPERTIES&)> requestEdit;
  LONG bufferCount = 1;
  LONG bufferSize = 4096;
  HRESULT createAllocatorResult = S_OK;  // a failure replaces the system allocator
  HRESULT runAtResult = S_OK;
  // Replaces the result of a successful FinishConnection when set.
  std::optional<HRESULT> finishSuccess;

  // What happened.
  struct SizeCall {
    IMemAllocator* allocator;  // not counted: identity only
    ALLOCATOR_PROPERTIES request;
  };
  std::vector<CMediaTypeRecord> testedTypes;
  std::vector<SizeCall> sizeCalls;
  int preparePeerCalls = 0;
  int releasePeerCalls = 0;
  int finishCalls = 0;
  int createAllocatorCalls = 0;
  int enumMediaTypesCalls = 0;
  std::vector<REFERENCE_TIME> runAtStarts;

  IMemAllocator* Allocator() const { return m_allocator.Get(); }
  IMemInputPin* PeerInput() const { return m_peerInput.Get(); }
  const CMediaTypeRecord& ConnectionType() const { return m_connectionType; }
  REFERENCE_TIME SegmentStart() const { return m_segmentStart; }
  void SetTypeVersion(LONG version) { m_typeVersion = version; }
  using COutputPinBase::NegotiateAllocator;
};

class TestSourceFilter : public TestFilterBase {
 public:
  TestSourceFilter();

  TestOutputPin* Output(int index = 0) { return static_cast<TestOutputPin*>(PinAt(index)); }
  TestOutputPin* AddOutput(LPCWSTR name);
};
