#include <gtest/gtest.h>
#include <platform/Faults.h>
#include <unistd.h>
#include <win/platform.h>

#include <cstring>

namespace {

using platform::AllocationKind;

bool AllZero(const BYTE* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) {
      return false;
    }
  }
  return true;
}

TEST(VirtualAlloc, CommitsZeroFilledPagesOnTheAllocationGranularity) {
  const SIZE_T size = 100000;
  auto* block = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(block) % 65536);
  EXPECT_TRUE(AllZero(block, size));
  std::memset(block, 0xAB, size);
  EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));

  auto* reserved =
      static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(nullptr, reserved);
  EXPECT_TRUE(AllZero(reserved, size));
  EXPECT_TRUE(VirtualFree(reserved, 0, MEM_RELEASE));
}

TEST(VirtualFree, ReleasesOnlyAWholeBlockByItsBase) {
  auto* block = static_cast<BYTE*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(nullptr, block);

  EXPECT_FALSE(VirtualFree(block, 8192, MEM_RELEASE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE | MEM_DECOMMIT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(VirtualFree(block + 4096, 0, MEM_RELEASE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
  // The refused calls left the block whole.
  block[8191] = 1;

  EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
  EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));
}

TEST(VirtualAlloc, RefusesWhatItDoesNotOffer) {
  EXPECT_EQ(nullptr, VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, VirtualAlloc(nullptr, 4096, MEM_COMMIT, 0x40 /* PAGE_EXECUTE_READWRITE */));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, VirtualAlloc(nullptr, 4096, MEM_DECOMMIT, PAGE_READWRITE));
  EXPECT_EQ(nullptr, VirtualAlloc(nullptr, ~SIZE_T{0} - 100, MEM_COMMIT, PAGE_READWRITE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
}

TEST(VirtualAlloc, InjectedFaultFailsExactlyTheChosenCommit) {
  platform::FailNthAllocation(AllocationKind::CommittedPages, 2);
  LPVOID first = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  SetLastError(0);
  LPVOID second = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  const DWORD error = GetLastError();
  LPVOID third = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  EXPECT_NE(nullptr, first);
  EXPECT_EQ(nullptr, second);
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), error);
  EXPECT_NE(nullptr, third);
  EXPECT_EQ(3, platform::AllocationCount(AllocationKind::CommittedPages));
  VirtualFree(first, 0, MEM_RELEASE);
  VirtualFree(third, 0, MEM_RELEASE);

  // A reservation commits nothing, so it is not counted.
  LPVOID reservation = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_READWRITE);
  EXPECT_NE(nullptr, reservation);
  EXPECT_EQ(3, platform::AllocationCount(AllocationKind::CommittedPages));
  VirtualFree(reservation, 0, MEM_RELEASE);
}

TEST(VirtualAlloc, CommitsInsideAReservationAndDecommitZeroes) {
  const SIZE_T page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
  auto* base = static_cast<BYTE*>(VirtualAlloc(nullptr, 16 * page, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(nullptr, base);
  auto* pages =
      static_cast<BYTE*>(VirtualAlloc(base + 4 * page + 10, page, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_EQ(base + 4 * page, pages);
  pages[0] = 7;
  pages[2 * page - 1] = 9;  // the range straddled two pages, so both are committed

  ASSERT_TRUE(VirtualFree(pages, 2 * page, MEM_DECOMMIT));
  ASSERT_EQ(pages, VirtualAlloc(pages, 2 * page, MEM_COMMIT, PAGE_READWRITE));
  EXPECT_TRUE(AllZero(pages, 2 * page));

  EXPECT_EQ(nullptr, VirtualAlloc(base + 15 * page, 2 * page, MEM_COMMIT, PAGE_READWRITE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST(GetSystemInfo, ReportsTheHostPagesAndThePlatformGranularity) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  EXPECT_EQ(static_cast<DWORD>(sysconf(_SC_PAGESIZE)), info.dwPageSize);
  EXPECT_EQ(65536u, info.dwAllocationGranularity);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  EXPECT_NE(0u, info.dwActiveProcessorMask);
  EXPECT_LT(info.lpMinimumApplicationAddress, info.lpMaximumApplicationAddress);
}

}  // namespace
