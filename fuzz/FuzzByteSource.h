// A FILM byte source over a fuzzer's input whose reads misbehave on a plan
// the input itself chooses: S_FALSE answers, short copies and failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "film/CFilmByteSource.h"

class FuzzByteSource : public CFilmByteSource {
 public:
  // How one read is answered, from one plan byte: the low two bits pick the
  // mode, the other six give how many bytes a short read leaves out.
  enum class Mode : uint8_t { Normal = 0, AnswerSFalse = 1, Short = 2, Fail = 3 };

  struct Read {
    LONGLONG position;
    LONG length;
    HRESULT result;
    size_t copied;  // bytes written to the front of the caller's buffer
  };

  // file is borrowed and must outlive the source. A read reaching past its
  // end fails when pastEndShort is false, else copies what exists (S_FALSE).
  FuzzByteSource(const uint8_t* file, size_t size, bool pastEndShort);

  HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) override;
  // The file's size: the source always knows it.
  LONGLONG AvailableLength() override { return static_cast<LONGLONG>(m_size); }

  // The next reads, in order, follow these plan bytes; later ones are normal.
  void Plan(std::vector<uint8_t> planBytes);

  const std::vector<Read>& Reads() const { return m_reads; }
  void ForgetReads() { m_reads.clear(); }

  const uint8_t* File() const { return m_file; }
  size_t Size() const { return m_size; }

 private:
  const uint8_t* m_file;  // borrowed
  size_t m_size;
  bool m_pastEndShort;
  std::vector<uint8_t> m_plan;
  size_t m_planned = 0;  // plan bytes already used
  std::vector<Read> m_reads;
};
