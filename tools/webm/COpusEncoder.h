// Opus through Debian's libopus, after resampling to 48 kHz with Debian's
// libsoxr: interleaved samples in at the movie's rate, 20 ms packets out.
// One resampler thread and fixed settings keep the bytes the same run after
// run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OpusEncoder;
struct soxr;

namespace tessaly::webm {

struct OpusPacket {
  int64_t timeMs = 0;
  std::vector<uint8_t> bytes;
  int64_t discardPaddingNs = 0;  // the last packet's padding after the sound's end
};

class COpusEncoder {
 public:
  COpusEncoder() = default;
  COpusEncoder(const COpusEncoder&) = delete;
  COpusEncoder& operator=(const COpusEncoder&) = delete;
  ~COpusEncoder();

  // One or two channels at any rate above 0 Hz; the resampler takes them all to 48 kHz.
  bool Open(uint32_t rate, uint32_t channels, std::string* error);

  // The identification header a WebM track carries, and the samples its
  // decoder drops at the start (the encoder's look-ahead), in nanoseconds.
  std::vector<uint8_t> Head() const;
  uint64_t CodecDelayNs() const;

  // frames interleaved samples in [-1, 1] at the input rate.
  bool Append(const float* samples, size_t frames, std::vector<OpusPacket>* packets,
              std::string* error);
  // Encodes what remains; the output then decodes to exactly the input's
  // length at 48 kHz.
  bool Finish(std::vector<OpusPacket>* packets, std::string* error);

 private:
  bool Resample(const float* samples, size_t frames, std::string* error);
  bool EncodeWhole(std::vector<OpusPacket>* packets, std::string* error);

  OpusEncoder* m_encoder = nullptr;  // owned
  soxr* m_resampler = nullptr;       // owned
  uint32_t m_rate = 0;
  uint32_t m_channels = 0;
  int m_preSkip = 0;
  uint64_t m_inputFrames = 0;
  uint64_t m_resampledFrames = 0;  // 48 kHz frames produced so far
  std::vector<float> m_pending;    // 48 kHz samples not yet encoded
  uint64_t m_packets = 0;
};

}  // namespace tessaly::webm
