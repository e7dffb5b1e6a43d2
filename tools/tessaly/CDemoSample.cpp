#include "tessaly/CDemoSample.h"

#include <cmath>

namespace tessaly::cli {

namespace {

constexpr uint32_t kBlock = 4;
constexpr uint32_t kSquareBlocks = 6;
constexpr uint32_t kSamplesPerFrame =
    CDemoSample::kSampleRate * CDemoSample::kFrameTicks / CDemoSample::kTimeBase;

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void PutAt24(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 16);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
  out[at + 2] = static_cast<uint8_t>(value);
}

void PutAt16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
}

}  // namespace

CDemoSample::CDemoSample() {
  filmwriter::FilmFormat format;
  format.width = kWidth;
  format.height = kHeight;
  format.bitCount = 24;
  format.channels = 2;
  format.bitsPerSample = 16;
  format.sampleRate = kSampleRate;
  format.timeBase = kTimeBase;
  m_writer = filmwriter::FilmWriter(format);
  for (uint32_t frame = 0; frame < kFrames; ++frame) {
    m_writer.AddAudio(Tone(frame * kSamplesPerFrame, kSamplesPerFrame));
    m_writer.AddVideo(Frame(frame), kFrameTicks, true);
  }
}

std::vector<uint8_t> CDemoSample::Frame(uint32_t index) {
  const uint32_t columns = kWidth / kBlock;
  const uint32_t rows = kHeight / kBlock;
  std::vector<uint8_t> frame;
  frame.push_back(0);               // flags
  frame.insert(frame.end(), 3, 0);  // length, filled in below
  PutU16(frame, kWidth);
  PutU16(frame, kHeight);
  PutU16(frame, 1);  // strips

  const size_t strip = frame.size();
  PutU16(frame, 0x1000);  // intra strip
  PutU16(frame, 0);       // strip length, filled in below
  PutU16(frame, 0);       // top
  PutU16(frame, 0);       // left
  PutU16(frame, kHeight);
  PutU16(frame, kWidth);

  // Two codebook entries (four luma values and two chroma values each):
  // a dark blue ground and a yellow square.
  const uint8_t codebook[2][6] = {{40, 40, 40, 40, 40, 246}, {200, 200, 200, 200, 196, 20}};
  PutU16(frame, 0x2200);
  PutU16(frame, 4 + sizeof(codebook));
  for (const auto& entry : codebook) frame.insert(frame.end(), entry, entry + 6);

  PutU16(frame, 0x3200);
  PutU16(frame, 4 + columns * rows);
  // The square crosses the picture left to right and bounces off the edges.
  const uint32_t travel = columns - kSquareBlocks;
  const uint32_t phase = index % (2 * travel);
  const uint32_t left = phase < travel ? phase : 2 * travel - phase;
  const uint32_t top = (rows - kSquareBlocks) / 2 + (index % 4 < 2 ? 0 : 1);
  for (uint32_t y = 0; y < rows; ++y) {
    for (uint32_t x = 0; x < columns; ++x) {
      const bool inside =
          x >= left && x < left + kSquareBlocks && y >= top && y < top + kSquareBlocks;
      frame.push_back(inside ? 1 : 0);
    }
  }
  PutAt24(frame, 1, static_cast<uint32_t>(frame.size()));
  PutAt16(frame, strip + 2, static_cast<uint32_t>(frame.size() - strip));
  return frame;
}

std::vector<uint8_t> CDemoSample::Tone(uint32_t firstSample, uint32_t sampleCount) {
  const double pi = std::acos(-1.0);
  std::vector<uint8_t> pcm;
  pcm.reserve(sampleCount * 4);
  for (uint32_t i = 0; i < sampleCount; ++i) {
    const double t = static_cast<double>(firstSample + i) / kSampleRate;
    const double channels[2] = {std::sin(2 * pi * 440 * t), std::sin(2 * pi * 660 * t)};
    for (double value : channels) {
      const auto sample = static_cast<int16_t>(std::lround(value * 9000));
      pcm.push_back(static_cast<uint8_t>(sample & 0xFF));
      pcm.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
    }
  }
  return pcm;
}

}  // namespace tessaly::cli
