// The system memory allocator's state rules and its blocking GetBuffer.
#include <platform/Faults.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "StreamingTestSupport.h"

namespace streaming_test {
namespace {

class MemoryAllocatorTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    allocator = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
    ASSERT_NE(nullptr, allocator.Get());
  }
  void TearDown() override {
    allocator.Reset();
    ComTest::TearDown();
  }

  HRESULT Size(LONG buffers, LONG size, LONG align = 1, LONG prefix = 0) {
    ALLOCATOR_PROPERTIES request{buffers, size, align, prefix};
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(&request, &actual);
  }

  CComHolder<IMediaSample> Take(DWORD flags = 0) {
    CComHolder<IMediaSample> sample;
    EXPECT_EQ(S_OK, allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, flags));
    return sample;
  }

  CComHolder<IMemAllocator> allocator;
};

TEST_F(MemoryAllocatorTest, AnswersOnlyItsOwnInterfaces) {
  CComHolder<IUnknown> unknown;
  EXPECT_EQ(S_OK, allocator->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetVoidAddressOf()));
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, allocator->QueryInterface(IID_IMediaSample, &raw));
  EXPECT_EQ(nullptr, raw);

  CComHolder<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(CLSID_MemoryAllocator, unknown.Get(), CLSCTX_INPROC_SERVER,
                             IID_IUnknown, aggregated.ReleaseAndGetVoidAddressOf()));
}

TEST_F(MemoryAllocatorTest, SetPropertiesValidatesAndReturnsActualValues) {
  ALLOCATOR_PROPERTIES props{};
  EXPECT_EQ(S_OK, allocator->GetProperties(&props));
  EXPECT_EQ(0, props.cBuffers);
  EXPECT_EQ(0, props.cbBuffer);

  ALLOCATOR_PROPERTIES request{2, 100, 16, 4};
  EXPECT_EQ(E_POINTER, allocator->SetProperties(&request, nullptr));
  EXPECT_EQ(E_POINTER, allocator->SetProperties(nullptr, &props));
  EXPECT_EQ(VFW_E_BADALIGN, Size(1, 100, 0));
  EXPECT_EQ(VFW_E_BADALIGN, Size(1, 100, 3));
  EXPECT_EQ(VFW_E_BADALIGN, Size(1, 100, -8));
  EXPECT_EQ(E_INVALIDARG, Size(-1, 100));
  EXPECT_EQ(E_INVALIDARG, Size(1, -100));
  EXPECT_EQ(E_INVALIDARG, Size(1, 100, 1, -4));
  // Padding a buffer up to its alignment must not wrap the 32-bit size.
  EXPECT_EQ(E_INVALIDARG, Size(1, 0x7FFFFFFF, 16));

  ALLOCATOR_PROPERTIES actual{};
  ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
  EXPECT_EQ(2, actual.cBuffers);
  EXPECT_EQ(108, actual.cbBuffer);  // prefix and buffer padded to 112
  EXPECT_EQ(16, actual.cbAlign);
  EXPECT_EQ(4, actual.cbPrefix);
  EXPECT_EQ(S_OK, allocator->GetProperties(&props));
  EXPECT_EQ(108, props.cbBuffer);
}

TEST_F(MemoryAllocatorTest, BuffersAreAlignedAfterTheirPrefixAndDoNotOverlap) {
  ASSERT_EQ(S_OK, Size(3, 100, 32, 8));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> samples[3] = {Take(), Take(), Take()};
  std::vector<uintptr_t> starts;
  for (auto& sample : samples) {
    BYTE* pointer = nullptr;
    ASSERT_EQ(S_OK, sample->GetPointer(&pointer));
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(pointer) % 32);
    EXPECT_GE(sample->GetSize(), 100);
    EXPECT_EQ(sample->GetSize(), sample->GetActualDataLength());
    std::fill(pointer - 8, pointer + sample->GetSize(), BYTE{0xAB});  // prefix is writable
    starts.push_back(reinterpret_cast<uintptr_t>(pointer));
  }
  std::sort(starts.begin(), starts.end());
  for (size_t i = 1; i < starts.size(); ++i) {
    EXPECT_GE(starts[i] - starts[i - 1], uintptr_t{100 + 8});
  }
}

