// What `tessaly info` says about a file: its output pins with their media
// types and format blocks, its duration and its video's key frames (their
// times only in JSON); as JSON or as text.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "tessaly/CFilmGraph.h"
#include "tessaly/CFilmKeyFrames.h"
#include "tessaly/CFilmTruncation.h"

namespace tessaly::cli {

class CInfoReport {
 public:
  CInfoReport(std::vector<OutputPin> pins, double duration, CFilmTruncation truncation,
              CFilmKeyFrames keyFrames)
      : m_pins(std::move(pins)),
        m_duration(duration),
        m_truncation(truncation),
        m_keyFrames(std::move(keyFrames)) {}

  nlohmann::ordered_json Json() const;
  std::string Text(const std::string& file) const;

  // Braced upper-case text of a GUID, as the platform writes identifiers.
  static std::string GuidText(const GUID& guid);
  static nlohmann::ordered_json PinJson(const OutputPin& pin);

 private:
  bool HasPin(const char* name) const;

  std::vector<OutputPin> m_pins;
  double m_duration;
  CFilmTruncation m_truncation;
  CFilmKeyFrames m_keyFrames;
};

}  // namespace tessaly::cli
