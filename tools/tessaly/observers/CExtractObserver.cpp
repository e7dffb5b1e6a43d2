#include "tessaly/observers/CExtractObserver.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "media/ReferenceTime.h"
#include "tessaly/CCommandError.h"

namespace tessaly::cli {

namespace {

std::optional<WAVEFORMATEX> WaveFormatOf(const sinks::CSinkMediaType& type) {
  if (!IsEqualGUID(type.Type().majortype, MEDIATYPE_Audio)) return std::nullopt;
  return type.WaveFormat();
}

std::optional<media::AviVideoFormat> VideoFormatOf(const sinks::CSinkMediaType& type) {
  const std::optional<VIDEOINFOHEADER> info = type.VideoInfo();
  if (!IsEqualGUID(type.Type().majortype, MEDIATYPE_Video) || !info) return std::nullopt;
  media::AviVideoFormat format;
  format.header = info->bmiHeader;
  format.avgTimePerFrame = info->AvgTimePerFrame;
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
  if (audio) {
    const size_t block = std::max<size_t>(1, audio->nBlockAlign);
    m_audioBytesPerSecond = std::max<double>(1, audio->nAvgBytesPerSec);
    m_audioPieceBytes = std::max(block, audio->nAvgBytesPerSec / 2 / block * block);
  }
  m_queue = std::make_unique<media::CInterleavingQueue>(
      2, [this](const media::QueuedChunk& chunk) { return WriteAviChunk(chunk); });
  // A stream the file lacks is over before it starts.
  if (!video) m_queue->End(static_cast<size_t>(Kind::Video));
  if (!audio) m_queue->End(static_cast<size_t>(Kind::Audio));
}

HRESULT CExtractObserver::OnSample(const sinks::SinkSample& sample) {
  const auto stream = m_streams.find(sample.stream);
  if (stream == m_streams.end() || !m_queue) return S_OK;
  const uint8_t* bytes = sample.data;
  const size_t count = bytes != nullptr ? sample.dataBytes : 0;
  if (stream->second == Kind::Audio) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_failure.empty()) return E_FAIL;
    std::string error;
    if (!m_wav->Append(bytes, count, &error)) {
      m_failure = error;
      return E_FAIL;
    }
  }
  if (stream->second == Kind::Audio) return QueueAudio(bytes, count, sample.start);
  media::QueuedChunk chunk;
  chunk.stream = static_cast<size_t>(Kind::Video);
  chunk.start = sample.start;
  chunk.stop = sample.stop;
  chunk.keyFrame = sample.syncPoint;
  chunk.bytes.assign(bytes, bytes + count);
  return m_queue->Add(std::move(chunk)) ? S_OK : E_FAIL;
}

HRESULT CExtractObserver::QueueAudio(const uint8_t* bytes, size_t count,
                                     std::optional<REFERENCE_TIME> start) {
  // A FILM audio chunk may last seconds; in pieces of half a second at most
  // the AVI keeps its video near the audio of the same time.
  size_t offset = 0;
  do {
    const size_t piece = std::min(count - offset, m_audioPieceBytes);
    media::QueuedChunk chunk;
    chunk.stream = static_cast<size_t>(Kind::Audio);
    if (start) {
      chunk.start = *start + static_cast<REFERENCE_TIME>(double(offset) * media::kUnitsPerSecond /
                                                         m_audioBytesPerSecond);
    }
    chunk.keyFrame = true;
    chunk.bytes.assign(bytes + offset, bytes + offset + piece);
    if (!m_queue->Add(std::move(chunk))) return E_FAIL;
    offset += piece;
  } while (offset < count);
  return S_OK;
}

void CExtractObserver::OnEndOfStream(const std::string& stream) {
  const auto found = m_streams.find(stream);
  if (found != m_streams.end() && m_queue) m_queue->End(static_cast<size_t>(found->second));
}

void CExtractObserver::OnStop() {
  if (m_queue) m_queue->Release();
}

bool CExtractObserver::WriteAviChunk(const media::QueuedChunk& chunk) {
  std::string error;
  const uint8_t* bytes = chunk.bytes.data();
  const bool written = chunk.stream == static_cast<size_t>(Kind::Audio)
                           ? m_avi->AddAudioChunk(bytes, chunk.bytes.size(), chunk.start, &error)
                           : m_avi->AddVideoFrame(bytes, chunk.bytes.size(), chunk.keyFrame,
                                                  chunk.start, chunk.stop, &error);
  if (!written) {
    SetFailure(error);
    return false;
  }
  // Chunks are written in time order, so this follows the stream furthest behind.
  if (m_progress) m_progress->Update(media::Seconds(chunk.stop.value_or(chunk.key)));
  return true;
}

void CExtractObserver::SetFailure(const std::string& message) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_failure.empty()) m_failure = message;
}

std::string CExtractObserver::Failure() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_failure;
}

std::vector<std::string> CExtractObserver::Finish() {
  if (m_queue && !m_queue->Flush()) {
    Abandon();
    throw CCommandError(kExitOutputFailed, Failure());
  }
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
  if (m_queue) m_queue->Release();
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_wav) m_wav->Abandon();
  if (m_avi) m_avi->Abandon();
}

}  // namespace tessaly::cli
