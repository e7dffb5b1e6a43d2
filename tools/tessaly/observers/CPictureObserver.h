// Decodes the 'cvid' frames the video sink receives, every one of them in
// order (preroll frames too, since later frames build on them), and hands
// each delivered picture to the command's handler.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pictures/CMoviePictures.h"
#include "sinks/SinkObserver.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/reports/CProgressBar.h"

namespace tessaly::cli {

// A decoded picture with the times of the sample it came in.
struct MoviePicture {
  const pictures::CMoviePictures& pictures;  // borrowed for the call
  double seconds = 0;                        // its time in the movie
  REFERENCE_TIME start = 0;                  // from where playback starts
  std::optional<REFERENCE_TIME> stop;
};

class CPictureObserver final : public sinks::ISinkObserver {
 public:
  // Called on the delivering thread for each frame that is not preroll;
  // false with a message aborts playback.
  using Handler = std::function<bool(const MoviePicture& picture, std::string* error)>;

  explicit CPictureObserver(Handler handler) : m_handler(std::move(handler)) {}

  void SetProgress(std::shared_ptr<CProgressBar> progress) { m_progress = std::move(progress); }

  // Finds the Cinepak video among the rendered file's pins. Throws
  // CCommandError when there is none.
  void Open(const std::vector<OutputPin>& pins);

  // The first failure of the handler, empty when none.
  std::string Failure();
  // One line about frames that did not decode wholly, empty when all did.
  std::string DecodeWarning();
  // The picture after the last frame received; valid after Open.
  pictures::RgbPicture LastPicture();
  uint32_t Width() const { return m_width; }
  // The video pin's name; set by Open, then only read.
  const std::string& Stream() const { return m_video; }
  // Frames received so far, preroll ones too.
  uint64_t Frames();
  uint32_t Height() const { return m_height; }

  HRESULT OnSample(const sinks::SinkSample& sample) override;
  void OnEndOfStream(const std::string& stream) override {}

 private:
  Handler m_handler;
  std::shared_ptr<CProgressBar> m_progress;  // may be empty
  std::mutex m_lock;                         // sinks may deliver on different threads
  std::string m_video;                       // the video pin's name
  uint32_t m_width = 0;
  uint32_t m_height = 0;
  std::unique_ptr<pictures::CMoviePictures> m_pictures;  // owned; made by Open
  uint64_t m_frames = 0;
  uint64_t m_damaged = 0;
  std::string m_firstDamage;
  std::string m_failure;
  double m_furthest = 0;
};

}  // namespace tessaly::cli
