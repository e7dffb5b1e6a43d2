// Turns what the sinks receive into a WebM file: the Cinepak pictures,
// decoded in order, into VP9; the PCM sound, resampled to 48 kHz, into Opus;
// both at their times in the movie, counted from where playback starts.
#pragma once

#include <win/platform.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sinks/SinkObserver.h"
#include "tessaly/CCommandError.h"
#include "tessaly/CFilmGraph.h"
#include "tessaly/CPictureObserver.h"
#include "tessaly/CProgressBar.h"
#include "webm/COpusEncoder.h"
#include "webm/CVp9Encoder.h"
#include "webm/CWebmMuxer.h"

namespace tessaly::cli {

class CConvertObserver final : public sinks::ISinkObserver {
 public:
  // level: the VP9 constant-quality level.
  CConvertObserver(std::string path, int level) : m_path(std::move(path)), m_level(level) {}

  void SetProgress(std::shared_ptr<CProgressBar> progress);
  // Where playback was asked to stop, in seconds from where it starts. The
  // splitter's times are rounded to 100 ns, so a frame that starts there may
  // still arrive; nothing at or after it goes in the file.
  void SetLength(double seconds) { m_limitMs = std::llround(seconds * 1000); }

  // Finds the streams and creates the file (hidden until Finish). Throws
  // CCommandError when there is nothing to convert or the file cannot be made.
  void Open(const std::vector<OutputPin>& pins);
  // True once a picture or a sound sample of the movie came in.
  bool DeliveredAnything();
  // Encodes what remains and puts the file in place. Throws CCommandError.
  void Finish();
  // Removes what was written.
  void Abandon();

  std::string Failure();
  // The exit status the failure calls for.
  ExitCode FailureCode();
  // One line about frames that did not decode wholly, empty when all did.
  std::string DecodeWarning();

  HRESULT OnSample(const sinks::SinkSample& sample) override;
  void OnEndOfStream(const std::string& stream) override {}

 private:
  struct Sound {
    std::string stream;
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bytesPerSample = 0;
    std::optional<int64_t>
        skipFrames;                // set by the first sample: frames to drop (or, below 0, to add)
    std::vector<uint8_t> partial;  // bytes of a frame split between samples
    uint64_t frames = 0;           // frames taken into the sound, silence included
    uint64_t delivered = 0;        // frames of them the movie's samples gave
    uint64_t filled = 0;           // frames of silence standing for lost sound
    uint64_t mostFrames = UINT64_MAX;  // the sound up to the end asked for
    webm::COpusEncoder encoder;
  };
  // A picture waits for the next one: a later picture in the same
  // millisecond replaces it, and the next one's time decides its key frame.
  struct PendingPicture {
    pictures::RgbPicture picture;
    int64_t timeMs = 0;
    int64_t stopMs = 0;
  };

  HRESULT OnAudio(const sinks::SinkSample& sample);
  bool StartSound(const sinks::SinkSample& sample, std::string* error);
  bool KeepMovieTime(const sinks::SinkSample& sample, std::string* error);
  std::vector<float> TakeWholeFrames();
  bool OnPicture(const pictures::CMoviePictures& pictures, std::string* error);
  bool EncodePending(std::optional<int64_t> nextMs, std::string* error);
  bool AddSound(const std::vector<float>& samples, std::string* error);
  bool AddSilence(uint64_t frames, std::string* error);
  bool FillLostSound(uint64_t frames, std::string* error);
  void CheckPictureSize() const;
  HRESULT Fail(const std::string& message);

  std::string m_path;
  int m_level;
  std::shared_ptr<CProgressBar> m_progress;      // may be empty
  std::mutex m_lock;                             // sinks may deliver on different threads
  std::shared_ptr<CPictureObserver> m_pictures;  // owned; empty without video
  std::unique_ptr<Sound> m_sound;                // owned; empty without sound
  webm::CVp9Encoder m_video;
  webm::CWebmMuxer m_muxer;
  // The video sample being decoded, for the handler that encodes its picture.
  int64_t m_frameStartMs = 0;
  int64_t m_frameStopMs = 0;
  std::optional<PendingPicture> m_pending;
  std::optional<webm::WebmPacket> m_heldFrame;  // waits for the next frame to know its length
  std::optional<int64_t> m_lastKeyMs;           // unset until the first frame is encoded
  int64_t m_videoEndMs = 0;
  std::optional<int64_t> m_limitMs;
  std::string m_failure;
  ExitCode m_failureCode = kExitOutputFailed;
  double m_furthest = 0;
};

}  // namespace tessaly::cli
