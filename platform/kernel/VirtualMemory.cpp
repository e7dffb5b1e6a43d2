// Page-backed memory: each reservation is one anonymous mapping on the
// platform's 64 KiB allocation granularity, tracked so that a release frees
// exactly what was reserved.
#include <platform/Faults.h>
#include <sys/mman.h>
#include <unistd.h>
#include <win/kernel.h>

#include <map>
#include <mutex>
#include <new>

namespace {

constexpr uintptr_t kAllocationGranularity = 65536;
// The top of a 47-bit user address space, less the guard region the platform keeps.
constexpr uintptr_t kHighestUserAddress =
    sizeof(uintptr_t) == 8 ? (uintptr_t{1} << 47) - kAllocationGranularity - 1 : 0x7FFEFFFFu;

uintptr_t PageSize() {
  static const uintptr_t size = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  return size;
}

uintptr_t RoundUp(uintptr_t value, uintptr_t unit) { return (value + unit - 1) & ~(unit - 1); }
uintptr_t RoundDown(uintptr_t value, uintptr_t unit) { return value & ~(unit - 1); }

class CReservations {
 public:
  static CReservations& Instance() {
    static CReservations* reservations = new CReservations;
    return *reservations;
  }

  std::mutex& lock() { return m_lock; }

  // The reservation holding the whole range [begin, end), or false.
  bool FindLocked(uintptr_t begin, uintptr_t end, uintptr_t* base, uintptr_t* size) const {
    auto after = m_blocks.upper_bound(begin);
    if (after == m_blocks.begin()) {
      return false;
    }
    auto block = std::prev(after);
    if (end > block->first + block->second) {
      return false;
    }
    *base = block->first;
    *size = block->second;
    return true;
  }
  bool AddLocked(uintptr_t base, uintptr_t size) {
    try {
      m_blocks.emplace(base, size);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  void RemoveLocked(uintptr_t base) { m_blocks.erase(base); }

 private:
  std::mutex m_lock;
  std::map<uintptr_t, uintptr_t> m_blocks;  // base -> size in bytes
};

bool ProtectionFor(DWORD protect, int* protection) {
  switch (protect) {
    case PAGE_NOACCESS:
      *protection = PROT_NONE;
      return true;
    case PAGE_READONLY:
      *protection = PROT_READ;
      return true;
    case PAGE_READWRITE:
      *protection = PROT_READ | PROT_WRITE;
      return true;
    default:
      return false;
  }
}

// Maps more than needed and trims, so the block starts on the allocation granularity.
void* MapAligned(uintptr_t size, int protection) {
  const uintptr_t span = size + kAllocationGranularity;
  void* mapped =
      mmap(nullptr, span, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) {
    return nullptr;
  }
  const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t base = RoundUp(start, kAllocationGranularity);
  if (base > start) {
    munmap(mapped, base - start);
  }
  const uintptr_t tail = start + span - (base + size);
  if (tail > 0) {
    munmap(reinterpret_cast<void*>(base + size), tail);
  }
  return reinterpret_cast<void*>(base);
}

LPVOID Reserve(SIZE_T size, bool commit, int protection) {
  const uintptr_t rounded = RoundUp(size, PageSize());
  if (rounded < size) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* block = MapAligned(rounded, commit ? protection : PROT_NONE);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  CReservations& reservations = CReservations::Instance();
  std::lock_guard<std::mutex> lock(reservations.lock());
  if (!reservations.AddLocked(reinterpret_cast<uintptr_t>(block), rounded)) {
    munmap(block, rounded);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return block;
}

// Commits pages of an existing reservation; pages already committed keep their contents.
LPVOID CommitWithin(LPVOID address, SIZE_T size, int protection) {
  const uintptr_t begin = RoundDown(reinterpret_cast<uintptr_t>(address), PageSize());
  const uintptr_t end = RoundUp(reinterpret_cast<uintptr_t>(address) + size, PageSize());
  CReservations& reservations = CReservations::Instance();
  std::lock_guard<std::mutex> lock(reservations.lock());
  uintptr_t base = 0;
  uintptr_t blockSize = 0;
  if (end <= begin || !reservations.FindLocked(begin, end, &base, &blockSize)) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  if (mprotect(reinterpret_cast<void*>(begin), end - begin, protection) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return reinterpret_cast<LPVOID>(begin);
}

BOOL Release(LPVOID address, SIZE_T size) {
  if (size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uintptr_t begin = reinterpret_cast<uintptr_t>(address);
  CReservations& reservations = CReservations::Instance();
  std::lock_guard<std::mutex> lock(reservations.lock());
  uintptr_t base = 0;
  uintptr_t blockSize = 0;
  if (!reservations.FindLocked(begin, begin, &base, &blockSize) || base != begin) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  munmap(address, blockSize);
  reservations.RemoveLocked(base);
  return TRUE;
}

// Decommitted pages read as zero once committed again, as on the platform.
BOOL Decommit(LPVOID address, SIZE_T size) {
  uintptr_t begin = RoundDown(reinterpret_cast<uintptr_t>(address), PageSize());
  uintptr_t end = RoundUp(reinterpret_cast<uintptr_t>(address) + size, PageSize());
  CReservations& reservations = CReservations::Instance();
  std::lock_guard<std::mutex> lock(reservations.lock());
  uintptr_t base = 0;
  uintptr_t blockSize = 0;
  if (!reservations.FindLocked(begin, end, &base, &blockSize)) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  if (size == 0) {
    if (begin != base) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    end = base + blockSize;
  }
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
  mprotect(reinterpret_cast<void*>(begin), end - begin, PROT_NONE);
  return TRUE;
}

}  // namespace

PLATFORM_API LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType,
                                        DWORD protect) {
  int protection = 0;
  const bool commit = (allocationType & MEM_COMMIT) != 0;
  const bool reserve = (allocationType & MEM_RESERVE) != 0;
  if (size == 0 || !ProtectionFor(protect, &protection) ||
      (allocationType & ~(MEM_COMMIT | MEM_RESERVE)) != 0 || (!commit && !reserve)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Reserving at a chosen address is not offered; committing inside a reservation is.
  if (address != nullptr && reserve) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  if (commit && platform::ShouldFailAllocation(platform::AllocationKind::CommittedPages)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (address != nullptr) {
    return CommitWithin(address, size, protection);
  }
  return Reserve(size, commit, protection);
}

PLATFORM_API BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  if (address == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  switch (freeType) {
    case MEM_RELEASE:
      return Release(address, size);
    case MEM_DECOMMIT:
      return Decommit(address, size);
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

PLATFORM_API void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
  if (info == nullptr) {
    return;
  }
  *info = SYSTEM_INFO{};
  long processors = sysconf(_SC_NPROCESSORS_ONLN);
  if (processors < 1) {
    processors = 1;
  }
#if defined(__x86_64__)
  info->u.s.wProcessorArchitecture = 9;  // PROCESSOR_ARCHITECTURE_AMD64
  info->dwProcessorType = 8664;          // PROCESSOR_AMD_X8664
#elif defined(__aarch64__)
  info->u.s.wProcessorArchitecture = 12;  // PROCESSOR_ARCHITECTURE_ARM64
#endif
  info->dwPageSize = static_cast<DWORD>(PageSize());
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(kAllocationGranularity);
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(kHighestUserAddress);
  const long maskBits = static_cast<long>(sizeof(DWORD_PTR) * 8);
  info->dwActiveProcessorMask =
      processors >= maskBits ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << processors) - 1);
  info->dwNumberOfProcessors = static_cast<DWORD>(processors);
  info->dwAllocationGranularity = static_cast<DWORD>(kAllocationGranularity);
}
