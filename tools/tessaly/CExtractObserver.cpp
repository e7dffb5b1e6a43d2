#include "tessaly/CExtractObserver.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "tessaly/CCommandError.h"

namespace tessaly::cli {

namespace {

constexpr double kUnitsPerSecond = 10000000.0;

std::optional<WAVEFORMATEX> WaveFormatOf(const sinks::CSinkMediaType& type) {
  constexpr size_t kPcmFormatBytes = offsetof(WAVEFORMATEX, cbSize);
  if (!IsEqualGUID(type.Type().majortype, MEDIATYPE_Audio) ||
      !IsEqualGUID(type.Type().formattype, FORMAT_WaveFormatEx) ||
      type.Format().size() < kPcmFormatBytes) {
    return std::nullopt;
  }
  WAVEFORMATEX wave{};
  std::memcpy(&wave, type.Format().data(), std::min(sizeof(wave), type.Format().size()));
  if (type.Format().size() < sizeof(wave)) wave.cbSize = 0;
  return wave;
}

std::optional<media::AviVideoFormat> VideoFormatOf(const sinks::CSinkMediaType& type) {
  if (!IsEqualGUID(type.Type().majortype, MEDIATYPE_Video) ||
      !IsEqualGUID(type.Type().formattype, FORMAT_VideoInfo) ||
      type.Format().size() < sizeof(VIDEOINFOHEADER)) {
    return std::nullopt;
  }
  VIDEOINFOHEADER info;
  std::memcpy(&info, type.Format().data(), sizeof(info));
  media::AviVideoFormat format;
  format.header = info.bmiHeader;
  format.avgTimePerFrame = info.AvgTimePerFrame;
  return format;
}

}  // namespace

void CExtractObserver::Open(const std::vector<OutputPin>& pins) {
  std::optional<WAVEFORMATEX> audio;
  std::optional<media::AviVideoFormat> video;
  for (const OutputPin& pin : pins) {
    if (!pin.connected) continue;
    if (!audio && (audio = WaveFormatOf(pin.type))) {
      m_streams[pin.name] = Kind::Audio;
    } else if (!video && (video = VideoFormatOf(pin.type))) {
      m_streams[pin.name] = Kind::Video;
    }
  }
  if (!audio && !video) {
    throw CCommandError(kExitRefused, "the file has no PCM audio and no video stream to extract");
  }
  std::string error;
  if (audio) {
    m_wav.emplace();
    if (!m_wav->Open(m_folder + "/audio.wav", *audio, &error)) {
      throw CCommandError(kExitOutputFailed, error);
    }
  }
  m_avi.emplace();
  if (!m_avi->Open(m_folder + "/movie.avi", video, audio, &error)) {
    if (m_wav) m_wav->Abandon();
    throw CCommandError(kExitOutputFailed, error);
  }
}

HRESULT CExtractObserver::OnSample(const sinks::SinkSample& sample) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_failure.empty()) return E_FAIL;
  const auto stream = m_streams.find(sample.stream);
  if (stream == m_streams.end()) return S_OK;
  const uint8_t* bytes = sample.data;
  const size_t count = bytes != nullptr ? sample.dataBytes : 0;
  std::string error;
  if (stream->second == Kind::Audio) {
    if (!m_wav->Append(bytes, count, &error) ||
        !m_avi->AddAudioChunk(bytes, count, sample.start, &error)) {
      return Fail(error);
    }
  } else if (!m_avi->AddVideoFrame(bytes, count, sample.syncPoint, sample.start, sample.stop,
                                   &error)) {
    return Fail(error);
  }
  if (sample.stop) m_furthest = std::max(m_furthest, *sample.stop / kUnitsPerSecond);
  if (m_progress) m_progress->Update(m_furthest);
  return S_OK;
}

HRESULT CExtractObserver::Fail(const std::string& message) {
  m_failure = message;
  return E_FAIL;
}

std::string CExtractObserver::Failure() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_failure;
}

std::vector<std::string> CExtractObserver::Finish() {
  std::lock_guard<std::mutex> guard(m_lock);
  std::vector<std::string> written;
  std::string error;
  if (m_wav) {
    if (!m_wav->Finish(&error)) {
      m_avi->Abandon();
      throw CCommandError(kExitOutputFailed, error);
    }
    written.push_back(m_folder + "/audio.wav");
  }
  if (!m_avi->Finish(&error)) {
    // The pair is one result: a WAVE file without its movie would be half of it.
    for (const std::string& path : written) unlink(path.c_str());
    throw CCommandError(kExitOutputFailed, error);
  }
  written.push_back(m_folder + "/movie.avi");
  return written;
}

void CExtractObserver::Abandon() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_wav) m_wav->Abandon();
  if (m_avi) m_avi->Abandon();
}

}  // namespace tessaly::cli
