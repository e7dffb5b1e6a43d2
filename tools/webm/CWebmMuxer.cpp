#include "webm/CWebmMuxer.h"

#include <cstring>

namespace tessaly::webm {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kEbml = 0x1A45DFA3, kSegment = 0x18538067, kSeekHead = 0x114D9B74,
                   kSeek = 0x4DBB, kSeekId = 0x53AB, kSeekPosition = 0x53AC, kInfo = 0x1549A966,
                   kTimecodeScale = 0x2AD7B1, kDuration = 0x4489, kMuxingApp = 0x4D80,
                   kWritingApp = 0x5741, kTracks = 0x1654AE6B, kTrackEntry = 0xAE,
                   kTrackNumber = 0xD7, kTrackUid = 0x73C5, kTrackType = 0x83, kFlagLacing = 0x9C,
                   kCodecId = 0x86, kCodecPrivate = 0x63A2, kCodecDelay = 0x56AA,
                   kSeekPreRoll = 0x56BB, kVideoSettings = 0xE0, kPixelWidth = 0xB0,
                   kPixelHeight = 0xBA, kAudioSettings = 0xE1, kSamplingFrequency = 0xB5,
                   kChannels = 0x9F, kCluster = 0x1F43B675, kTimecode = 0xE7, kSimpleBlock = 0xA3,
                   kBlockGroup = 0xA0, kBlock = 0xA1, kBlockDuration = 0x9B, kReferenceBlock = 0xFB,
                   kDiscardPadding = 0x75A2, kCues = 0x1C53BB6B, kCuePoint = 0xBB, kCueTime = 0xB3,
                   kCueTrackPositions = 0xB7, kCueTrack = 0xF7, kCueClusterPosition = 0xF1;

// Block times are 16-bit offsets from their cluster's time.
constexpr int64_t kLongestClusterMs = 30000;
// Without video, or after its last frame, a cluster (and a cue) every few
// seconds keeps seeks short.
constexpr int64_t kAudioClusterMs = 5000;
constexpr uint64_t kSeekPreRollNs = 80000000;  // what a decoder needs to settle after a seek
const char kApplication[] = "tessaly";

void PutId(Bytes& out, uint32_t id) {
  int bytes = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
  while (bytes-- > 0) out.push_back(static_cast<uint8_t>(id >> (8 * bytes)));
}

void PutSize(Bytes& out, uint64_t size) {
  int length = 1;
  while (length < 8 && size >= (uint64_t(1) << (7 * length)) - 1) ++length;
  for (int i = length - 1; i >= 0; --i) {
    uint8_t byte = static_cast<uint8_t>(size >> (8 * i));
    if (i == length - 1) byte |= static_cast<uint8_t>(0x80 >> (length - 1));
    out.push_back(byte);
  }
}

// An 8-byte size filled in later, when the element's end is known.
void PutOpenSize(Bytes& out) {
  out.push_back(0x01);
  out.insert(out.end(), 7, 0xFF);
}

Bytes FixedSize(uint64_t size) {
  Bytes field;
  PutOpenSize(field);
  for (int i = 0; i < 7; ++i) field[1 + i] = static_cast<uint8_t>(size >> (8 * (6 - i)));
  return field;
}

void PutBinary(Bytes& out, uint32_t id, const Bytes& value) {
  PutId(out, id);
  PutSize(out, value.size());
  out.insert(out.end(), value.begin(), value.end());
}

void PutUnsigned(Bytes& out, uint32_t id, uint64_t value, int width = 0) {
  if (width == 0) {
    width = 1;
    while (width < 8 && (value >> (8 * width)) != 0) ++width;
  }
  Bytes bytes;
  for (int i = width - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  PutBinary(out, id, bytes);
}

void PutSigned(Bytes& out, uint32_t id, int64_t value) {
  int width = 1;
  while (width < 8 &&
         (value < -(int64_t(1) << (8 * width - 1)) || value >= (int64_t(1) << (8 * width - 1)))) {
    ++width;
  }
  PutUnsigned(out, id,
              static_cast<uint64_t>(value) & (width == 8 ? ~0ull : (1ull << (8 * width)) - 1),
              width);
}

Bytes FloatBytes(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  Bytes bytes;
  for (int i = 7; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  return bytes;
}

void PutText(Bytes& out, uint32_t id, const std::string& text) {
  PutBinary(out, id, Bytes(text.begin(), text.end()));
}

Bytes Element(uint32_t id, const Bytes& content) {
  Bytes out;
  PutBinary(out, id, content);
  return out;
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

Bytes IdBytes(uint32_t id) {
  Bytes out;
  PutId(out, id);
  return out;
}

Bytes TrackEntry(uint64_t number, uint64_t type, const char* codec) {
  Bytes entry;
  PutUnsigned(entry, kTrackNumber, number);
  PutUnsigned(entry, kTrackUid, number);
  PutUnsigned(entry, kTrackType, type);
  PutUnsigned(entry, kFlagLacing, 0);
  PutText(entry, kCodecId, codec);
  return entry;
}

}  // namespace

bool CWebmMuxer::Open(const std::string& path, const std::optional<VideoTrackInfo>& video,
                      const std::optional<AudioTrackInfo>& audio, std::string* error) {
  if (!video && !audio) {
    if (error) *error = "a WebM file needs a stream";
    return false;
  }
  if (!m_file.Open(path, error)) return false;
  m_video = video;
  m_audio = audio;
  m_lanes[kVideo].present = video.has_value();
  m_lanes[kAudio].present = audio.has_value();
  return true;
}

bool CWebmMuxer::WriteHeader(std::string* error) {
  m_headerWritten = true;
  // The header goes with the first block, so a track that has ended by now
  // had no packet: it is left out, since an empty track is a stream no
  // reader can play.
  for (Lane& lane : m_lanes) lane.present = lane.present && !lane.ended;
  if (!m_lanes[kVideo].present) m_video.reset();
  if (!m_lanes[kAudio].present) m_audio.reset();
  const std::optional<VideoTrackInfo>& video = m_video;
  const std::optional<AudioTrackInfo>& audio = m_audio;
  if (!video && !audio) {
    if (error) *error = "a WebM file needs a stream with something in it";
    return false;
  }
  m_lanes[kVideo].number = 1;
  m_lanes[kAudio].number = video ? 2 : 1;

  Bytes header;
  PutUnsigned(header, 0x4286, 1);  // EBMLVersion
  PutUnsigned(header, 0x42F7, 1);  // EBMLReadVersion
  PutUnsigned(header, 0x42F2, 4);  // EBMLMaxIDLength
  PutUnsigned(header, 0x42F3, 8);  // EBMLMaxSizeLength
  PutText(header, 0x4282, "webm");
  PutUnsigned(header, 0x4287, 4);  // DocTypeVersion
  PutUnsigned(header, 0x4285, 2);  // DocTypeReadVersion
  Bytes out = Element(kEbml, header);
  PutId(out, kSegment);
  m_segmentSizeAt = out.size();
  PutOpenSize(out);
  m_segmentData = out.size();

  Bytes info;
  PutUnsigned(info, kTimecodeScale, 1000000);
  const size_t durationInInfo = info.size() + 3;  // after the element's ID and 1-byte size
  PutBinary(info, kDuration, FloatBytes(0));
  PutText(info, kMuxingApp, kApplication);
  PutText(info, kWritingApp, kApplication);

  Bytes tracks;
  if (video) {
    Bytes entry = TrackEntry(m_lanes[kVideo].number, 1, "V_VP9");
    Bytes picture;
    PutUnsigned(picture, kPixelWidth, video->width);
    PutUnsigned(picture, kPixelHeight, video->height);
    PutBinary(entry, kVideoSettings, picture);
    PutBinary(tracks, kTrackEntry, entry);
  }
  if (audio) {
    Bytes entry = TrackEntry(m_lanes[kAudio].number, 2, "A_OPUS");
    PutBinary(entry, kCodecPrivate, audio->opusHead);
    PutUnsigned(entry, kCodecDelay, audio->codecDelayNs);
    PutUnsigned(entry, kSeekPreRoll, kSeekPreRollNs);
    Bytes sound;
    PutBinary(sound, kSamplingFrequency, FloatBytes(48000.0));
    PutUnsigned(sound, kChannels, audio->channels);
    PutBinary(entry, kAudioSettings, sound);
    PutBinary(tracks, kTrackEntry, entry);
  }

  // The seek head comes first with fixed-width positions, so its size does
  // not depend on them; the cues' position is filled in at the end.
  auto seekEntry = [](uint32_t id, uint64_t position) {
    Bytes seek;
    PutBinary(seek, kSeekId, IdBytes(id));
    PutUnsigned(seek, kSeekPosition, position, 8);
    return Element(kSeek, seek);
  };
  const size_t seekHeadSize = Element(kSeekHead,
                                      [&] {
                                        Bytes all;
                                        for (uint32_t id : {kInfo, kTracks, kCues})
                                          Append(all, seekEntry(id, 0));
                                        return all;
                                      }())
                                  .size();
  const uint64_t infoAt = seekHeadSize;
  const uint64_t tracksAt = infoAt + Element(kInfo, info).size();
  Bytes seeks;
  Append(seeks, seekEntry(kInfo, infoAt));
  Append(seeks, seekEntry(kTracks, tracksAt));
  const size_t cuesEntryAt = seeks.size();
  Append(seeks, seekEntry(kCues, 0));
  Bytes seekHead = Element(kSeekHead, seeks);
  const size_t seekContentAt = seekHead.size() - seeks.size();
  m_cuesEntryBytes = seekEntry(kCues, 0).size();
  m_cuesSeekAt = m_segmentData + seekContentAt + cuesEntryAt + m_cuesEntryBytes - 8;
  Append(out, seekHead);
  Bytes infoElement = Element(kInfo, info);
  m_durationAt = out.size() + (infoElement.size() - info.size()) + durationInInfo;
  Append(out, infoElement);
  Append(out, Element(kTracks, tracks));
  return Put(out, error);
}

bool CWebmMuxer::Add(Track track, WebmPacket packet, std::string* error) {
  const Lane& lane = m_lanes[track];
  if (!lane.present || lane.ended) return true;
  return WriteBlock(track, packet, error);
}

bool CWebmMuxer::End(Track track, std::string* error) {
  m_lanes[track].ended = true;
  return true;
}

bool CWebmMuxer::WriteBlock(Track track, const WebmPacket& packet, std::string* error) {
  if (!m_headerWritten && !WriteHeader(error)) return false;
  // Once the pictures are over, the sound is clustered as if there were none.
  const Lane& video = m_lanes[kVideo];
  const bool hasVideo = video.present && !(video.ended && track != kVideo);
  const bool cueHere = hasVideo ? (track == kVideo && packet.key) : true;
  const bool startCluster =
      !m_clusterSizeAt || (hasVideo && track == kVideo && packet.key) ||
      packet.timeMs - m_clusterTimeMs >= (hasVideo ? kLongestClusterMs : kAudioClusterMs);
  if (startCluster) {
    if (!CloseCluster(error)) return false;
    const uint64_t position = m_file.Size() - m_segmentData;
    if (!OpenCluster(packet.timeMs, error)) return false;
    if (cueHere) m_cues.push_back({packet.timeMs, m_lanes[track].number, position});
  }
  const std::optional<int64_t> previous = m_lanes[track].lastTimeMs;
  m_lanes[track].lastTimeMs = packet.timeMs;
  Bytes block;
  PutSize(block, m_lanes[track].number);
  const int64_t relative = packet.timeMs - m_clusterTimeMs;
  block.push_back(static_cast<uint8_t>((relative >> 8) & 0xFF));
  block.push_back(static_cast<uint8_t>(relative & 0xFF));
  const bool grouped = packet.durationMs.has_value() || packet.discardPaddingNs != 0;
  block.push_back(!grouped && packet.key ? 0x80 : 0x00);
  Append(block, packet.bytes);
  Bytes out;
  if (!grouped) {
    PutBinary(out, kSimpleBlock, block);
    return Put(out, error);
  }
  Bytes group;
  PutBinary(group, kBlock, block);
  if (packet.durationMs)
    PutUnsigned(group, kBlockDuration, static_cast<uint64_t>(*packet.durationMs));
  // A group without a reference is a frame that decodes alone.
  if (!packet.key && previous) PutSigned(group, kReferenceBlock, *previous - packet.timeMs);
  if (packet.discardPaddingNs != 0) PutSigned(group, kDiscardPadding, packet.discardPaddingNs);
  PutBinary(out, kBlockGroup, group);
  return Put(out, error);
}

bool CWebmMuxer::OpenCluster(int64_t timeMs, std::string* error) {
  Bytes out;
  PutId(out, kCluster);
  m_clusterSizeAt = m_file.Size() + out.size();
  PutOpenSize(out);
  PutUnsigned(out, kTimecode, static_cast<uint64_t>(timeMs));
  m_clusterTimeMs = timeMs;
  return Put(out, error);
}

bool CWebmMuxer::CloseCluster(std::string* error) {
  if (!m_clusterSizeAt) return true;
  const uint64_t sizeAt = *m_clusterSizeAt;
  m_clusterSizeAt.reset();
  const Bytes field = FixedSize(m_file.Size() - (sizeAt + 8));
  return m_file.WriteAt(sizeAt, field.data(), field.size(), error);
}

bool CWebmMuxer::Finish(double durationMs, std::string* error) {
  for (Lane& lane : m_lanes) lane.ended = true;
  if (!CloseCluster(error)) return false;
  if (!m_headerWritten && !WriteHeader(error)) return false;
  const uint64_t cuesAt = m_file.Size() - m_segmentData;
  Bytes cues;
  for (const Cue& cue : m_cues) {
    Bytes positions;
    PutUnsigned(positions, kCueTrack, cue.track);
    PutUnsigned(positions, kCueClusterPosition, cue.clusterPosition);
    Bytes point;
    PutUnsigned(point, kCueTime, static_cast<uint64_t>(cue.timeMs));
    PutBinary(point, kCueTrackPositions, positions);
    PutBinary(cues, kCuePoint, point);
  }
  if (!m_cues.empty() && !Put(Element(kCues, cues), error)) return false;

  const Bytes segmentSize = FixedSize(m_file.Size() - m_segmentData);
  Bytes cuesPosition;
  for (int i = 7; i >= 0; --i) cuesPosition.push_back(static_cast<uint8_t>(cuesAt >> (8 * i)));
  if (m_cues.empty()) {
    // No cues: the entry naming them becomes filler of the same size.
    cuesPosition.assign(m_cuesEntryBytes, 0);
    cuesPosition[0] = 0xEC;
    cuesPosition[1] = static_cast<uint8_t>(0x80 | (m_cuesEntryBytes - 2));
  }
  const Bytes duration = FloatBytes(durationMs);
  if (!m_file.WriteAt(m_segmentSizeAt, segmentSize.data(), segmentSize.size(), error) ||
      !m_file.WriteAt(m_durationAt, duration.data(), duration.size(), error)) {
    return false;
  }
  const uint64_t patchAt = m_cues.empty() ? m_cuesSeekAt + 8 - m_cuesEntryBytes : m_cuesSeekAt;
  if (!m_file.WriteAt(patchAt, cuesPosition.data(), cuesPosition.size(), error)) return false;
  return m_file.Commit(error);
}

bool CWebmMuxer::Put(const std::vector<uint8_t>& bytes, std::string* error) {
  return m_file.Write(bytes.data(), bytes.size(), error);
}

}  // namespace tessaly::webm
