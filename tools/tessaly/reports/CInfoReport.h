// What `tessaly info` says about a file: its output pins with their media
// types and format blocks, what each stream holds in the movie (length,
// frame rate, bit rate from the sample table, beside the values the media
// type declares), its duration and its video's key frames (their times only
// in JSON); as JSON or as text.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "tessaly/film/CFilmKeyFrames.h"
#include "tessaly/film/CFilmStreamFigures.h"
#include "tessaly/film/CFilmTruncation.h"
#include "tessaly/graph/CFilmGraph.h"

namespace tessaly::cli {

class CInfoReport {
 public:
  CInfoReport(std::vector<OutputPin> pins, double duration, const CFilmTableFile& table)
      : m_pins(std::move(pins)),
        m_duration(duration),
        m_truncation(table),
        m_keyFrames(table),
        m_figures(table) {}

  nlohmann::ordered_json Json() const;
  std::string Text(const std::string& file) const;

  // Braced upper-case text of a GUID, as the platform writes identifiers.
  static std::string GuidText(const GUID& guid);
  static nlohmann::ordered_json PinJson(const OutputPin& pin);

 private:
  bool HasPin(const char* name) const;
  nlohmann::ordered_json MovieJson(const OutputPin& pin) const;
  std::string MovieText(const OutputPin& pin) const;
  std::string LengthsText() const;

  std::vector<OutputPin> m_pins;
  double m_duration;
  CFilmTruncation m_truncation;
  CFilmKeyFrames m_keyFrames;
  CFilmStreamFigures m_figures;
};

}  // namespace tessaly::cli
