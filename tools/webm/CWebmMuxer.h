// Writes a WebM file (the Matroska subset browsers read): a seek head, the
// segment information, the tracks, clusters of blocks and cues at the end.
// Blocks go out in the order they are given: putting two tracks in time
// order is the interleaving queue's work, in front of every writer. Debian's libwebm ships its
// muxer without headers, so the few elements a player needs are written here. Every identifier is
// fixed, so the same packets give the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/CAtomicFile.h"

namespace tessaly::webm {

struct VideoTrackInfo {
  uint32_t width = 0;
  uint32_t height = 0;
};

struct AudioTrackInfo {
  uint32_t channels = 0;
  std::vector<uint8_t> opusHead;  // the codec's identification header
  uint64_t codecDelayNs = 0;      // decoded samples to drop at the start
};

struct WebmPacket {
  int64_t timeMs = 0;
  bool key = false;
  std::vector<uint8_t> bytes;
  std::optional<int64_t> durationMs;  // said only where the next block cannot tell it
  int64_t discardPaddingNs = 0;       // decoded time to drop at the end of this block
};

class CWebmMuxer {
 public:
  // Creates the file (hidden until Finish) with the tracks given; at least
  // one. The header follows with the first block: a track that ends without
  // a packet is left out.
  bool Open(const std::string& path, const std::optional<VideoTrackInfo>& video,
            const std::optional<AudioTrackInfo>& audio, std::string* error);

  // Packets of one track in time order, written at once.
  bool AddVideo(WebmPacket packet, std::string* error) {
    return Add(kVideo, std::move(packet), error);
  }
  bool AddAudio(WebmPacket packet, std::string* error) {
    return Add(kAudio, std::move(packet), error);
  }
  // No more packets of that track: the sound after the last picture is
  // clustered as if there were no pictures.
  bool EndVideo(std::string* error) { return End(kVideo, error); }
  bool EndAudio(std::string* error) { return End(kAudio, error); }

  // Writes the cues and the duration, and puts the file in place.
  bool Finish(double durationMs, std::string* error);
  void Abandon() { m_file.Abandon(); }

 private:
  enum Track { kVideo = 0, kAudio = 1 };
  struct Lane {
    bool present = false;
    bool ended = false;
    uint64_t number = 0;
    std::optional<int64_t> lastTimeMs;  // the block written last, which a later one refers to
  };
  struct Cue {
    int64_t timeMs;
    uint64_t track;
    uint64_t clusterPosition;
  };

  bool WriteHeader(std::string* error);
  bool Add(Track track, WebmPacket packet, std::string* error);
  bool End(Track track, std::string* error);
  bool WriteBlock(Track track, const WebmPacket& packet, std::string* error);
  bool OpenCluster(int64_t timeMs, std::string* error);
  bool CloseCluster(std::string* error);
  bool Put(const std::vector<uint8_t>& bytes, std::string* error);

  media::CAtomicFile m_file;
  std::optional<VideoTrackInfo> m_video;  // the tracks the header names
  std::optional<AudioTrackInfo> m_audio;
  bool m_headerWritten = false;
  Lane m_lanes[2];
  uint64_t m_segmentData = 0;    // file offset where the segment's content starts
  uint64_t m_segmentSizeAt = 0;  // where the segment's 8-byte size goes
  uint64_t m_cuesSeekAt = 0;     // where the cues' position in the seek head goes
  size_t m_cuesEntryBytes = 0;   // the seek entry naming the cues, its position last
  uint64_t m_durationAt = 0;     // where the duration's 8-byte float goes
  std::optional<uint64_t> m_clusterSizeAt;
  int64_t m_clusterTimeMs = 0;
  std::vector<Cue> m_cues;
};

}  // namespace tessaly::webm
