#include "shaping/PayloadConversion.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "film/CBigEndianReader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Hosts that may have AVX2 get a second set of loops chosen at run time: the
// module is built for the baseline processor, and 32-byte vectors are what
// lets a conversion keep up with the library's copy on chunks in the cache.
#if defined(__GNUC__) && defined(__x86_64__)
#define TESSALY_AVX2_LOOPS 1
#include <immintrin.h>
#endif

namespace {

// The word loops place bytes by shifting, which matches memory order only on
// a little-endian host; elsewhere the byte loops alone do the work.
constexpr bool kWordLoops = std::endian::native == std::endian::little;

// Adding 128 to a byte modulo 256 flips its top bit: signed 8-bit becomes unsigned.
constexpr uint64_t kSignFlip = 0x8080808080808080ull;
constexpr uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
constexpr uint64_t kLowWords = 0x0000FFFF0000FFFFull;

inline uint64_t Load64(const BYTE* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof(value));
  return value;
}

inline uint32_t Load32(const BYTE* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof(value));
  return value;
}

inline void Store64(BYTE* p, uint64_t value) { std::memcpy(p, &value, sizeof(value)); }

// Swaps the two bytes of every 16-bit group, whatever the host's byte order.
inline uint64_t SwapBytePairs(uint64_t value) {
  return ((value & kLowBytes) << 8) | ((value >> 8) & kLowBytes);
}

// Four bytes to the even byte slots of a word.
inline uint64_t SpreadBytes(uint32_t value) {
  uint64_t x = value;
  x = (x | (x << 16)) & kLowWords;
  return (x | (x << 8)) & kLowBytes;
}

// Two 16-bit groups to the low halves of the word's 32-bit slots.
inline uint64_t SpreadWords(uint32_t value) {
  uint64_t x = value;
  return (x | (x << 16)) & kLowWords;
}

#if defined(__SSE2__)
inline __m128i Load128(const BYTE* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store128(BYTE* p, __m128i value) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), value);
}
inline __m128i SignFlip128() { return _mm_set1_epi8(static_cast<char>(0x80)); }
inline __m128i SwapBytePairs128(__m128i value) {
  return _mm_or_si128(_mm_slli_epi16(value, 8), _mm_srli_epi16(value, 8));
}
#endif

#if defined(TESSALY_AVX2_LOOPS)
#define TESSALY_AVX2 __attribute__((target("avx2")))

TESSALY_AVX2 inline __m256i Load256(const BYTE* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
TESSALY_AVX2 inline void Store256(BYTE* p, __m256i value) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), value);
}
TESSALY_AVX2 inline __m256i SwapBytePairs256(__m256i value) {
  const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0,
                                         3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  return _mm256_shuffle_epi8(value, order);
}

// The 256-bit unpacks interleave within each 128-bit lane; swapping the
// middle quarters of both inputs first puts the results in memory order.
TESSALY_AVX2 inline __m256i MiddleQuartersSwapped(__m256i value) {
  return _mm256_permute4x64_epi64(value, 0xD8);
}

// Each returns how many bytes (of the chunk, or of each half for stereo) it
// converted; the portable loops finish the rest.
TESSALY_AVX2 DWORD ConvertMono8Avx2(const BYTE* src, DWORD length, BYTE* dst) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  DWORD i = 0;
  for (; i + 64 <= length; i += 64) {
    Store256(dst + i, _mm256_xor_si256(Load256(src + i), flip));
    Store256(dst + i + 32, _mm256_xor_si256(Load256(src + i + 32), flip));
  }
  return i;
}

TESSALY_AVX2 DWORD ConvertMono16Avx2(const BYTE* src, DWORD whole, BYTE* dst) {
  DWORD i = 0;
  for (; i + 64 <= whole; i += 64) {
    Store256(dst + i, SwapBytePairs256(Load256(src + i)));
    Store256(dst + i + 32, SwapBytePairs256(Load256(src + i + 32)));
  }
  return i;
}

TESSALY_AVX2 DWORD ConvertStereo8Avx2(const BYTE* src, const BYTE* second, DWORD half, BYTE* dst) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  DWORD k = 0;
  for (; k + 32 <= half; k += 32) {
    __m256i first = MiddleQuartersSwapped(_mm256_xor_si256(Load256(src + k), flip));
    __m256i other = MiddleQuartersSwapped(_mm256_xor_si256(Load256(second + k), flip));
    Store256(dst + 2 * k, _mm256_unpacklo_epi8(first, other));
    Store256(dst + 2 * k + 32, _mm256_unpackhi_epi8(first, other));
  }
  return k;
}

// Counts in bytes of each half, a multiple of two.
TESSALY_AVX2 DWORD ConvertStereo16Avx2(const BYTE* src, const BYTE* second, DWORD halfBytes,
                                       BYTE* dst) {
  DWORD k = 0;
  for (; k + 32 <= halfBytes; k += 32) {
    __m256i first = MiddleQuartersSwapped(SwapBytePairs256(Load256(src + k)));
    __m256i other = MiddleQuartersSwapped(SwapBytePairs256(Load256(second + k)));
    Store256(dst + 2 * k, _mm256_unpacklo_epi16(first, other));
    Store256(dst + 2 * k + 32, _mm256_unpackhi_epi16(first, other));
  }
  return k;
}

inline bool HostHasAvx2() { return __builtin_cpu_supports("avx2"); }
#endif

