// The built-in sample of `tessaly demo`: three seconds of a stereo tone and
// a moving square as Cinepak key frames of two colours, written with the FILM
// writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

class CDemoSample {
 public:
  static constexpr uint32_t kWidth = 160;
  static constexpr uint32_t kHeight = 120;
  static constexpr uint16_t kSampleRate = 22050;
  static constexpr uint32_t kTimeBase = 600;
  static constexpr uint32_t kFrameTicks = 40;  // 15 frames a second
  static constexpr uint32_t kFrames = 45;

  CDemoSample();

  const filmwriter::FilmWriter& Writer() const { return m_writer; }
  std::vector<uint8_t> Bytes() const { return m_writer.Build(); }

  // One frame: a 10-byte head (flags, 24-bit length, width, height, strip
  // count), then a single strip with a two-entry codebook and one code per
  // 4×4 block.
  static std::vector<uint8_t> Frame(uint32_t index);
  // Interleaved 16-bit stereo PCM for the frame's span: 440 Hz left, 660 Hz right.
  static std::vector<uint8_t> Tone(uint32_t firstSample, uint32_t sampleCount);

 private:
  filmwriter::FilmWriter m_writer;
};

}  // namespace tessaly::cli
