// The allocator's states, its free list, waiting callers and its memory.
#include <platform/BlockedWaits.h>
#include <platform/Faults.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "AllocatorFixture.h"
#include "com/CTrackedObject.h"

namespace {

using platform::AllocationCount;
using platform::AllocationKind;
using platform::FailNthAllocation;

TEST_F(AllocatorTest, AnswersOnlyItsOwnInterfaces) {
  CComHolder<IUnknown> unknown;
  EXPECT_EQ(S_OK, m_allocator->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetVoidAddressOf()));
  CComHolder<IMemAllocator> again;
  EXPECT_EQ(S_OK, unknown->QueryInterface(IID_IMemAllocator, again.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(m_allocator.Get(), again.Get());
  void* other = &other;
  EXPECT_EQ(E_NOINTERFACE, m_allocator->QueryInterface(IID_IMediaSample, &other));
  EXPECT_EQ(nullptr, other);
}

TEST_F(AllocatorTest, GetBufferNeedsCommit) {
  IMediaSample* sample = reinterpret_cast<IMediaSample*>(&sample);
  EXPECT_EQ(VFW_E_NOT_COMMITTED, m_allocator->GetBuffer(&sample, nullptr, nullptr, 0));
  EXPECT_EQ(nullptr, sample);

  ASSERT_EQ(S_OK, SetProperties(1, 16));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  sample = reinterpret_cast<IMediaSample*>(&sample);
  EXPECT_EQ(VFW_E_NOT_COMMITTED, m_allocator->GetBuffer(&sample, nullptr, nullptr, 0));
  EXPECT_EQ(nullptr, sample);
}

TEST_F(AllocatorTest, CommitRefusesUnsetOrEmptySizes) {
  EXPECT_EQ(VFW_E_SIZENOTSET, m_allocator->Commit());
  ASSERT_EQ(S_OK, SetProperties(0, 100));
  EXPECT_EQ(VFW_E_SIZENOTSET, m_allocator->Commit());
  ASSERT_EQ(S_OK, SetProperties(2, 0));
  EXPECT_EQ(VFW_E_SIZENOTSET, m_allocator->Commit());
  ASSERT_EQ(S_OK, SetProperties(2, 100, -4));
  EXPECT_EQ(VFW_E_SIZENOTSET, m_allocator->Commit());
  // A negative prefix would put the first buffer before the page block.
  ASSERT_EQ(S_OK, SetProperties(2, 100, 1, -8));
  EXPECT_EQ(VFW_E_SIZENOTSET, m_allocator->Commit());
  EXPECT_EQ(nullptr, TryGetBuffer());
  EXPECT_EQ(0, AllocationCount(AllocationKind::CommittedPages));
}

TEST_F(AllocatorTest, SetPropertiesRoundsTheBufferUpToTheAlignment) {
  ALLOCATOR_PROPERTIES request = {3, 1000, 16, 4};
  ALLOCATOR_PROPERTIES actual = {};
  ASSERT_EQ(S_OK, m_allocator->SetProperties(&request, &actual));
  EXPECT_EQ(3, actual.cBuffers);
  EXPECT_EQ(1004, actual.cbBuffer);
  EXPECT_EQ(16, actual.cbAlign);
  EXPECT_EQ(4, actual.cbPrefix);

  ALLOCATOR_PROPERTIES reported = {};
  ASSERT_EQ(S_OK, m_allocator->GetProperties(&reported));
  EXPECT_EQ(0, std::memcmp(&actual, &reported, sizeof(actual)));

  ALLOCATOR_PROPERTIES badAlign = {3, 1000, 0, 4};
  ALLOCATOR_PROPERTIES cleared = {7, 7, 7, 7};
  EXPECT_EQ(VFW_E_BADALIGN, m_allocator->SetProperties(&badAlign, &cleared));
  EXPECT_EQ(0, cleared.cBuffers);
  EXPECT_EQ(0, cleared.cbBuffer);
  EXPECT_EQ(0, cleared.cbAlign);
  EXPECT_EQ(0, cleared.cbPrefix);
  ASSERT_EQ(S_OK, m_allocator->GetProperties(&reported));
  EXPECT_EQ(1004, reported.cbBuffer);

  EXPECT_EQ(E_POINTER, m_allocator->SetProperties(&request, nullptr));
  EXPECT_EQ(E_POINTER, m_allocator->GetProperties(nullptr));
}

TEST_F(AllocatorTest, SetPropertiesRefusesABufferBeyondThirtyTwoBits) {
  ASSERT_EQ(S_OK, SetProperties(1, 64));
  EXPECT_EQ(E_INVALIDARG, SetProperties(1, 0x7FFFFFFF, 16));
  ALLOCATOR_PROPERTIES reported = {};
  ASSERT_EQ(S_OK, m_allocator->GetProperties(&reported));
  EXPECT_EQ(64, reported.cbBuffer);
}

TEST_F(AllocatorTest, CommitRefusesABlockBeyondThirtyTwoBits) {
  ASSERT_EQ(S_OK, SetProperties(0x10000, 0x10000));
  EXPECT_EQ(E_OUTOFMEMORY, m_allocator->Commit());
  ASSERT_EQ(S_OK, SetProperties(3, 0x7FFFFFFF));
  EXPECT_EQ(E_OUTOFMEMORY, m_allocator->Commit());
  ASSERT_EQ(S_OK, SetProperties(2, 0x7FFFFFF0, 1, 0x20));
  EXPECT_EQ(E_OUTOFMEMORY, m_allocator->Commit());
  // Refused before asking the system for memory.
  EXPECT_EQ(0, AllocationCount(AllocationKind::CommittedPages));
  EXPECT_EQ(nullptr, TryGetBuffer());

  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* sample = TryGetBuffer();
  ASSERT_NE(nullptr, sample);
  sample->Release();
}

TEST_F(AllocatorTest, SamplesAreCarvedFromOneBlockAndReusedLastInFirstOut) {
  ASSERT_EQ(S_OK, SetProperties(3, 100, 16, 4));  // 100 grows to 108: 4 + 108 = 112
  ASSERT_EQ(S_OK, m_allocator->Commit());
  EXPECT_EQ(1, AllocationCount(AllocationKind::CommittedPages));

  IMediaSample* first = TryGetBuffer();
  IMediaSample* second = TryGetBuffer();
  IMediaSample* third = TryGetBuffer();
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  ASSERT_NE(nullptr, third);
  EXPECT_EQ(nullptr, TryGetBuffer());

  BYTE* buffers[3] = {};
  first->GetPointer(&buffers[0]);
  second->GetPointer(&buffers[1]);
  third->GetPointer(&buffers[2]);
  // The last sample created is handed out first.
  EXPECT_EQ(112, buffers[0] - buffers[1]);
  EXPECT_EQ(112, buffers[1] - buffers[2]);
  EXPECT_EQ(108, first->GetSize());
  // The prefixes and buffers are usable memory.
  std::memset(buffers[2] - 4, 0x5A, 3 * 112);

  first->Release();
  third->Release();
  IMediaSample* again = TryGetBuffer();
  EXPECT_EQ(third, again);
  again->Release();
  second->Release();
}

TEST_F(AllocatorTest, SetPropertiesIsRefusedWhileCommittedOrWhileSamplesAreOut) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  EXPECT_EQ(VFW_E_ALREADY_COMMITTED, SetProperties(2, 128));

  IMediaSample* held = TryGetBuffer();
  ASSERT_NE(nullptr, held);
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  EXPECT_EQ(VFW_E_BUFFERS_OUTSTANDING, SetProperties(2, 128));
  held->Release();
  EXPECT_EQ(S_OK, SetProperties(2, 128));
}

TEST_F(AllocatorTest, DecommitWithASampleOutKeepsItsMemoryUntilItComesHome) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* held = TryGetBuffer();
  ASSERT_NE(nullptr, held);

