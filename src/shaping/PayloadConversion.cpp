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

// Each conversion runs 16-byte vectors where the host has them, then 8-byte
// words, then single bytes for the tail. The "From" forms start at an index
// a wider loop has reached; they stay out of line so that the AVX2 loops,
// which finish most chunks on their own, carry no tail code and save no
// registers on the way in.
[[gnu::noinline]] void Mono8From(const BYTE* src, DWORD length, DWORD i, BYTE* dst) {
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

// Counts in bytes, a multiple of two.
[[gnu::noinline]] void Mono16From(const BYTE* src, DWORD whole, DWORD i, BYTE* dst) {
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

// Counts in bytes of each channel.
[[gnu::noinline]] void Stereo8From(const BYTE* src, const BYTE* second, DWORD half, DWORD k,
                                   BYTE* dst) {
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

// Counts in samples of each channel.
[[gnu::noinline]] void Stereo16From(const BYTE* src, const BYTE* second, DWORD quarter, DWORD k,
                                    BYTE* dst) {
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

void ConvertMono8(const BYTE* src, DWORD length, BYTE* dst) { Mono8From(src, length, 0, dst); }

void ConvertMono16(const BYTE* src, DWORD length, BYTE* dst) {
  Mono16From(src, length & ~1u, 0, dst);
}

void ConvertStereo8(const BYTE* src, DWORD length, BYTE* dst) {
  Stereo8From(src, src + length / 2, length / 2, 0, dst);
}

// The second channel starts at the half, not at 2 × quarter: they differ
// when the length is not a multiple of four.
void ConvertStereo16(const BYTE* src, DWORD length, BYTE* dst) {
  Stereo16From(src, src + length / 2, length / 4, 0, dst);
}

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

// The 256-bit unpacks interleave within each 128-bit lane, so the low one
// holds output quarters 0 and 2 and the high one quarters 1 and 3. Regrouping
// the results costs two lane moves per 64 bytes; regrouping the inputs
// instead (a cross-lane permute of each), or storing the four halves apart,
// measures slower on current cores.
TESSALY_AVX2 inline void StoreInterleaved(BYTE* dst, __m256i low, __m256i high) {
  Store256(dst, _mm256_inserti128_si256(low, _mm256_castsi256_si128(high), 1));
  Store256(dst + 32, _mm256_permute2x128_si256(low, high, 0x31));
}

TESSALY_AVX2 inline void Stereo8Block(const BYTE* src, const BYTE* second, BYTE* dst) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  __m256i first = _mm256_xor_si256(Load256(src), flip);
  __m256i other = _mm256_xor_si256(Load256(second), flip);
  StoreInterleaved(dst, _mm256_unpacklo_epi8(first, other), _mm256_unpackhi_epi8(first, other));
}

// The bytes of each sample are swapped after the interleave rather than
// before: as many shuffles, but the unpacks then read their second input
// straight from memory, and it measures a little faster.
TESSALY_AVX2 inline void Stereo16Block(const BYTE* src, const BYTE* second, BYTE* dst) {
  __m256i first = Load256(src);
  __m256i other = Load256(second);
  StoreInterleaved(dst, SwapBytePairs256(_mm256_unpacklo_epi16(first, other)),
                   SwapBytePairs256(_mm256_unpackhi_epi16(first, other)));
}

// The AVX2 forms run the whole chunk, their tails through the same loops as
// the baseline ones. Indices are size_t so that the loops keep a single
// 64-bit counter in the addressing of every load and store; at 4 KiB the
// loop's bookkeeping otherwise costs as much as the shuffles.
TESSALY_AVX2 void ConvertMono8Avx2(const BYTE* src, DWORD length, BYTE* dst) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  const size_t blocks = length & ~size_t{63};
  size_t i = 0;
  for (; i < blocks; i += 64) {
    Store256(dst + i, _mm256_xor_si256(Load256(src + i), flip));
    Store256(dst + i + 32, _mm256_xor_si256(Load256(src + i + 32), flip));
  }
  if (i < length) {
    Mono8From(src, length, static_cast<DWORD>(i), dst);
  }
}

TESSALY_AVX2 void ConvertMono16Avx2(const BYTE* src, DWORD length, BYTE* dst) {
  const DWORD whole = length & ~1u;
  const size_t blocks = whole & ~size_t{63};
  size_t i = 0;
  for (; i < blocks; i += 64) {
    Store256(dst + i, SwapBytePairs256(Load256(src + i)));
    Store256(dst + i + 32, SwapBytePairs256(Load256(src + i + 32)));
  }
  if (i < whole) {
    Mono16From(src, whole, static_cast<DWORD>(i), dst);
  }
}

TESSALY_AVX2 void ConvertStereo8Avx2(const BYTE* src, DWORD length, BYTE* dst) {
  const DWORD half = length / 2;
  const BYTE* second = src + half;
  const size_t blocks = half & ~size_t{31};
  size_t k = 0;
  for (; k < blocks; k += 32) {
    Stereo8Block(src + k, second + k, dst + 2 * k);
  }
  if (k < half) {
    Stereo8From(src, second, half, static_cast<DWORD>(k), dst);
  }
}

TESSALY_AVX2 void ConvertStereo16Avx2(const BYTE* src, DWORD length, BYTE* dst) {
  const DWORD quarter = length / 4;
  const BYTE* second = src + length / 2;
  const size_t bytes = 2 * size_t{quarter};  // of each channel
  const size_t blocks = bytes & ~size_t{31};
  size_t k = 0;
  for (; k < blocks; k += 32) {
    Stereo16Block(src + k, second + k, dst + 2 * k);
  }
  if (k < bytes) {
    Stereo16From(src, second, quarter, static_cast<DWORD>(k / 2), dst);
  }
}
#endif

using Converter = void (*)(const BYTE* src, DWORD length, BYTE* dst);

struct Converters {
  Converter mono8;
  Converter mono16;
  Converter stereo8;
  Converter stereo16;
};

constexpr Converters kBaseline = {ConvertMono8, ConvertMono16, ConvertStereo8, ConvertStereo16};
#if defined(TESSALY_AVX2_LOOPS)
constexpr Converters kAvx2 = {ConvertMono8Avx2, ConvertMono16Avx2, ConvertStereo8Avx2,
                              ConvertStereo16Avx2};
#endif

const Converters& ConvertersFor(AudioConverters set) {
#if defined(TESSALY_AVX2_LOOPS)
  if (set == AudioConverters::Avx2) {
    return kAvx2;
  }
#else
  (void)set;
#endif
  return kBaseline;
}

}  // namespace

AudioConverters ChooseAudioConverters() {
#if defined(TESSALY_AVX2_LOOPS)
  if (IsProcessorFeaturePresent(PF_AVX2_INSTRUCTIONS_AVAILABLE)) {
    return AudioConverters::Avx2;
  }
#endif
  return AudioConverters::Baseline;
}

void ConvertAudioChunk(const BYTE* source, DWORD length, WORD channels, WORD bitsPerSample,
                       AudioConverters set, BYTE* destination) {
  if (length == 0) {
    return;
  }
  const Converters& converters = ConvertersFor(set);
  if (channels == 1 && bitsPerSample == 8) {
    converters.mono8(source, length, destination);
  } else if (channels == 1 && bitsPerSample == 16) {
    converters.mono16(source, length, destination);
  } else if (channels == 2 && bitsPerSample == 8) {
    converters.stereo8(source, length, destination);
  } else if (channels == 2 && bitsPerSample == 16) {
    converters.stereo16(source, length, destination);
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
  uint32_t head = 0;
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
