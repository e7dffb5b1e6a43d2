#include "tessaly/observers/CConvertObserver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/ReferenceTime.h"
#include "tessaly/CCommandError.h"

namespace tessaly::cli {

namespace {

// A key frame at least this often, so that a seek finds one close before it.
constexpr int64_t kKeyFrameEveryMs = 2000;
// The largest picture side the VP9 encoder takes.
constexpr uint32_t kLargestVp9Side = 16384;
// Silence goes to the encoder a second at most at a time, so that a long
// gap does not become one huge buffer.
constexpr uint64_t kSilenceSeconds = 1;
// More silence than this for sound the splitter lost is a table too damaged
// to convert: a hostile row could claim years, and encoding them would never end.
constexpr uint64_t kMostLostSeconds = 3600;
// What the stream ahead may hold in front of the muxer while the other one
// catches up: about five seconds of Opus packets, a few seconds of the
// largest VP9 frames; the movie's length no longer matters.
constexpr size_t kHeldChunks = 256;
constexpr size_t kHeldBytes = size_t{4} << 20;

int64_t Milliseconds(REFERENCE_TIME time) {
  return std::max<int64_t>(0, (time + media::kUnitsPerMs / 2) / media::kUnitsPerMs);
}

bool IsVideo(const OutputPin& pin) {
  return pin.connected && IsEqualGUID(pin.type.Type().majortype, MEDIATYPE_Video);
}

std::optional<WAVEFORMATEX> PcmFormatOf(const OutputPin& pin) {
  if (!pin.connected || !IsEqualGUID(pin.type.Type().majortype, MEDIATYPE_Audio)) {
    return std::nullopt;
  }
  return pin.type.WaveFormat();
}

}  // namespace

void CConvertObserver::SetProgress(std::shared_ptr<CProgressBar> progress) {
  m_progress = progress;
  if (m_pictures) m_pictures->SetProgress(std::move(progress));
}

void CConvertObserver::Open(const std::vector<OutputPin>& pins) {
  std::optional<WAVEFORMATEX> wave;
  for (const OutputPin& pin : pins) {
    if (!m_sound && (wave = PcmFormatOf(pin))) {
      m_sound = std::make_unique<Sound>();
      m_sound->stream = pin.name;
    }
  }
  if (std::any_of(pins.begin(), pins.end(), IsVideo)) {
    m_pictures =
        std::make_shared<CPictureObserver>([this](const MoviePicture& picture, std::string* error) {
          return OnPicture(picture, error);
        });
    m_pictures->Open(pins);  // refuses video that is not Cinepak
  }
  if (!m_sound && !m_pictures) {
    throw CCommandError(kExitRefused, "the file has no PCM audio and no video stream to convert");
  }
  std::optional<webm::VideoTrackInfo> video;
  std::optional<webm::AudioTrackInfo> audio;
  std::string error;
  if (m_sound) {
    if (wave->wFormatTag != WAVE_FORMAT_PCM ||
        (wave->wBitsPerSample != 8 && wave->wBitsPerSample != 16)) {
      throw CCommandError(kExitRefused,
                          "the sound is not 8- or 16-bit PCM; it cannot be converted");
    }
    m_sound->rate = wave->nSamplesPerSec;
    m_sound->channels = wave->nChannels;
    m_sound->bytesPerSample = wave->wBitsPerSample / 8;
    if (!m_sound->encoder.Open(m_sound->rate, m_sound->channels, &error)) {
      throw CCommandError(kExitRefused, error);
    }
    audio.emplace();
    audio->channels = m_sound->channels;
    audio->opusHead = m_sound->encoder.Head();
    audio->codecDelayNs = m_sound->encoder.CodecDelayNs();
  }
  if (m_pictures) {
    CheckPictureSize();
    if (!m_video.Open(m_pictures->Width(), m_pictures->Height(), m_level, &error)) {
      throw CCommandError(kExitFailure, error);
    }
    video = webm::VideoTrackInfo{m_pictures->Width(), m_pictures->Height()};
  }
  if (!m_muxer.Open(m_path, video, audio, &error)) throw CCommandError(kExitOutputFailed, error);
  m_queue = std::make_unique<media::CInterleavingQueue>(
      2, [this](const media::QueuedChunk& chunk) { return WriteBlock(chunk); }, kHeldBytes,
      kHeldChunks);
  m_queue->SetEndWriter([this](size_t stream) { return WriteEnd(stream); });
  // A stream the file lacks is over before it starts.
  if (!m_pictures) m_queue->End(static_cast<size_t>(Kind::Video));
  if (!m_sound) m_queue->End(static_cast<size_t>(Kind::Audio));
}

HRESULT CConvertObserver::OnSample(const sinks::SinkSample& sample) {
  if (HasFailed()) return E_FAIL;
  if (m_sound && sample.stream == m_sound->stream) return OnAudio(sample);
  if (!m_pictures) return S_OK;
  return OnVideo(sample);
}

HRESULT CConvertObserver::OnVideo(const sinks::SinkSample& sample) {
  std::lock_guard<std::mutex> guard(m_videoLock);
  if (m_picturesEnded) return S_OK;
  // A frame at or after the end asked for is neither decoded nor written.
  if (m_limitMs && Milliseconds(sample.start.value_or(0)) >= *m_limitMs && !sample.preroll) {
    return S_OK;
  }
  const HRESULT hr = m_pictures->OnSample(sample);
  if (FAILED(hr)) SetFailure(kExitOutputFailed, m_pictures->Failure());
  return hr;
}

void CConvertObserver::OnEndOfStream(const std::string& stream) {
  std::string error;
  if (m_sound && stream == m_sound->stream) {
    std::lock_guard<std::mutex> guard(m_soundLock);
    if (!EndSoundLocked(&error)) SetFailure(kExitFailure, error);
    return;
  }
  if (!m_pictures || stream != m_pictures->Stream()) return;
  std::lock_guard<std::mutex> guard(m_videoLock);
  if (!EndPicturesLocked(&error)) SetFailure(kExitFailure, error);
}

void CConvertObserver::OnStop() {
  if (m_queue) m_queue->Release();
}

void CConvertObserver::CheckPictureSize() const {
  const uint32_t width = m_pictures->Width();
  const uint32_t height = m_pictures->Height();
  if (width >= 1 && height >= 1 && width <= kLargestVp9Side && height <= kLargestVp9Side) return;
  throw CCommandError(
      kExitRefused, "the pictures are " + std::to_string(width) + "x" + std::to_string(height) +
                        " pixels; VP9 takes sizes from 1x1 to " + std::to_string(kLargestVp9Side) +
                        "x" + std::to_string(kLargestVp9Side));
}

bool CConvertObserver::OnPicture(const MoviePicture& picture, std::string* error) {
  const int64_t startMs = Milliseconds(picture.start);
  int64_t stopMs = std::max(startMs + 1, Milliseconds(picture.stop.value_or(picture.start)));
  if (m_limitMs) stopMs = std::min(stopMs, std::max(startMs + 1, *m_limitMs));
  // Milliseconds are the file's time unit: of two pictures in one, the
  // later is the one that stays on screen, so it takes the earlier's place.
  PendingPicture next{picture.pictures.Picture(), startMs, stopMs};
  if (m_pending && next.timeMs <= m_pending->timeMs) {
    next.timeMs = m_pending->timeMs;
    next.stopMs = std::max(next.stopMs, m_pending->stopMs);
  } else if (m_pending && !EncodePending(next.timeMs, error)) {
    return false;
  }
  m_pending = std::move(next);
  m_anyPicture = true;
  return true;
}

bool CConvertObserver::EncodePending(std::optional<int64_t> nextMs, std::string* error) {
  const PendingPicture& pending = *m_pending;
  // A key frame here when the next frame would lie more than two seconds
  // after the last one, so that no gap between key frames passes two seconds.
  const bool key = !m_lastKeyMs || pending.timeMs - *m_lastKeyMs > kKeyFrameEveryMs ||
                   (nextMs && *nextMs - *m_lastKeyMs > kKeyFrameEveryMs);
  std::vector<webm::Vp9Frame> frames;
  if (!m_video.Encode(pending.picture.rgb.data(), pending.timeMs, pending.stopMs - pending.timeMs,
                      key, &frames, error)) {
    return false;
  }
  m_videoEndMs = std::max(m_videoEndMs, pending.stopMs);
  for (webm::Vp9Frame& frame : frames) {
    if (frame.key) m_lastKeyMs = frame.timeMs;
    if (m_heldFrame && !QueuePacket(Kind::Video, std::move(*m_heldFrame), error)) return false;
    m_heldFrame.emplace();
    m_heldFrame->timeMs = frame.timeMs;
    m_heldFrame->key = frame.key;
    m_heldFrame->bytes = std::move(frame.bytes);
  }
  return true;
}

HRESULT CConvertObserver::OnAudio(const sinks::SinkSample& sample) {
  std::lock_guard<std::mutex> guard(m_soundLock);
  if (m_soundEnded) return S_OK;
  Sound& sound = *m_sound;
  std::string error;
  const bool started = sound.skipFrames.has_value();
  if (!started && !StartSound(sample, &error)) return Fail(error);
  if (started && sample.discontinuity && !KeepMovieTime(sample, &error)) return Fail(error);
  if (sample.data != nullptr)
    sound.partial.insert(sound.partial.end(), sample.data, sample.data + sample.dataBytes);
  const std::vector<float> samples = TakeWholeFrames();
  sound.delivered += samples.size() / sound.channels;
  if (!AddSound(samples, &error)) return Fail(error);
  if (!m_pictures && sample.stop) {
    m_furthest = std::max(m_furthest, media::Seconds(*sample.stop));
    if (m_progress) m_progress->Update(m_furthest);
  }
  return S_OK;
}

bool CConvertObserver::StartSound(const sinks::SinkSample& sample, std::string* error) {
  Sound& sound = *m_sound;
  // The sound starts with the pictures: silence before a late first
  // sample, and none of what lies before the start.
  const double startSeconds = media::Seconds(sample.start.value_or(0));
  sound.skipFrames = -std::llround(startSeconds * sound.rate);
  if (m_limitMs) sound.mostFrames = static_cast<uint64_t>(*m_limitMs) * sound.rate / 1000;
  if (*sound.skipFrames >= 0) return true;
  const auto silence = static_cast<uint64_t>(-*sound.skipFrames);
  sound.skipFrames = 0;
  return FillLostSound(silence, error);
}

bool CConvertObserver::KeepMovieTime(const sinks::SinkSample& sample, std::string* error) {
  Sound& sound = *m_sound;
  if (!sample.start) return true;
  // After a loss the sample keeps its own time: what was lost becomes
  // silence, so that the sound after it stays in step with the pictures.
  sound.partial.clear();
  const int64_t wanted = std::llround(media::Seconds(*sample.start) * sound.rate);
  const int64_t next = static_cast<int64_t>(sound.frames) - *sound.skipFrames;
  if (wanted <= next) {
    *sound.skipFrames += next - wanted;
    return true;
  }
  const int64_t gap = wanted - next;
  const int64_t skipped = std::min(gap, *sound.skipFrames);
  *sound.skipFrames -= skipped;
  return FillLostSound(static_cast<uint64_t>(gap - skipped), error);
}

bool CConvertObserver::FillLostSound(uint64_t frames, std::string* error) {
  Sound& sound = *m_sound;
  if (frames > uint64_t{sound.rate} * kMostLostSeconds -
                   std::min(sound.filled, uint64_t{sound.rate} * kMostLostSeconds)) {
    *error =
        "the sound lacks more than an hour where the splitter could not play its rows; "
        "its sample table is too damaged to convert";
    SetFailure(kExitRefused, *error);
    return false;
  }
  sound.filled += frames;
  return AddSilence(frames, error);
}

std::vector<float> CConvertObserver::TakeWholeFrames() {
  Sound& sound = *m_sound;
  const uint32_t frameBytes = sound.bytesPerSample * sound.channels;
  const size_t whole = sound.partial.size() / frameBytes;
  size_t first = 0;
  if (*sound.skipFrames > 0) {
    first = std::min<size_t>(whole, static_cast<size_t>(*sound.skipFrames));
    *sound.skipFrames -= static_cast<int64_t>(first);
  }
  const uint64_t room = sound.frames < sound.mostFrames ? sound.mostFrames - sound.frames : 0;
  const size_t last = first + static_cast<size_t>(std::min<uint64_t>(whole - first, room));
  std::vector<float> samples;
  samples.reserve((last - first) * sound.channels);
  for (size_t i = first * sound.channels; i < last * sound.channels; ++i) {
    if (sound.bytesPerSample == 1) {
      samples.push_back((sound.partial[i] - 128) / 128.0f);
    } else {
      const auto value =
          static_cast<int16_t>(sound.partial[2 * i] | (sound.partial[2 * i + 1] << 8));
      samples.push_back(value / 32768.0f);
    }
  }
  sound.partial.erase(sound.partial.begin(), sound.partial.begin() + whole * frameBytes);
  return samples;
}

bool CConvertObserver::AddSilence(uint64_t frames, std::string* error) {
  Sound& sound = *m_sound;
  const uint64_t room = sound.frames < sound.mostFrames ? sound.mostFrames - sound.frames : 0;
  uint64_t left = std::min(frames, room);
  const uint64_t piece = uint64_t{sound.rate} * kSilenceSeconds;
  while (left > 0) {
    const uint64_t count = std::min(left, piece);
    if (!AddSound(std::vector<float>(count * sound.channels, 0.0f), error)) return false;
    left -= count;
  }
  return true;
}

bool CConvertObserver::AddSound(const std::vector<float>& samples, std::string* error) {
  std::vector<webm::OpusPacket> packets;
  if (!m_sound->encoder.Append(samples.data(), samples.size() / m_sound->channels, &packets,
                               error)) {
    return false;
  }
  m_sound->frames += samples.size() / m_sound->channels;
  return QueueOpus(std::move(packets), error);
}

bool CConvertObserver::QueueOpus(std::vector<webm::OpusPacket> packets, std::string* error) {
  for (webm::OpusPacket& packet : packets) {
    webm::WebmPacket block;
    block.timeMs = packet.timeMs;
    block.key = true;
    block.bytes = std::move(packet.bytes);
    block.discardPaddingNs = packet.discardPaddingNs;
    if (!QueuePacket(Kind::Audio, std::move(block), error)) return false;
  }
  return true;
}

bool CConvertObserver::QueuePacket(Kind kind, webm::WebmPacket packet, std::string* error) {
  // The queue keeps times in 100-ns units; whole milliseconds come back whole.
  media::QueuedChunk chunk;
  chunk.stream = static_cast<size_t>(kind);
  chunk.start = packet.timeMs * media::kUnitsPerMs;
  if (packet.durationMs) chunk.stop = (packet.timeMs + *packet.durationMs) * media::kUnitsPerMs;
  chunk.keyFrame = packet.key;
  chunk.discardPaddingNs = packet.discardPaddingNs;
  chunk.bytes = std::move(packet.bytes);
  if (m_queue->Add(std::move(chunk))) return true;
  *error = "the WebM file could not be written";
  return false;
}

bool CConvertObserver::WriteBlock(const media::QueuedChunk& chunk) {
  webm::WebmPacket packet;
  packet.timeMs = chunk.start.value_or(0) / media::kUnitsPerMs;
  packet.key = chunk.keyFrame;
  if (chunk.stop) packet.durationMs = (*chunk.stop - chunk.start.value_or(0)) / media::kUnitsPerMs;
  packet.discardPaddingNs = chunk.discardPaddingNs;
  packet.bytes = chunk.bytes;
  std::string error;
  const bool written = chunk.stream == static_cast<size_t>(Kind::Video)
                           ? m_muxer.AddVideo(std::move(packet), &error)
                           : m_muxer.AddAudio(std::move(packet), &error);
  if (!written) SetFailure(kExitOutputFailed, error);
  return written;
}

bool CConvertObserver::WriteEnd(size_t stream) {
  std::string error;
  const bool ended = stream == static_cast<size_t>(Kind::Video) ? m_muxer.EndVideo(&error)
                                                                : m_muxer.EndAudio(&error);
  if (!ended) SetFailure(kExitOutputFailed, error);
  return ended;
}

bool CConvertObserver::EndPicturesLocked(std::string* error) {
  if (m_picturesEnded) return true;
  m_picturesEnded = true;
  const bool flushed = FlushPicturesLocked(error);
  // Ended even after a failure: the sound must not wait for pictures that never come.
  m_queue->End(static_cast<size_t>(Kind::Video));
  return flushed;
}

bool CConvertObserver::FlushPicturesLocked(std::string* error) {
  if (m_pending && !EncodePending(std::nullopt, error)) return false;
  m_pending.reset();
  if (!m_heldFrame) return true;
  m_heldFrame->durationMs = std::max<int64_t>(1, m_videoEndMs - m_heldFrame->timeMs);
  const bool queued = QueuePacket(Kind::Video, std::move(*m_heldFrame), error);
  m_heldFrame.reset();
  return queued;
}

bool CConvertObserver::EndSoundLocked(std::string* error) {
  if (m_soundEnded) return true;
  m_soundEnded = true;
  // A stream the movie gave nothing of gets no packet, so the file leaves it out.
  std::vector<webm::OpusPacket> packets;
  const bool flushed = m_sound->frames == 0 || (m_sound->encoder.Finish(&packets, error) &&
                                                QueueOpus(std::move(packets), error));
  m_queue->End(static_cast<size_t>(Kind::Audio));
  return flushed;
}

bool CConvertObserver::DeliveredAnything() {
  {
    std::lock_guard<std::mutex> guard(m_videoLock);
    if (m_anyPicture) return true;
  }
  std::lock_guard<std::mutex> guard(m_soundLock);
  return m_sound && m_sound->delivered > 0;
}

void CConvertObserver::Finish() {
  std::string error;
  double durationMs = 0;
  if (m_pictures) {
    std::lock_guard<std::mutex> guard(m_videoLock);
    if (!EndPicturesLocked(&error)) SetFailure(kExitFailure, error);
    durationMs = static_cast<double>(m_videoEndMs);
  }
  if (m_sound) {
    std::lock_guard<std::mutex> guard(m_soundLock);
    if (!EndSoundLocked(&error)) SetFailure(kExitFailure, error);
    if (m_sound->frames > 0)
      durationMs = std::max(durationMs, m_sound->frames * 1000.0 / m_sound->rate);
  }
  m_queue->Flush();
  if (HasFailed()) throw CCommandError(FailureCode(), Failure());
  if (!m_muxer.Finish(durationMs, &error)) throw CCommandError(kExitOutputFailed, error);
}

void CConvertObserver::Abandon() {
  // The sinks' threads have stopped by now; a late one must not wait for ever.
  if (m_queue) m_queue->Release();
  m_muxer.Abandon();
}

std::string CConvertObserver::Failure() {
  std::lock_guard<std::mutex> guard(m_failureLock);
  return m_failure;
}

ExitCode CConvertObserver::FailureCode() {
  std::lock_guard<std::mutex> guard(m_failureLock);
  return m_failureCode;
}

void CConvertObserver::SetFailure(ExitCode code, const std::string& message) {
  std::lock_guard<std::mutex> guard(m_failureLock);
  if (!m_failure.empty()) return;
  m_failure = message.empty() ? "the WebM file could not be written" : message;
  m_failureCode = code;
}

bool CConvertObserver::HasFailed() {
  std::lock_guard<std::mutex> guard(m_failureLock);
  return !m_failure.empty();
}

std::string CConvertObserver::DecodeWarning() {
  return m_pictures ? m_pictures->DecodeWarning() : std::string();
}

HRESULT CConvertObserver::Fail(const std::string& message) {
  SetFailure(kExitOutputFailed, message);
  return E_FAIL;
}

}  // namespace tessaly::cli
