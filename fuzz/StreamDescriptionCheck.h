// Runs one fuzz input through the stream description and the payload
// shaping, checking every promise their headers make. Shared by the fuzzer
// and the regression tests, so it reports instead of aborting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcheck {

// An input is a control block followed by the FILM file. The control block
// chooses how the byte source answers and which extra row index is tried.
struct StreamDescriptionControl {
  bool pastEndShort = false;    // reads past the end copy what exists (S_FALSE) instead of failing
  bool secondParse = false;     // parse again, over the file from secondFileOffset on
  uint8_t firstHeaderRead = 0;  // byte source plan bytes of the first parse
  uint8_t firstTableRead = 0;
  uint8_t secondHeaderRead = 0;
  uint8_t secondTableRead = 0;
  uint8_t secondFileOffsetRows = 0;  // the second file starts 16 × this many bytes in
  uint8_t chunkRead = 0;             // plan byte of the chunk reads that chunkReadMask picks
  uint8_t chunkReadMask = 0;         // bit k % 8 set: chunk read k follows chunkRead
  uint32_t extraRowIndex = 0;

  static constexpr size_t kLength = 12;
  // Table regions between this and the parse's own limit cost tens of
  // milliseconds each (the parse commits and zeroes them), and any flag that
  // let the fuzzer opt in would be found and taken at once; the fuzzer skips
  // such inputs and the regression tests run them.
  static constexpr uint32_t kQuickRegionLimit = 256u * 1024u;

  std::vector<uint8_t> Encode() const;
  // Inputs shorter than kLength are padded with zero bytes.
  static StreamDescriptionControl Decode(const uint8_t* data, size_t size);
};

// Control block followed by the file.
std::vector<uint8_t> MakeStreamDescriptionInput(const StreamDescriptionControl& control,
                                                const std::vector<uint8_t>& film);

// Empty when every promise held; otherwise what broke, for a human. Without
// largeRegions, an input claiming a region above kQuickRegionLimit (and
// within the parse's limit) is skipped.
std::string CheckStreamDescriptionInput(const uint8_t* data, size_t size,
                                        bool largeRegions = false);

}  // namespace fuzzcheck