  ASSERT_EQ(S_OK, m_allocator->Decommit());
  IMediaSample* none = nullptr;
  EXPECT_EQ(VFW_E_NOT_COMMITTED, m_allocator->GetBuffer(&none, nullptr, nullptr, 0));
  BYTE* bytes = nullptr;
  held->GetPointer(&bytes);
  std::memset(bytes, 0x11, held->GetSize());
  // A second Decommit while pending changes nothing.
  EXPECT_EQ(S_OK, m_allocator->Decommit());
  EXPECT_EQ(0u, held->Release());

  // Recommitting unchanged properties reuses the block and the samples.
  ASSERT_EQ(S_OK, m_allocator->Commit());
  EXPECT_EQ(1, AllocationCount(AllocationKind::CommittedPages));
  IMediaSample* reused = TryGetBuffer();
  EXPECT_EQ(held, reused);
  reused->Release();
}

TEST_F(AllocatorTest, CommitDuringPendingDecommitKeepsTheSameSamples) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* held = TryGetBuffer();
  IMediaSample* other = TryGetBuffer();
  ASSERT_NE(nullptr, other);
  other->Release();

  ASSERT_EQ(S_OK, m_allocator->Decommit());
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* next = TryGetBuffer();
  EXPECT_EQ(other, next);
  held->Release();
  IMediaSample* last = TryGetBuffer();
  EXPECT_EQ(held, last);
  EXPECT_EQ(1, AllocationCount(AllocationKind::CommittedPages));
  next->Release();
  last->Release();

  // The allocator is committed once more, not twice: one Decommit with every
  // sample home ends it and lets it go.
  const LONG liveBefore = CTrackedObject::LiveObjectCount();
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  m_allocator = nullptr;
  EXPECT_EQ(liveBefore - 1, CTrackedObject::LiveObjectCount());
}

