// Runs one fuzz input through a whole graph: an in-memory source, the FILM
// splitter and recording sinks, streamed to the end or stopped at a chosen
// sample, paused again and torn down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcheck {

// An input is a control block followed by the FILM file.
struct GraphControl {
  bool connectAudio = true;
  bool connectVideo = true;
  bool pastEndFails = false;  // the source fails reads past the end instead of reading short
  bool run = false;           // Run after Pause
  bool refuseAudio = false;   // the sinks refuse every sample
  bool refuseVideo = false;
  bool replay = false;        // after Stop, Pause again and stream to the end
  uint16_t stopAfter = 0;     // Stop once this many samples were offered; 0 streams to the end
  uint8_t disturbedRead = 0;  // index of the source read that answers disturbance
  uint8_t disturbance = 0;    // 0 none, 1 S_FALSE, 2 E_FAIL, 3 E_UNEXPECTED
  // The sinks hand out an allocator without room in front of its buffers:
  // 0 their own, 1 one that refuses a prefix, 2 one that grants none;
  // 3 their own, which attaches the same type with the rows the other way
  // up to its second buffer when the decoder's RGB pictures go to the sink.
  uint8_t prefixless = 0;
  // 0: the source holds the file without its last cutBytes bytes, as a
  // broken download would; when nothing else disturbs the run, each stream
  // must deliver the start of what the whole file delivers. 1: the file
  // grows by them, 2: it shrinks by them, once disturbedRead is answered.
  uint8_t lengthChange = 0;
  uint16_t cutBytes = 0;
  // 0: the video goes straight to its sink. Otherwise through the Cinepak
  // decoder filter into a sink that takes 1 any picture, 2 only RGB24,
  // 3 only YUY2; a video type the decoder refuses goes straight on.
  uint8_t decoder = 0;
  // The rest of the input is no file but a recipe for the writer
  // (WrittenFilm.h), whose prediction every delivered sample must match.
  bool written = false;

  static constexpr size_t kLength = 7;

  std::vector<uint8_t> Encode() const;
  static GraphControl Decode(const uint8_t* data, size_t size);
};

std::vector<uint8_t> MakeGraphInput(const GraphControl& control, const std::vector<uint8_t>& film);

// Empty when every promise held; otherwise what broke, for a human. Needs
// the COM runtime's apartment, which it enters and leaves itself.
std::string CheckGraphInput(const uint8_t* data, size_t size);

}  // namespace fuzzcheck