TEST_F(MemoryAllocatorTest, CommitNeedsASize) {
  EXPECT_EQ(VFW_E_SIZENOTSET, allocator->Commit());
  ASSERT_EQ(S_OK, Size(0, 100));
  EXPECT_EQ(VFW_E_SIZENOTSET, allocator->Commit());
  ASSERT_EQ(S_OK, Size(1, 100));
  EXPECT_EQ(S_OK, allocator->Commit());
  EXPECT_EQ(S_OK, allocator->Commit());
}

TEST_F(MemoryAllocatorTest, PropertiesAreFixedWhileCommittedOrWhileSamplesAreOut) {
  ASSERT_EQ(S_OK, Size(2, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  EXPECT_EQ(VFW_E_ALREADY_COMMITTED, Size(4, 64));

  CComHolder<IMediaSample> held = Take();
  ASSERT_EQ(S_OK, allocator->Decommit());
  EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, Size(4, 64));
  held.Reset();
  EXPECT_EQ(S_OK, Size(4, 64));
  ALLOCATOR_PROPERTIES props{};
  ASSERT_EQ(S_OK, allocator->GetProperties(&props));
  EXPECT_EQ(4, props.cBuffers);
}

TEST_F(MemoryAllocatorTest, GetBufferNeedsACommittedAllocatorAndCanRefuseToWait) {
  ASSERT_EQ(S_OK, Size(1, 64));
  IMediaSample* sample = reinterpret_cast<IMediaSample*>(1);
  EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
  EXPECT_EQ(nullptr, sample);
  EXPECT_EQ(E_POINTER, allocator->GetBuffer(nullptr, nullptr, nullptr, 0));

  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> only = Take();
  EXPECT_EQ(VFW_E_TIMEOUT, allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT));
  EXPECT_EQ(nullptr, sample);
}

TEST_F(MemoryAllocatorTest, ASampleComesBackOnItsLastReleaseWithItsPropertiesCleared) {
  ASSERT_EQ(S_OK, Size(1, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> sample = Take();
  IMediaSample* first = sample.Get();
  REFERENCE_TIME start = 10, stop = 20;
  LONGLONG mediaStart = 1, mediaStop = 2;
  ASSERT_EQ(S_OK, sample->SetTime(&start, &stop));
  ASSERT_EQ(S_OK, sample->SetMediaTime(&mediaStart, &mediaStop));
  sample->SetSyncPoint(TRUE);
  sample->SetPreroll(TRUE);
  sample->SetDiscontinuity(TRUE);
  sample->SetActualDataLength(5);
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Audio;
  ASSERT_EQ(S_OK, sample->SetMediaType(&type));

  sample->AddRef();
  EXPECT_EQ(1u, sample->Release());  // not back yet: one reference remains
  IMediaSample* none = nullptr;
  EXPECT_EQ(VFW_E_TIMEOUT, allocator->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT));
  sample.Reset();

  CComHolder<IMediaSample> again = Take();
  ASSERT_EQ(first, again.Get());
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, again->GetTime(&start, &stop));
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, again->GetMediaTime(&mediaStart, &mediaStop));
  EXPECT_EQ(S_FALSE, again->IsSyncPoint());
  EXPECT_EQ(S_FALSE, again->IsPreroll());
  EXPECT_EQ(S_FALSE, again->IsDiscontinuity());
  EXPECT_EQ(again->GetSize(), again->GetActualDataLength());
  AM_MEDIA_TYPE* copy = nullptr;
  EXPECT_EQ(S_FALSE, again->GetMediaType(&copy));
  EXPECT_EQ(nullptr, copy);
}

