// Writes what the sinks receive into audio.wav and movie.avi: PCM into both,
// video frames into the AVI. The WAVE file takes the audio as it arrives; the
// AVI takes both streams' chunks in time order, through an interleaving
// queue, so that the same movie always gives the same bytes.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/CAviWriter.h"
#include "media/CInterleavingQueue.h"
#include "media/CWavWriter.h"
#include "sinks/SinkObserver.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/reports/CProgressBar.h"

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
  void OnEndOfStream(const std::string& stream) override;
  void OnStop() override;

 private:
  // The interleaving queue's stream numbers: video first, so that a frame
  // goes before audio of the same time.
  enum class Kind : size_t { Video = 0, Audio = 1 };

  HRESULT QueueAudio(const uint8_t* bytes, size_t count, std::optional<REFERENCE_TIME> start);
  bool WriteAviChunk(const media::QueuedChunk& chunk);
  void SetFailure(const std::string& message);

  std::string m_folder;
  std::shared_ptr<CProgressBar> m_progress;  // may be empty
  std::map<std::string, Kind> m_streams;     // set by Open, then only read
  size_t m_audioPieceBytes = 1;              // the most audio in one AVI chunk
  double m_audioBytesPerSecond = 1;
  std::mutex m_lock;  // guards m_wav and m_failure; taken after the queue's
  std::optional<media::CWavWriter> m_wav;
  std::string m_failure;
  // Written only by the queue's writer, under the queue's lock, until Finish.
  std::optional<media::CAviWriter> m_avi;
  std::unique_ptr<media::CInterleavingQueue> m_queue;  // owned
};

}  // namespace tessaly::cli
