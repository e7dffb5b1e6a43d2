// Writes what the sinks receive into audio.wav and movie.avi: PCM into both,
// video frames into the AVI, chunks in the order they arrive.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/CAviWriter.h"
#include "media/CWavWriter.h"
#include "sinks/SinkObserver.h"
#include "tessaly/CFilmGraph.h"
#include "tessaly/CProgressBar.h"

namespace tessaly::cli {

class CExtractObserver final : public sinks::ISinkObserver {
 public:
  explicit CExtractObserver(std::string folder) : m_folder(std::move(folder)) {}

  // Shown while samples arrive; set before playback.
  void SetProgress(std::shared_ptr<CProgressBar> progress) { m_progress = std::move(progress); }

  // Opens the outputs for the streams of the rendered file. Throws
  // CCommandError when nothing can be extracted or a file cannot be created.
  void Open(const std::vector<OutputPin>& pins);
  // Completes and puts the files in place; on any failure none of them stays.
  // Returns the paths written. Throws CCommandError.
  std::vector<std::string> Finish();
  // Removes everything written so far.
  void Abandon();

  // The first failure met while writing, empty when none.
  std::string Failure();

  HRESULT OnSample(const sinks::SinkSample& sample) override;
  void OnEndOfStream(const std::string& stream) override {}

 private:
  enum class Kind { Audio, Video };

  HRESULT Fail(const std::string& message);

  std::string m_folder;
  std::shared_ptr<CProgressBar> m_progress;  // may be empty
  std::mutex m_lock;                         // sinks may deliver on different threads
  std::map<std::string, Kind> m_streams;
  std::optional<media::CWavWriter> m_wav;
  std::optional<media::CAviWriter> m_avi;
  std::string m_failure;
  double m_furthest = 0;  // seconds of media written, for the progress bar
};

}  // namespace tessaly::cli
