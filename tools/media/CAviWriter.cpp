#include "media/CAviWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "media/ReferenceTime.h"
#include "media/RiffBytes.h"

namespace tessaly::media {

namespace {

constexpr uint32_t kAvihBytes = 56;
constexpr uint32_t kStrhBytes = 56;
constexpr uint32_t kBitmapHeaderBytes = 40;
constexpr uint32_t kWaveFormatBytes = 18;
constexpr uint32_t kAviHasIndex = 0x10;
constexpr uint32_t kAviIsInterleaved = 0x100;
constexpr uint32_t kIndexKeyFrame = 0x10;

uint32_t Even(uint64_t size) { return static_cast<uint32_t>(size + (size & 1)); }

uint32_t ListBytes(uint32_t contentBytes) { return 12 + contentBytes; }
uint32_t ChunkBytes(uint32_t dataBytes) { return 8 + Even(dataBytes); }

uint32_t VideoStrlBytes() {
  return ListBytes(ChunkBytes(kStrhBytes) + ChunkBytes(kBitmapHeaderBytes));
}
uint32_t AudioStrlBytes() {
  return ListBytes(ChunkBytes(kStrhBytes) + ChunkBytes(kWaveFormatBytes));
}

// A rate of units per second as scale/rate in lowest terms within 32 bits.
void Reduce(uint64_t& scale, uint64_t& rate) {
  const uint64_t divisor = std::gcd(scale, rate);
  if (divisor > 1) {
    scale /= divisor;
    rate /= divisor;
  }
  while (scale > 0xFFFFFFFFu || rate > 0xFFFFFFFFu) {
    scale = (scale + 1) / 2;
    rate = (rate + 1) / 2;
  }
}

}  // namespace

bool CAviWriter::Open(const std::string& path, const std::optional<AviVideoFormat>& video,
                      const std::optional<WAVEFORMATEX>& audio, std::string* error) {
  if (!video && !audio) {
    if (error) *error = "cannot write " + path + ": there is no stream to write";
    return false;
  }
  m_video = video;
  m_audio = audio;
  m_videoTally = StreamTally();
  m_audioTally = StreamTally();
  int next = 0;
  if (m_video) m_videoTally.number = next++;
  if (m_audio) m_audioTally.number = next++;
  m_index.clear();
  if (!m_file.Open(path, error)) return false;

  // The headers are rewritten with their final values once the streams end.
  std::vector<uint8_t> placeholder(HeaderBytes(), 0);
  RiffBytes movi;
  movi.FourCC("LIST").U32(4).FourCC("movi");
  m_moviTypeOffset = placeholder.size() + 8;
  return m_file.Write(placeholder.data(), placeholder.size(), error) &&
         m_file.Write(movi.Bytes().data(), movi.Size(), error);
}

bool CAviWriter::AddVideoFrame(const uint8_t* bytes, size_t count, bool keyFrame,
                               std::optional<REFERENCE_TIME> start,
                               std::optional<REFERENCE_TIME> stop, std::string* error) {
  if (m_videoTally.number < 0) {
    if (error) *error = "cannot write " + m_file.Path() + ": it has no video stream";
    return false;
  }
  if (start && !m_videoTally.firstStart) m_videoTally.firstStart = start;
  if (start && stop && *stop > *start) {
    m_videoTally.timedDuration += *stop - *start;
    ++m_videoTally.timedFrames;
  }
  return AddChunk(m_videoTally, "dc", bytes, count, keyFrame ? kIndexKeyFrame : 0, error);
}

bool CAviWriter::AddAudioChunk(const uint8_t* bytes, size_t count,
                               std::optional<REFERENCE_TIME> start, std::string* error) {
  if (m_audioTally.number < 0) {
    if (error) *error = "cannot write " + m_file.Path() + ": it has no audio stream";
    return false;
  }
  if (start && !m_audioTally.firstStart) m_audioTally.firstStart = start;
  return AddChunk(m_audioTally, "wb", bytes, count, kIndexKeyFrame, error);
}

bool CAviWriter::AddChunk(StreamTally& stream, const char* suffix, const uint8_t* bytes,
                          size_t count, uint32_t flags, std::string* error) {
  const uint64_t indexBytes = 8 + 16 * (m_index.size() + 1);
  if (m_file.Size() + ChunkBytes(0) + Even(count) + indexBytes > kLargestFile) {
    if (error) *error = "cannot write " + m_file.Path() + ": the movie exceeds an AVI file's 4 GiB";
    m_file.Abandon();
    return false;
  }
  IndexEntry entry{};
  std::snprintf(entry.chunkId, sizeof(entry.chunkId), "%02d%s", stream.number, suffix);
  entry.flags = flags;
  entry.offset = static_cast<uint32_t>(m_file.Size() - m_moviTypeOffset);
  entry.size = static_cast<uint32_t>(count);

  RiffBytes head;
  for (int i = 0; i < 4; ++i) head.U8(static_cast<uint8_t>(entry.chunkId[i]));
  head.U32(entry.size);
  const uint8_t pad = 0;
  if (!m_file.Write(head.Bytes().data(), head.Size(), error) ||
      !m_file.Write(bytes, count, error) || (count % 2 != 0 && !m_file.Write(&pad, 1, error))) {
    return false;
  }
  m_index.push_back(entry);
  ++stream.chunks;
  stream.bytes += count;
  stream.largestChunk = std::max(stream.largestChunk, entry.size);
  return true;
}

bool CAviWriter::Finish(std::string* error) {
  if (!m_file.IsOpen()) {
    if (error && error->empty()) *error = "cannot write " + m_file.Path();
    return false;
  }
  const uint64_t moviEnd = m_file.Size();
  RiffBytes index;
  index.FourCC("idx1").U32(static_cast<uint32_t>(16 * m_index.size()));
  for (const IndexEntry& entry : m_index) {
    for (int i = 0; i < 4; ++i) index.U8(static_cast<uint8_t>(entry.chunkId[i]));
    index.U32(entry.flags).U32(entry.offset).U32(entry.size);
  }
  if (!m_file.Write(index.Bytes().data(), index.Size(), error)) return false;

  RiffBytes moviSize;
  moviSize.U32(static_cast<uint32_t>(moviEnd - m_moviTypeOffset));
  const std::vector<uint8_t> header = BuildHeader();
  return m_file.WriteAt(0, header.data(), header.size(), error) &&
         m_file.WriteAt(m_moviTypeOffset - 4, moviSize.Bytes().data(), 4, error) &&
         m_file.Commit(error);
}

size_t CAviWriter::HeaderBytes() const {
  uint32_t hdrl = ChunkBytes(kAvihBytes);
  if (m_video) hdrl += VideoStrlBytes();
  if (m_audio) hdrl += AudioStrlBytes();
  return 12 + ListBytes(hdrl);
}

std::vector<uint8_t> CAviWriter::BuildHeader() const {
  const Rate videoRate = VideoRate();
  const Rate audioRate = AudioRate();
  const uint32_t width = m_video ? static_cast<uint32_t>(m_video->header.biWidth) : 0;
  const int32_t signedHeight = m_video ? m_video->header.biHeight : 0;
  const uint32_t height = static_cast<uint32_t>(signedHeight < 0 ? -signedHeight : signedHeight);

  // The movie lasts as long as its longer stream.
  double seconds = 0;
  if (m_video && m_videoTally.chunks > 0) {
    seconds = double(m_videoTally.chunks) * videoRate.scale / videoRate.rate;
  }
  if (m_audio && audioRate.rate > 0) {
    const uint64_t units = m_audioTally.bytes / std::max<uint32_t>(1, m_audio->nBlockAlign);
    seconds = std::max(seconds, double(units) * audioRate.scale / audioRate.rate);
  }
  const double totalBytes = double(m_videoTally.bytes + m_audioTally.bytes);
  const uint32_t maxBytesPerSec =
      seconds > 0 ? static_cast<uint32_t>(std::min(4294967295.0, totalBytes / seconds + 0.5)) : 0;
  const uint32_t largest = Even(std::max(m_videoTally.largestChunk, m_audioTally.largestChunk));

  RiffBytes out;
  out.FourCC("RIFF").U32(static_cast<uint32_t>(m_file.Size() - 8)).FourCC("AVI ");
  out.FourCC("LIST").U32(static_cast<uint32_t>(HeaderBytes() - 12 - 8)).FourCC("hdrl");
  out.FourCC("avih").U32(kAvihBytes);
  const uint64_t microSecondsPerFrame =
      m_video ? uint64_t{videoRate.scale} * 1000000 / std::max<uint32_t>(1, videoRate.rate) : 0;
  out.U32(static_cast<uint32_t>(std::min<uint64_t>(microSecondsPerFrame, 0xFFFFFFFFu)));
  out.U32(maxBytesPerSec).U32(0).U32(kAviHasIndex | kAviIsInterleaved);
  out.U32(m_videoTally.chunks).U32(0).U32(m_video && m_audio ? 2 : 1).U32(largest);
  out.U32(width).U32(height).Zeros(16);

  if (m_video) {
    const BITMAPINFOHEADER& bitmap = m_video->header;
    out.FourCC("LIST").U32(VideoStrlBytes() - 8).FourCC("strl");
    out.FourCC("strh").U32(kStrhBytes).FourCC("vids").U32(bitmap.biCompression);
    out.U32(0).U16(0).U16(0).U32(0);
    out.U32(videoRate.scale).U32(videoRate.rate).U32(StartInUnits(m_videoTally, videoRate));
    out.U32(m_videoTally.chunks).U32(Even(m_videoTally.largestChunk)).U32(0xFFFFFFFFu).U32(0);
    out.U16(0).U16(0).U16(static_cast<uint16_t>(width)).U16(static_cast<uint16_t>(height));
    out.FourCC("strf").U32(kBitmapHeaderBytes);
    out.U32(kBitmapHeaderBytes).I32(bitmap.biWidth).I32(bitmap.biHeight).U16(bitmap.biPlanes);
    out.U16(bitmap.biBitCount).U32(bitmap.biCompression).U32(bitmap.biSizeImage);
    out.I32(bitmap.biXPelsPerMeter).I32(bitmap.biYPelsPerMeter).U32(bitmap.biClrUsed);
    out.U32(bitmap.biClrImportant);
  }
  if (m_audio) {
    const WAVEFORMATEX& wave = *m_audio;
    const uint32_t blockAlign = std::max<uint32_t>(1, wave.nBlockAlign);
    out.FourCC("LIST").U32(AudioStrlBytes() - 8).FourCC("strl");
    out.FourCC("strh").U32(kStrhBytes).FourCC("auds").U32(0);
    out.U32(0).U16(0).U16(0).U32(0);
    out.U32(audioRate.scale).U32(audioRate.rate).U32(StartInUnits(m_audioTally, audioRate));
    out.U32(static_cast<uint32_t>(m_audioTally.bytes / blockAlign));
    out.U32(Even(m_audioTally.largestChunk)).U32(0xFFFFFFFFu).U32(blockAlign);
    out.U16(0).U16(0).U16(0).U16(0);
    out.FourCC("strf").U32(kWaveFormatBytes);
    out.U16(wave.wFormatTag).U16(wave.nChannels).U32(wave.nSamplesPerSec);
    out.U32(wave.nAvgBytesPerSec).U16(wave.nBlockAlign).U16(wave.wBitsPerSample).U16(0);
  }
  return out.Bytes();
}

CAviWriter::Rate CAviWriter::VideoRate() const {
  uint64_t frameUnits = 0;
  if (m_videoTally.timedFrames > 0) {
    // Rounded mean frame duration: the frames' own times, not the declared rate.
    frameUnits =
        (static_cast<uint64_t>(m_videoTally.timedDuration) + m_videoTally.timedFrames / 2) /
        m_videoTally.timedFrames;
  }
  if (frameUnits == 0 && m_video && m_video->avgTimePerFrame > 0) {
    frameUnits = static_cast<uint64_t>(m_video->avgTimePerFrame);
  }
  if (frameUnits == 0) frameUnits = kUnitsPerSecond;
  uint64_t scale = frameUnits;
  uint64_t rate = kUnitsPerSecond;
  Reduce(scale, rate);
  return {static_cast<uint32_t>(scale), static_cast<uint32_t>(rate)};
}

CAviWriter::Rate CAviWriter::AudioRate() const {
  if (!m_audio) return {1, 1};
  // PCM plays at its byte rate, one block per unit; the chunks' times follow it.
  return {std::max<uint32_t>(1, m_audio->nBlockAlign), m_audio->nAvgBytesPerSec};
}

uint32_t CAviWriter::StartInUnits(const StreamTally& stream, const Rate& rate) const {
  if (!stream.firstStart || *stream.firstStart <= 0 || rate.scale == 0) return 0;
  const double units =
      double(*stream.firstStart) * rate.rate / (double(rate.scale) * kUnitsPerSecond);
  return static_cast<uint32_t>(std::min(units, 4294967295.0));
}

}  // namespace tessaly::media