TEST_F(AllocatorTest, ChangedPropertiesMakeANewBlock) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  ASSERT_EQ(S_OK, SetProperties(4, 32));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  EXPECT_EQ(2, AllocationCount(AllocationKind::CommittedPages));
  std::vector<IMediaSample*> samples;
  for (IMediaSample* sample = TryGetBuffer(); sample != nullptr; sample = TryGetBuffer()) {
    EXPECT_EQ(32, sample->GetSize());
    samples.push_back(sample);
  }
  EXPECT_EQ(4u, samples.size());
  for (IMediaSample* sample : samples) {
    sample->Release();
  }
}

TEST_F(AllocatorTest, NoWaitGivesTimeoutWhenEverySampleIsOut) {
  ASSERT_EQ(S_OK, SetProperties(1, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* held = TryGetBuffer();
  ASSERT_NE(nullptr, held);
  for (int i = 0; i < 3; ++i) {
    IMediaSample* sample = reinterpret_cast<IMediaSample*>(&sample);
    EXPECT_EQ(VFW_E_TIMEOUT, m_allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT));
    EXPECT_EQ(nullptr, sample);
  }
  held->Release();
  IMediaSample* back = TryGetBuffer();
  EXPECT_EQ(held, back);
  back->Release();
  EXPECT_EQ(E_POINTER, m_allocator->GetBuffer(nullptr, nullptr, nullptr, 0));
}

TEST_F(AllocatorTest, BlockedCallersAreServedByReleasesFromOtherThreads) {
  ASSERT_EQ(S_OK, SetProperties(1, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* held = TryGetBuffer();
  ASSERT_NE(nullptr, held);

  constexpr int kWaiters = 4;
  const int blockedBefore = platform::BlockedWaitCount();
  std::atomic<int> served{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&, i] {
      IMediaSample* sample = nullptr;
      if (m_allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK) {
        return;
      }
      BYTE* bytes = nullptr;
      sample->GetPointer(&bytes);
      std::memset(bytes, i, sample->GetSize());
      ++served;
      // Each waiter passes the one buffer on to the next.
      sample->Release();
    });
  }
  // Every waiter is inside GetBuffer's wait before the one buffer comes back.
  platform::WaitForBlockedWaits(blockedBefore + kWaiters);
  held->Release();
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(kWaiters, served.load());
}

TEST_F(AllocatorTest, DecommitWakesBlockedCallersWithNotCommitted) {
  ASSERT_EQ(S_OK, SetProperties(1, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* held = TryGetBuffer();
  ASSERT_NE(nullptr, held);

  constexpr int kWaiters = 3;
  const int blockedBefore = platform::BlockedWaitCount();
  std::atomic<int> refused{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      IMediaSample* sample = nullptr;
      if (m_allocator->GetBuffer(&sample, nullptr, nullptr, 0) == VFW_E_NOT_COMMITTED &&
          sample == nullptr) {
        ++refused;
      }
    });
  }
  platform::WaitForBlockedWaits(blockedBefore + kWaiters);
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(kWaiters, refused.load());
  held->Release();
}

TEST_F(AllocatorTest, ManyThreadsShareFewBuffersAndEveryOneComesHome) {
  ASSERT_EQ(S_OK, SetProperties(2, 256));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::atomic<int> filled{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const DWORD flags = (t == 0 && round % 2 == 0) ? AM_GBF_NOWAIT : 0;
        IMediaSample* sample = nullptr;
        const HRESULT hr = m_allocator->GetBuffer(&sample, nullptr, nullptr, flags);
        if (hr == VFW_E_TIMEOUT) {
          continue;
        }
        ASSERT_EQ(S_OK, hr);
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        std::memset(bytes, t, 256);
        REFERENCE_TIME start = round;
        sample->SetTime(&start, nullptr);
        sample->SetActualDataLength(round % 256);
        sample->AddRef();
        sample->Release();
        sample->Release();
        ++filled;
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_GE(filled.load(), (kThreads - 1) * kRounds);
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  EXPECT_EQ(S_OK, SetProperties(2, 256));
}

TEST_F(AllocatorTest, TheSelfReferenceKeepsACommittedAllocatorAlive) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* held = TryGetBuffer();
  ASSERT_NE(nullptr, held);
  IMemAllocator* allocator = m_allocator.Detach();
  const LONG liveBefore = CTrackedObject::LiveObjectCount();
  allocator->Release();
  EXPECT_EQ(liveBefore, CTrackedObject::LiveObjectCount());

  // Still fully working through the self-reference.
  IMediaSample* second = nullptr;
  EXPECT_EQ(S_OK, allocator->GetBuffer(&second, nullptr, nullptr, AM_GBF_NOWAIT));
  second->Release();
  held->Release();
  EXPECT_EQ(liveBefore, CTrackedObject::LiveObjectCount());

  // Its last user decommits it: that is its last reference.
  EXPECT_EQ(S_OK, allocator->Decommit());
  EXPECT_EQ(liveBefore - 1, CTrackedObject::LiveObjectCount());
}

TEST_F(AllocatorTest, LastSampleReleaseOnAnotherThreadDestroysTheAllocator) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* first = TryGetBuffer();
  IMediaSample* second = TryGetBuffer();
  ASSERT_NE(nullptr, second);
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  const LONG liveBefore = CTrackedObject::LiveObjectCount();
  m_allocator = nullptr;
  EXPECT_EQ(liveBefore, CTrackedObject::LiveObjectCount());

  ULONG firstResult = 1;
  ULONG secondResult = 1;
  std::thread downstream([&] { firstResult = first->Release(); });
  downstream.join();
  EXPECT_EQ(0u, firstResult);
  EXPECT_EQ(liveBefore, CTrackedObject::LiveObjectCount());
  std::thread lastHolder([&] { secondResult = second->Release(); });
  lastHolder.join();
  EXPECT_EQ(0u, secondResult);
  EXPECT_EQ(liveBefore - 1, CTrackedObject::LiveObjectCount());
}

