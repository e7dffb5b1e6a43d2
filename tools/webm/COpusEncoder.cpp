#include "webm/COpusEncoder.h"

#include <opus/opus.h>
#include <soxr.h>

#include <algorithm>

namespace tessaly::webm {

namespace {

constexpr uint32_t kOutputRate = 48000;
constexpr size_t kPacketFrames = 960;  // 20 ms
constexpr int64_t kPacketMs = 20;
constexpr size_t kLargestPacket = 4000;
constexpr int32_t kBitsPerSecondPerChannel = 64000;

void PutLittle(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

COpusEncoder::~COpusEncoder() {
  if (m_encoder != nullptr) opus_encoder_destroy(m_encoder);
  if (m_resampler != nullptr) soxr_delete(m_resampler);
}

bool COpusEncoder::Open(uint32_t rate, uint32_t channels, std::string* error) {
  if (channels < 1 || channels > 2) {
    if (error) {
      *error = "Opus in WebM takes one or two channels; the sound has " + std::to_string(channels);
    }
    return false;
  }
  if (rate == 0) {
    if (error) *error = "the sound's sample rate is 0 Hz; it has no time to be played in";
    return false;
  }
  int status = OPUS_OK;
  m_encoder =
      opus_encoder_create(kOutputRate, static_cast<int>(channels), OPUS_APPLICATION_AUDIO, &status);
  if (m_encoder == nullptr || status != OPUS_OK) {
    if (error) *error = std::string("cannot start the Opus encoder: ") + opus_strerror(status);
    return false;
  }
  opus_int32 lookahead = 0;
  if (opus_encoder_ctl(m_encoder, OPUS_SET_BITRATE(kBitsPerSecondPerChannel *
                                                   static_cast<int32_t>(channels))) != OPUS_OK ||
      opus_encoder_ctl(m_encoder, OPUS_SET_COMPLEXITY(10)) != OPUS_OK ||
      opus_encoder_ctl(m_encoder, OPUS_GET_LOOKAHEAD(&lookahead)) != OPUS_OK) {
    if (error) *error = "cannot set up the Opus encoder";
    return false;
  }
  m_preSkip = lookahead;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t failure = nullptr;
  m_resampler = soxr_create(rate, kOutputRate, channels, &failure, &io, &quality, &runtime);
  if (m_resampler == nullptr || failure != nullptr) {
    if (error) *error = std::string("cannot start the resampler: ") + (failure ? failure : "");
    return false;
  }
  m_rate = rate;
  m_channels = channels;
  return true;
}

std::vector<uint8_t> COpusEncoder::Head() const {
  std::vector<uint8_t> head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1};
  head.push_back(static_cast<uint8_t>(m_channels));
  PutLittle(head, static_cast<uint32_t>(m_preSkip), 2);
  PutLittle(head, m_rate, 4);
  PutLittle(head, 0, 2);  // output gain
  head.push_back(0);      // mono or stereo, no channel mapping table
  return head;
}

uint64_t COpusEncoder::CodecDelayNs() const {
  return uint64_t(m_preSkip) * 1000000000u / kOutputRate;
}

bool COpusEncoder::Append(const float* samples, size_t frames, std::vector<OpusPacket>* packets,
                          std::string* error) {
  m_inputFrames += frames;
  return Resample(samples, frames, error) && EncodeWhole(packets, error);
}

bool COpusEncoder::Resample(const float* samples, size_t frames, std::string* error) {
  std::vector<float> out((frames * kOutputRate / m_rate + 256) * m_channels);
  size_t used = 0;
  do {
    size_t taken = 0;
    size_t made = 0;
    const soxr_error_t failure =
        soxr_process(m_resampler, samples != nullptr ? samples + used * m_channels : nullptr,
                     frames - used, &taken, out.data(), out.size() / m_channels, &made);
    if (failure != nullptr) {
      if (error) *error = std::string("the resampler failed: ") + failure;
      return false;
    }
    used += taken;
    m_pending.insert(m_pending.end(), out.begin(), out.begin() + made * m_channels);
    m_resampledFrames += made;
    // Flushing (no samples) goes on until the resampler gives nothing more.
    if (samples == nullptr && made == 0) break;
  } while (samples == nullptr || used < frames);
  return true;
}

bool COpusEncoder::EncodeWhole(std::vector<OpusPacket>* packets, std::string* error) {
  const size_t packetSamples = kPacketFrames * m_channels;
  size_t offset = 0;
  unsigned char buffer[kLargestPacket];
  while (m_pending.size() - offset >= packetSamples) {
    const opus_int32 bytes = opus_encode_float(m_encoder, m_pending.data() + offset, kPacketFrames,
                                               buffer, kLargestPacket);
    if (bytes < 0) {
      if (error) *error = std::string("the Opus encoder failed: ") + opus_strerror(bytes);
      return false;
    }
    OpusPacket packet;
    packet.timeMs = static_cast<int64_t>(m_packets++) * kPacketMs;
    packet.bytes.assign(buffer, buffer + bytes);
    packets->push_back(std::move(packet));
    offset += packetSamples;
  }
  m_pending.erase(m_pending.begin(), m_pending.begin() + offset);
  return true;
}

bool COpusEncoder::Finish(std::vector<OpusPacket>* packets, std::string* error) {
  if (!Resample(nullptr, 0, error)) return false;
  // The resampler's last output may differ from the exact length by a
  // sample or so; the sound's length at 48 kHz is what a player must give.
  const uint64_t wanted = (m_inputFrames * kOutputRate + m_rate / 2) / m_rate;
  if (m_resampledFrames > wanted) {
    const uint64_t extra =
        std::min<uint64_t>(m_resampledFrames - wanted, m_pending.size() / m_channels);
    m_pending.resize(m_pending.size() - extra * m_channels);
  } else {
    m_pending.resize(m_pending.size() + (wanted - m_resampledFrames) * m_channels, 0.0f);
  }
  // The decoder drops the look-ahead at the start, so as many samples again
  // must go in after the end; the last packet is then filled with silence,
  // which the player drops too.
  const uint64_t encoded = wanted + static_cast<uint64_t>(m_preSkip);
  const uint64_t total = (encoded + kPacketFrames - 1) / kPacketFrames * kPacketFrames;
  const uint64_t written = m_packets * kPacketFrames + m_pending.size() / m_channels;
  if (total > written) m_pending.resize(m_pending.size() + (total - written) * m_channels, 0.0f);
  const size_t before = packets->size();
  if (!EncodeWhole(packets, error)) return false;
  if (packets->size() > before) {
    // Rounded up: a reader that drops a little less would keep a sample of padding.
    packets->back().discardPaddingNs =
        static_cast<int64_t>(((total - encoded) * 1000000000u + kOutputRate - 1) / kOutputRate);
  }
  return true;
}

}  // namespace tessaly::webm
