#include "FuzzByteSource.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// What an upstream reader answers for a read at the end of its file
// (ERROR_HANDLE_EOF as an HRESULT).
constexpr HRESULT kEndOfFileResult = static_cast<HRESULT>(0x80070026u);

}  // namespace

FuzzByteSource::FuzzByteSource(const uint8_t* file, size_t size, bool pastEndShort)
    : m_file(file), m_size(size), m_pastEndShort(pastEndShort) {}

void FuzzByteSource::Plan(std::vector<uint8_t> planBytes) {
  m_plan = std::move(planBytes);
  m_planned = 0;
}

HRESULT FuzzByteSource::ReadAt(LONGLONG position, LONG length, BYTE* buffer) {
  uint8_t planByte = m_planned < m_plan.size() ? m_plan[m_planned++] : 0;
  Mode mode = static_cast<Mode>(planByte & 3u);
  uint64_t shortBy = planByte >> 2;

  Read read{position, length, S_OK, 0};
  if (position < 0 || length < 0 || (buffer == nullptr && length > 0)) {
    read.result = E_INVALIDARG;
  } else if (mode == Mode::Fail) {
    // An upstream reader reports its own failures, not only E_FAIL.
    read.result = (shortBy & 1u) != 0 ? kEndOfFileResult : E_FAIL;
  } else {
    uint64_t start = static_cast<uint64_t>(position);
    uint64_t count = static_cast<uint64_t>(length);
    bool shortened = false;
    if (start > m_size || count > m_size - start) {
      if (!m_pastEndShort) {
        read.result = E_FAIL;
      }
      count = start < m_size ? m_size - start : 0;
      shortened = true;
    }
    if (mode == Mode::Short) {
      count -= std::min(count, shortBy);
      shortened = true;
    }
    if (read.result == S_OK) {
      if (count > 0) {
        std::memcpy(buffer, m_file + start, static_cast<size_t>(count));
      }
      read.copied = static_cast<size_t>(count);
      read.result = (shortened || mode == Mode::AnswerSFalse) ? S_FALSE : S_OK;
    }
  }
  m_reads.push_back(read);
  return read.result;
}