TEST_F(AllocatorTest, CommitFailsCleanlyWithoutPages) {
  ASSERT_EQ(S_OK, SetProperties(2, 64));
  FailNthAllocation(AllocationKind::CommittedPages, 1);
  EXPECT_EQ(E_OUTOFMEMORY, m_allocator->Commit());
  EXPECT_EQ(nullptr, TryGetBuffer());
  EXPECT_EQ(S_OK, SetProperties(2, 64));

  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* sample = TryGetBuffer();
  ASSERT_NE(nullptr, sample);
  sample->Release();
}

TEST_F(AllocatorTest, CommitFailsCleanlyWhenASampleCannotBeCreated) {
  ASSERT_EQ(S_OK, SetProperties(3, 64));
  FailNthAllocation(AllocationKind::HeapObject, 2);
  EXPECT_EQ(E_OUTOFMEMORY, m_allocator->Commit());
  EXPECT_EQ(nullptr, TryGetBuffer());

  // The next Commit starts over with a fresh block and all three samples.
  ASSERT_EQ(S_OK, m_allocator->Commit());
  EXPECT_EQ(2, AllocationCount(AllocationKind::CommittedPages));
  std::vector<IMediaSample*> samples;
  for (IMediaSample* sample = TryGetBuffer(); sample != nullptr; sample = TryGetBuffer()) {
    samples.push_back(sample);
  }
  EXPECT_EQ(3u, samples.size());
  for (IMediaSample* sample : samples) {
    sample->Release();
  }
}

TEST_F(AllocatorTest, ADestroyedUncommittedAllocatorFreesItsSamples) {
  ASSERT_EQ(S_OK, SetProperties(3, 64));
  ASSERT_EQ(S_OK, m_allocator->Commit());
  IMediaSample* sample = TryGetBuffer();
  AM_MEDIA_TYPE type = {};
  type.majortype = MEDIATYPE_Audio;
  ASSERT_EQ(S_OK, sample->SetMediaType(&type));
  // The attached type goes with the sample's last Release.
  sample->Release();
  ASSERT_EQ(S_OK, m_allocator->Decommit());
  const LONG liveBefore = CTrackedObject::LiveObjectCount();
  m_allocator = nullptr;
  EXPECT_EQ(liveBefore - 1, CTrackedObject::LiveObjectCount());
}

}  // namespace
