#include "tessaly/commands/CDemoSample.h"

#include <cmath>

#include "filmwriter/CinepakKeyFrame.h"

namespace tessaly::cli {

namespace {

constexpr uint32_t kSquareBlocks = 6;
constexpr uint32_t kSamplesPerFrame =
    CDemoSample::kSampleRate * CDemoSample::kFrameTicks / CDemoSample::kTimeBase;

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
  filmwriter::CinepakKeyFrame frame(kWidth, kHeight);
  // Two codebook entries: a midnight blue ground and a golden square.
  const filmwriter::CinepakEntry ground = filmwriter::CinepakEntry::Colour(25, 35, 110);
  const filmwriter::CinepakEntry square = filmwriter::CinepakEntry::Colour(240, 190, 40);
  frame.SetCodebook({ground, square});

  // The square crosses the picture left to right and bounces off the edges.
  const uint32_t columns = frame.BlockColumns();
  const uint32_t rows = frame.BlockRows();
  const uint32_t travel = columns - kSquareBlocks;
  const uint32_t phase = index % (2 * travel);
  const uint32_t left = phase < travel ? phase : 2 * travel - phase;
  const uint32_t top = (rows - kSquareBlocks) / 2 + (index % 4 < 2 ? 0 : 1);
  std::vector<uint8_t> codes;
  codes.reserve(columns * rows);
  for (uint32_t y = 0; y < rows; ++y) {
    for (uint32_t x = 0; x < columns; ++x) {
      const bool inside =
          x >= left && x < left + kSquareBlocks && y >= top && y < top + kSquareBlocks;
      codes.push_back(inside ? 1 : 0);
    }
  }
  frame.SetCodes(std::move(codes));
  return frame.Encode();
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