TEST_F(MemoryAllocatorTest, AnOutstandingSampleKeepsItsAllocatorAlive) {
  ASSERT_EQ(S_OK, Size(1, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> sample = Take();
  allocator.Reset();
  BYTE* pointer = nullptr;
  ASSERT_EQ(S_OK, sample->GetPointer(&pointer));
  pointer[63] = 1;
  // The allocator goes with the sample; the sanitizers check that nothing is touched after.
  EXPECT_EQ(0u, sample.Detach()->Release());
}

TEST_F(MemoryAllocatorTest, DecommitFreesOutstandingSamplesOnlyWhenTheyReturn) {
  ASSERT_EQ(S_OK, Size(2, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> held = Take();
  ASSERT_EQ(S_OK, allocator->Decommit());
  EXPECT_EQ(S_OK, allocator->Decommit());
  IMediaSample* none = nullptr;
  EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(&none, nullptr, nullptr, 0));

  BYTE* pointer = nullptr;
  ASSERT_EQ(S_OK, held->GetPointer(&pointer));
  pointer[0] = 7;  // still valid memory after Decommit

  // Committing again before it returns takes the same buffers back into use.
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> other = Take();
  EXPECT_NE(held.Get(), other.Get());
  EXPECT_EQ(VFW_E_TIMEOUT, allocator->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT));
  held.Reset();
  CComHolder<IMediaSample> returned = Take(AM_GBF_NOWAIT);
  EXPECT_NE(nullptr, returned.Get());
}

TEST_F(MemoryAllocatorTest, ReleaseBufferTakesOnlyItsOwnOutstandingSamples) {
  ASSERT_EQ(S_OK, Size(1, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  EXPECT_EQ(E_POINTER, allocator->ReleaseBuffer(nullptr));

  auto other = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
  ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
  ASSERT_EQ(S_OK, other->SetProperties(&request, &actual));
  ASSERT_EQ(S_OK, other->Commit());
  CComHolder<IMediaSample> foreign;
  ASSERT_EQ(S_OK, other->GetBuffer(foreign.ReleaseAndGetAddressOf(), nullptr, nullptr, 0));
  EXPECT_EQ(E_INVALIDARG, allocator->ReleaseBuffer(foreign.Get()));
}

TEST_F(MemoryAllocatorTest, CommitReportsOutOfMemoryAndCanBeRetried) {
  ASSERT_EQ(S_OK, Size(4, 4096));
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(E_OUTOFMEMORY, allocator->Commit());
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 3);  // a sample object
  EXPECT_EQ(E_OUTOFMEMORY, allocator->Commit());
  platform::ResetAllocationFaults();
  IMediaSample* none = nullptr;
  EXPECT_EQ(VFW_E_NOT_COMMITTED, allocator->GetBuffer(&none, nullptr, nullptr, 0));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> samples[4] = {Take(), Take(), Take(), Take()};
  for (auto& sample : samples) EXPECT_NE(nullptr, sample.Get());
}

TEST_F(MemoryAllocatorTest, ABlockedGetBufferWakesWhenASampleIsReleased) {
  ASSERT_EQ(S_OK, Size(1, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> held = Take();
  std::atomic<bool> released{false};
  HRESULT waited = E_FAIL;
  bool releasedFirst = false;
  std::thread waiter([&] {
    IMediaSample* sample = nullptr;
    waited = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    releasedFirst = released.load();
    if (sample) sample->Release();
  });
  released = true;
  held.Reset();
  waiter.join();
  EXPECT_EQ(S_OK, waited);
  EXPECT_TRUE(releasedFirst);
}

TEST_F(MemoryAllocatorTest, DecommitWakesABlockedGetBuffer) {
  ASSERT_EQ(S_OK, Size(1, 64));
  ASSERT_EQ(S_OK, allocator->Commit());
  CComHolder<IMediaSample> held = Take();
  HRESULT waited = S_OK;
  IMediaSample* got = reinterpret_cast<IMediaSample*>(1);
  std::thread waiter([&] { waited = allocator->GetBuffer(&got, nullptr, nullptr, 0); });
  ASSERT_EQ(S_OK, allocator->Decommit());
  waiter.join();
  EXPECT_EQ(VFW_E_NOT_COMMITTED, waited);
  EXPECT_EQ(nullptr, got);
}

TEST_F(MemoryAllocatorTest, ManyThreadsShareFewBuffersWithoutLosingAny) {
  ASSERT_EQ(S_OK, Size(2, 256));
  ASSERT_EQ(S_OK, allocator->Commit());
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        IMediaSample* sample = nullptr;
        if (allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK) return;
        BYTE* pointer = nullptr;
        sample->GetPointer(&pointer);
        pointer[0] = static_cast<BYTE>(t);
        REFERENCE_TIME start = i;
        sample->SetTime(&start, nullptr);
        sample->SetActualDataLength(1);
        ++taken;
        sample->Release();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(kThreads * kRounds, taken.load());
  ASSERT_EQ(S_OK, allocator->Decommit());
  EXPECT_EQ(S_OK, Size(2, 256));  // nothing is still out
}

}  // namespace
}  // namespace streaming_test
