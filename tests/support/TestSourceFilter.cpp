#include "support/TestSourceFilter.h"

TestOutputPin::TestOutputPin(TestFilterBase* owner, LPCWSTR name)
    : COutputPinBase("TestOutputPin", owner, owner->FilterLock(), nullptr, name) {}

HRESULT TestOutputPin::TestMediaType(const CMediaTypeRecord* type) {
  testedTypes.push_back(*type);
  return typeTest ? typeTest(*type) : S_OK;
}

HRESULT TestOutputPin::OfferedMediaType(int index, CMediaTypeRecord* out) {
  if (index < 0 || index >= static_cast<int>(offeredTypes.size())) {
    return VFW_S_NO_MORE_ITEMS;
  }
  *out = offeredTypes[index];
  return S_OK;
}

HRESULT TestOutputPin::PreparePeer(IPin* other) {
  ++preparePeerCalls;
  return COutputPinBase::PreparePeer(other);
}

HRESULT TestOutputPin::ReleasePeer() {
  ++releasePeerCalls;
  return COutputPinBase::ReleasePeer();
}

HRESULT TestOutputPin::FinishConnection(IPin* peer) {
  ++finishCalls;
  HRESULT hr = COutputPinBase::FinishConnection(peer);
  return SUCCEEDED(hr) && finishSuccess ? *finishSuccess : hr;
}

STDMETHODIMP TestOutputPin::EnumMediaTypes(IEnumMediaTypes** enumerator) {
  ++enumMediaTypesCalls;
  return COutputPinBase::EnumMediaTypes(enumerator);
}

HRESULT TestOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  sizeCalls.push_back({allocator, *request});
  if (requestEdit) {
    requestEdit(*request);
  }
  if (FAILED(sizeBuffersResult) && sizeFailures != 0) {
    if (sizeFailures > 0) {
      --sizeFailures;
    }
    return sizeBuffersResult;
  }
  ALLOCATOR_PROPERTIES wanted = *request;
  wanted.cBuffers = wanted.cBuffers > bufferCount ? wanted.cBuffers : bufferCount;
  wanted.cbBuffer = wanted.cbBuffer > bufferSize ? wanted.cbBuffer : bufferSize;
  ALLOCATOR_PROPERTIES actual = {};
  return allocator->SetProperties(&wanted, &actual);
}

HRESULT TestOutputPin::CreateOwnAllocator(IMemAllocator** out) {
  ++createAllocatorCalls;
  if (FAILED(createAllocatorResult)) {
    *out = nullptr;
    return createAllocatorResult;
  }
  return COutputPinBase::CreateOwnAllocator(out);
}

HRESULT TestOutputPin::RunAt(REFERENCE_TIME start) {
  static_cast<TestFilterBase*>(Owner())->RecordCall("RunAt");
  runAtStarts.push_back(start);
  return runAtResult;
}

TestSourceFilter::TestSourceFilter() : TestFilterBase("TestSourceFilter") {
  AddOutput(WIDE("Out"));
}

TestOutputPin* TestSourceFilter::AddOutput(LPCWSTR name) {
  TestOutputPin* pin = new TestOutputPin(this, name);
  AddPin(pin);
  return pin;
}
