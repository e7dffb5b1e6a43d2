// Turns what the sinks receive into a WebM file: the Cinepak pictures,
// decoded in order, into VP9; the PCM sound, resampled to 48 kHz, into Opus;
// both at their times in the movie, counted from where playback starts.
// Each stream has its own state and lock, so the pictures and the sound never
// wait on each other but in the interleaving queue in front of the muxer,
// which bounds what the faster one holds.
#pragma once

#include <win/platform.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/CInterleavingQueue.h"
#include "sinks/SinkObserver.h"
#include "tessaly/CCommandError.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/observers/CPictureObserver.h"
#include "tessaly/reports/CProgressBar.h"
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
  void OnEndOfStream(const std::string& stream) override;
  void OnStop() override;

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

  // The interleaving queue's stream numbers: video first, so that a frame
  // goes before sound of the same millisecond.
  enum class Kind : size_t { Video = 0, Audio = 1 };

  HRESULT OnVideo(const sinks::SinkSample& sample);
  HRESULT OnAudio(const sinks::SinkSample& sample);
  // The last picture and the last sound go out and the stream ends in the
  // queue; once, at its end of stream or at Finish, whichever comes first.
  bool EndPicturesLocked(std::string* error);
  bool EndSoundLocked(std::string* error);
  bool FlushPicturesLocked(std::string* error);
  bool QueuePacket(Kind kind, webm::WebmPacket packet, std::string* error);
  bool QueueOpus(std::vector<webm::OpusPacket> packets, std::string* error);
  bool WriteBlock(const media::QueuedChunk& chunk);
  bool WriteEnd(size_t stream);
  bool StartSound(const sinks::SinkSample& sample, std::string* error);
  bool KeepMovieTime(const sinks::SinkSample& sample, std::string* error);
  std::vector<float> TakeWholeFrames();
  bool OnPicture(const MoviePicture& picture, std::string* error);
  bool EncodePending(std::optional<int64_t> nextMs, std::string* error);
  bool AddSound(const std::vector<float>& samples, std::string* error);
  bool AddSilence(uint64_t frames, std::string* error);
  bool FillLostSound(uint64_t frames, std::string* error);
  void CheckPictureSize() const;
  HRESULT Fail(const std::string& message);
  // Keeps the first failure of any stream, with the exit status it calls for.
  void SetFailure(ExitCode code, const std::string& message);
  bool HasFailed();

  std::string m_path;
  int m_level;
  std::shared_ptr<CProgressBar> m_progress;      // may be empty
  std::shared_ptr<CPictureObserver> m_pictures;  // owned; empty without video
  std::optional<int64_t> m_limitMs;              // set before playback, then only read

  std::mutex m_videoLock;  // the pictures' state below; never taken by the sound's thread
  webm::CVp9Encoder m_video;
  std::optional<PendingPicture> m_pending;
  std::optional<webm::WebmPacket> m_heldFrame;  // waits for the next frame to know its length
  std::optional<int64_t> m_lastKeyMs;           // unset until the first frame is encoded
  int64_t m_videoEndMs = 0;
  bool m_anyPicture = false;
  bool m_picturesEnded = false;

  std::mutex m_soundLock;          // the sound's state; never taken by the pictures' thread
  std::unique_ptr<Sound> m_sound;  // owned; empty without sound
  bool m_soundEnded = false;

  // Owned; made by Open. Its lock is taken after a stream's and before the failure's.
  std::unique_ptr<media::CInterleavingQueue> m_queue;
  // Written only by the queue's writers, under the queue's lock, until Finish.
  webm::CWebmMuxer m_muxer;

  std::mutex m_failureLock;  // the first failure; taken last
  std::string m_failure;
  ExitCode m_failureCode = kExitOutputFailed;
  double m_furthest = 0;  // the sound's, shown when there are no pictures
};

}  // namespace tessaly::cli
