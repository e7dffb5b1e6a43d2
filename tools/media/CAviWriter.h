// Writes a RIFF AVI file: a 'cvid' (or other compressed) video stream and/or
// a PCM audio stream, chunks in the order they are added, an idx1 index with
// key-frame flags, and stream rates derived from the samples' times.
#pragma once

#include <win/platform.h>

#include <optional>
#include <string>
#include <vector>

#include "media/CAtomicFile.h"

namespace tessaly::media {

struct AviVideoFormat {
  BITMAPINFOHEADER header{};
  // Frame duration used when the frames carry no usable times (100-ns units).
  REFERENCE_TIME avgTimePerFrame = 0;
};

class CAviWriter {
 public:
  // The RIFF's size field and the index's offsets are 32-bit.
  static constexpr uint64_t kLargestFile = 0xFFFFFFFFu;

  // At least one stream; video is stream 0 when present.
  bool Open(const std::string& path, const std::optional<AviVideoFormat>& video,
            const std::optional<WAVEFORMATEX>& audio, std::string* error);
  // start and stop are the sample's times, absent when it carries none.
  bool AddVideoFrame(const uint8_t* bytes, size_t count, bool keyFrame,
                     std::optional<REFERENCE_TIME> start, std::optional<REFERENCE_TIME> stop,
                     std::string* error);
  bool AddAudioChunk(const uint8_t* bytes, size_t count, std::optional<REFERENCE_TIME> start,
                     std::string* error);
  // Writes the index and the headers, and puts the file in place.
  bool Finish(std::string* error);
  void Abandon() { m_file.Abandon(); }

 private:
  struct IndexEntry {
    char chunkId[5];
    uint32_t flags;
    uint32_t offset;  // of the chunk header, from the 'movi' list type
    uint32_t size;
  };
  struct StreamTally {
    int number = -1;  // -1: the stream is absent
    uint32_t chunks = 0;
    uint64_t bytes = 0;
    uint32_t largestChunk = 0;
    std::optional<REFERENCE_TIME> firstStart;
    REFERENCE_TIME timedDuration = 0;  // sum of stop − start over timed frames
    uint32_t timedFrames = 0;
  };
  struct Rate {
    uint32_t scale;
    uint32_t rate;
  };

  bool AddChunk(StreamTally& stream, const char* suffix, const uint8_t* bytes, size_t count,
                uint32_t flags, std::string* error);
  size_t HeaderBytes() const;
  std::vector<uint8_t> BuildHeader() const;
  Rate VideoRate() const;
  Rate AudioRate() const;
  uint32_t StartInUnits(const StreamTally& stream, const Rate& rate) const;

  CAtomicFile m_file;
  std::optional<AviVideoFormat> m_video;
  std::optional<WAVEFORMATEX> m_audio;
  StreamTally m_videoTally;
  StreamTally m_audioTally;
  std::vector<IndexEntry> m_index;
  uint64_t m_moviTypeOffset = 0;  // file position of the 'movi' list type
};

}  // namespace tessaly::media
