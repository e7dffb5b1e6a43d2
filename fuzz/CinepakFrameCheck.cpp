#include "CinepakFrameCheck.h"

#include "cinepak/CFrameDecoder.h"

namespace fuzzcheck {
namespace {

using tessaly::cinepak::DecodeStatus;

constexpr uint8_t kGuard = 0x5A;
constexpr size_t kGuardBytes = 64;

struct Outcome {
  std::string failure;
  size_t whole = 0;
};

Outcome Run(const uint8_t* data, size_t size) {
  Outcome outcome;
  if (size < kCinepakControlLength) return outcome;
  tessaly::cinepak::PictureView view;
  view.width = data[0] + 1u;
  view.height = data[1] + 1u;
  view.layout = (data[2] & 1) != 0 ? tessaly::cinepak::PixelLayout::Bgrx32
                                   : tessaly::cinepak::PixelLayout::Bgr24;
  view.bottomUp = (data[2] & 2) != 0;
  view.stride = view.width * view.BytesPerPixel();
  const size_t pictureBytes = view.stride * view.height;
  std::vector<uint8_t> buffer(pictureBytes + 2 * kGuardBytes, kGuard);
  view.pixels = buffer.data() + kGuardBytes;
  tessaly::cinepak::CCodebooks codebooks;

  size_t at = kCinepakControlLength;
  while (at < size) {
    size_t length = size - at;
    if (size - at >= 2) {
      const size_t stated = (size_t(data[at]) << 8) | data[at + 1];
      at += 2;
      length = stated <= size - at ? stated : size - at;
    }
    const DecodeStatus status = tessaly::cinepak::DecodeFrame(data + at, length, codebooks, view);
    at += length;
    if (status > DecodeStatus::kBadChunk) outcome.failure = "a status outside the enumeration";
    if (status == DecodeStatus::kOk) ++outcome.whole;
  }
  for (size_t i = 0; i < kGuardBytes; ++i) {
    if (buffer[i] != kGuard || buffer[kGuardBytes + pictureBytes + i] != kGuard) {
      outcome.failure = "the decoder wrote outside the picture";
    }
  }
  return outcome;
}

void PutU16(std::vector<uint8_t>& out, size_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

}  // namespace

std::vector<uint8_t> MakeCinepakInput(uint32_t width, uint32_t height, uint8_t layout,
                                      const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> input{static_cast<uint8_t>(width - 1), static_cast<uint8_t>(height - 1),
                             layout};
  for (const std::vector<uint8_t>& frame : frames) {
    PutU16(input, frame.size());
    input.insert(input.end(), frame.begin(), frame.end());
  }
  return input;
}

std::string CheckCinepakInput(const uint8_t* data, size_t size) { return Run(data, size).failure; }

size_t CinepakFramesDecoded(const uint8_t* data, size_t size) { return Run(data, size).whole; }

}  // namespace fuzzcheck