// Each conversion runs 16-byte vectors where the host has them, then 8-byte
// words, then single bytes for the tail.
void ConvertMono8(const BYTE* src, DWORD length, BYTE* dst) {
  DWORD i = 0;
#if defined(TESSALY_AVX2_LOOPS)
  if (HostHasAvx2()) {
    i = ConvertMono8Avx2(src, length, dst);
  }
#endif
#if defined(__SSE2__)
  for (; i + 16 <= length; i += 16) {
    Store128(dst + i, _mm_xor_si128(Load128(src + i), SignFlip128()));
  }
#endif
  for (; i + 8 <= length; i += 8) {
    Store64(dst + i, Load64(src + i) ^ kSignFlip);
  }
  for (; i < length; ++i) {
    dst[i] = static_cast<BYTE>(src[i] ^ 0x80);
  }
}

void ConvertMono16(const BYTE* src, DWORD length, BYTE* dst) {
  DWORD whole = length & ~1u;
  DWORD i = 0;
#if defined(TESSALY_AVX2_LOOPS)
  if (HostHasAvx2()) {
    i = ConvertMono16Avx2(src, whole, dst);
  }
#endif
#if defined(__SSE2__)
  for (; i + 16 <= whole; i += 16) {
    Store128(dst + i, SwapBytePairs128(Load128(src + i)));
  }
#endif
  for (; i + 8 <= whole; i += 8) {
    Store64(dst + i, SwapBytePairs(Load64(src + i)));
  }
  // Both bytes are read before either is written: source may be destination.
  for (; i < whole; i += 2) {
    const BYTE high = src[i];
    dst[i] = src[i + 1];
    dst[i + 1] = high;
  }
}

void ConvertStereo8(const BYTE* src, DWORD length, BYTE* dst) {
  DWORD half = length / 2;
  const BYTE* second = src + half;
  DWORD k = 0;
#if defined(TESSALY_AVX2_LOOPS)
  if (HostHasAvx2()) {
    k = ConvertStereo8Avx2(src, second, half, dst);
  }
#endif
#if defined(__SSE2__)
  for (; k + 16 <= half; k += 16) {
    __m128i first = _mm_xor_si128(Load128(src + k), SignFlip128());
    __m128i other = _mm_xor_si128(Load128(second + k), SignFlip128());
    Store128(dst + 2 * k, _mm_unpacklo_epi8(first, other));
    Store128(dst + 2 * k + 16, _mm_unpackhi_epi8(first, other));
  }
#endif
  if constexpr (kWordLoops) {
    for (; k + 4 <= half; k += 4) {
      uint64_t pair = SpreadBytes(Load32(src + k)) | (SpreadBytes(Load32(second + k)) << 8);
      Store64(dst + 2 * k, pair ^ kSignFlip);
    }
  }
  for (; k < half; ++k) {
    dst[2 * k] = static_cast<BYTE>(src[k] ^ 0x80);
    dst[2 * k + 1] = static_cast<BYTE>(second[k] ^ 0x80);
  }
}

void ConvertStereo16(const BYTE* src, DWORD length, BYTE* dst) {
  DWORD quarter = length / 4;
  // The second channel starts at the half, not at 2 × quarter: they differ
  // when the length is not a multiple of four.
  const BYTE* second = src + length / 2;
  DWORD k = 0;
#if defined(TESSALY_AVX2_LOOPS)
  if (HostHasAvx2()) {
    k = ConvertStereo16Avx2(src, second, 2 * quarter, dst) / 2;
  }
#endif
#if defined(__SSE2__)
  for (; k + 8 <= quarter; k += 8) {
    __m128i first = SwapBytePairs128(Load128(src + 2 * k));
    __m128i other = SwapBytePairs128(Load128(second + 2 * k));
    Store128(dst + 4 * k, _mm_unpacklo_epi16(first, other));
    Store128(dst + 4 * k + 16, _mm_unpackhi_epi16(first, other));
  }
#endif
  if constexpr (kWordLoops) {
    for (; k + 2 <= quarter; k += 2) {
      uint64_t first = SpreadWords(Load32(src + 2 * k));
      uint64_t other = SpreadWords(Load32(second + 2 * k));
      Store64(dst + 4 * k, SwapBytePairs(first | (other << 16)));
    }
  }
  for (; k < quarter; ++k) {
    dst[4 * k] = src[2 * k + 1];
    dst[4 * k + 1] = src[2 * k];
    dst[4 * k + 2] = second[2 * k + 1];
    dst[4 * k + 3] = second[2 * k];
  }
}

}  // namespace

void ConvertAudioChunk(const BYTE* source, DWORD length, WORD channels, WORD bitsPerSample,
                       BYTE* destination) {
  if (length == 0) {
    return;
  }
  if (channels == 1 && bitsPerSample == 8) {
    ConvertMono8(source, length, destination);
  } else if (channels == 1 && bitsPerSample == 16) {
    ConvertMono16(source, length, destination);
  } else if (channels == 2 && bitsPerSample == 8) {
    ConvertStereo8(source, length, destination);
  } else if (channels == 2 && bitsPerSample == 16) {
    ConvertStereo16(source, length, destination);
  } else if (source != destination) {
    // No conversion is known for this layout: the chunk goes out as stored.
    std::memcpy(destination, source, length);
  }
}

BOOL ConvertsInPlace(WORD channels, WORD bitsPerSample) {
  const bool converted =
      (channels == 1 || channels == 2) && (bitsPerSample == 8 || bitsPerSample == 16);
  return !converted || channels == 1 ? TRUE : FALSE;
}

BOOL AdjustVideoFrame(BYTE* frame, DWORD frameLength) {
  CBigEndianReader reader(frame, frameLength);
  DWORD head = 0;
  if (!reader.ReadU32(0, &head)) {
    return FALSE;
  }
  head += 6;
  frame[0] = static_cast<BYTE>(head >> 24);
  frame[1] = static_cast<BYTE>(head >> 16);
  frame[2] = static_cast<BYTE>(head >> 8);
  frame[3] = static_cast<BYTE>(head);
  return TRUE;
}
