#include "support/MemoryByteSource.h"

#include <algorithm>
#include <cstring>

#include "film/FilmLayout.h"

namespace {

// What an upstream reader answers for a read at the end of its file
// (ERROR_HANDLE_EOF as an HRESULT).
constexpr HRESULT kEndOfFileResult = static_cast<HRESULT>(0x80070026u);

}  // namespace

HRESULT MemoryByteSource::ReadAt(LONGLONG position, LONG length, BYTE* buffer) {
  std::lock_guard<std::mutex> guard(m_lock);
  const size_t index = m_reads.size();
  HRESULT result = S_OK;
  uint64_t count = 0;
  auto failure = m_failures.find(index);
  if (failure != m_failures.end()) {
    result = failure->second;
  } else if (position < 0 || length < 0 || (buffer == nullptr && length > 0)) {
    result = E_INVALIDARG;
  } else {
    const uint64_t size = m_bytes.size();
    const uint64_t start = static_cast<uint64_t>(position);
    count = static_cast<uint64_t>(length);
    bool shortened = false;
    if (start > size || count > size - start) {
      if (m_pastEnd == PastEnd::Fail) {
        result = E_FAIL;
      }
      count = start < size ? size - start : 0;
      shortened = true;
    }
    auto shortening = m_shortenings.find(index);
    if (shortening != m_shortenings.end()) {
      count -= std::min<uint64_t>(count, static_cast<uint64_t>(shortening->second));
      shortened = true;
    }
    if (result == S_OK) {
      if (count > 0) {
        std::memcpy(buffer, m_bytes.data() + start, static_cast<size_t>(count));
      }
      result = (shortened || m_answerSFalse) ? S_FALSE : S_OK;
    }
  }
  m_reads.push_back(Read{position, length, result, FAILED(result) ? 0 : size_t(count)});
  return result;
}

LONGLONG MemoryByteSource::AvailableLength() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_lengthUnknown ? film::kUnknownFileLength : static_cast<LONGLONG>(m_bytes.size());
}

void MemoryByteSource::FailRead(size_t index, HRESULT result) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_failures[index] = result;
}

void MemoryByteSource::ShortenRead(size_t index, LONG missing) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_shortenings[index] = missing;
}

void MemoryByteSource::Plan(const std::vector<uint8_t>& planBytes) {
  std::lock_guard<std::mutex> guard(m_lock);
  for (size_t k = 0; k < planBytes.size(); ++k) {
    const size_t index = m_reads.size() + k;
    const uint8_t shortBy = planBytes[k] >> 2;
    switch (planBytes[k] & 3u) {
      case 1:
        m_shortenings[index] = 0;
        break;
      case 2:
        m_shortenings[index] = shortBy;
        break;
      case 3:
        // An upstream reader reports its own failures, not only E_FAIL.
        m_failures[index] = (shortBy & 1u) != 0 ? kEndOfFileResult : E_FAIL;
        break;
      default:
        break;
    }
  }
}

void MemoryByteSource::AnswerSFalse(bool enabled) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_answerSFalse = enabled;
}

void MemoryByteSource::SetPastEnd(PastEnd behaviour) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pastEnd = behaviour;
}

std::vector<MemoryByteSource::Read> MemoryByteSource::Reads() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_reads;
}

size_t MemoryByteSource::ReadCount() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_reads.size();
}

void MemoryByteSource::ForgetReads() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_reads.clear();
  m_failures.clear();
  m_shortenings.clear();
}
