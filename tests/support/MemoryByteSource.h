// An in-memory FILM byte source for tests and fuzzers, with a plan of
// misbehaving reads.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "film/CFilmByteSource.h"

class MemoryByteSource : public CFilmByteSource {
 public:
  struct Read {
    LONGLONG position;
    LONG length;
    HRESULT result;
    size_t copied;  // bytes written to the front of the caller's buffer
  };

  // What a read reaching past the end of the bytes answers.
  enum class PastEnd {
    Fail,       // E_FAIL, nothing copied
    ShortRead,  // the bytes that exist are copied, S_FALSE
  };

  MemoryByteSource() = default;
  explicit MemoryByteSource(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
  virtual ~MemoryByteSource() = default;

  HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) override;
  // The size of the bytes, or film::kUnknownFileLength once LengthUnknown.
  LONGLONG AvailableLength() override;

  // Reads are numbered from 0 in the order they arrive.
  void FailRead(size_t index, HRESULT result = E_FAIL);
  // That read copies `missing` bytes fewer than asked (never below 0) and
  // answers S_FALSE; the tail of the buffer is left untouched.
  void ShortenRead(size_t index, LONG missing);
  // The next reads follow these plan bytes, one each, as a fuzzer's input
  // chooses them: the low two bits pick the answer (0 normal, 1 S_FALSE,
  // 2 short by the other six bits, 3 a failure: E_FAIL, or an upstream
  // reader's end-of-file code when bit 2 is set).
  void Plan(const std::vector<uint8_t>& planBytes);
  // Every successful read answers S_FALSE instead of S_OK.
  void AnswerSFalse(bool enabled);
  void SetPastEnd(PastEnd behaviour);
  // The source cannot tell its length, as one whose Length call fails.
  void LengthUnknown() { m_lengthUnknown = true; }

  std::vector<Read> Reads() const;
  size_t ReadCount() const;
  // Forgets the reads and the plan: the next read is number 0 again.
  void ForgetReads();
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

 private:
  mutable std::mutex m_lock;
  std::vector<uint8_t> m_bytes;
  std::map<size_t, HRESULT> m_failures;
  std::map<size_t, LONG> m_shortenings;
  bool m_answerSFalse = false;
  PastEnd m_pastEnd = PastEnd::Fail;
  bool m_lengthUnknown = false;
  std::vector<Read> m_reads;
};
