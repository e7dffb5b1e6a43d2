#include "tessaly/reports/CInfoReport.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "media/ReferenceTime.h"

namespace tessaly::cli {

namespace {

// A FOURCC as its four characters when they are printable, else its number.
nlohmann::ordered_json FourCCJson(DWORD code) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
    if (c < 0x20 || c > 0x7E) return code;
    text.push_back(c);
  }
  return text;
}

std::string FourCCText(DWORD code) {
  const nlohmann::ordered_json json = FourCCJson(code);
  return json.is_string() ? "'" + json.get<std::string>() + "'" : std::to_string(code);
}

}  // namespace

std::string CInfoReport::GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

nlohmann::ordered_json CInfoReport::PinJson(const OutputPin& pin) {
  const AM_MEDIA_TYPE& type = pin.type.Type();
  nlohmann::ordered_json json;
  json["name"] = pin.name;
  json["majortype"] = GuidText(type.majortype);
  json["subtype"] = GuidText(type.subtype);
  json["formattype"] = GuidText(type.formattype);
  json["fixedSizeSamples"] = type.bFixedSizeSamples != FALSE;
  json["sampleSize"] = type.lSampleSize;
  if (const std::optional<WAVEFORMATEX> wave = pin.type.WaveFormat()) {
    json["format"] = {
        {"wFormatTag", wave->wFormatTag},         {"nChannels", wave->nChannels},
        {"nSamplesPerSec", wave->nSamplesPerSec}, {"nAvgBytesPerSec", wave->nAvgBytesPerSec},
        {"nBlockAlign", wave->nBlockAlign},       {"wBitsPerSample", wave->wBitsPerSample}};
  } else if (const std::optional<VIDEOINFOHEADER> video = pin.type.VideoInfo()) {
    json["format"] = {{"width", video->bmiHeader.biWidth},
                      {"height", video->bmiHeader.biHeight},
                      {"bitCount", video->bmiHeader.biBitCount},
                      {"compression", FourCCJson(video->bmiHeader.biCompression)},
                      {"avgTimePerFrame", video->AvgTimePerFrame},
                      {"bitRate", video->dwBitRate}};
  } else {
    json["format"] = nullptr;
  }
  return json;
}

nlohmann::ordered_json CInfoReport::MovieJson(const OutputPin& pin) const {
  if (pin.type.WaveFormat()) {
    return {{"seconds", m_figures.AudioSeconds()},
            {"chunks", m_figures.AudioChunks()},
            {"bitRate", static_cast<uint64_t>(m_figures.AudioBitRate())}};
  }
  if (pin.type.VideoInfo()) {
    return {{"seconds", m_figures.VideoSeconds()},
            {"frames", m_figures.VideoFrames()},
            {"frameRate", m_figures.FrameRate()},
            {"bitRate", static_cast<uint64_t>(m_figures.VideoBitRate())}};
  }
  return nullptr;
}

nlohmann::ordered_json CInfoReport::Json() const {
  nlohmann::ordered_json json;
  json["pins"] = nlohmann::ordered_json::array();
  for (const OutputPin& pin : m_pins) {
    nlohmann::ordered_json entry = PinJson(pin);
    entry["movie"] = MovieJson(pin);
    json["pins"].push_back(std::move(entry));
  }
  json["duration"] = m_duration;
  json["keyFrames"] = {{"count", m_keyFrames.Times().size()}, {"times", m_keyFrames.Times()}};
  if (m_truncation.CutShort()) {
    nlohmann::ordered_json seconds = nlohmann::ordered_json::object();
    if (HasPin("Audio")) seconds["Audio"] = m_truncation.AudioSecondsMissing();
    if (HasPin("Video")) seconds["Video"] = m_truncation.VideoSecondsMissing();
    json["truncated"] = {{"rowsMissing", m_truncation.RowsMissing()}, {"secondsMissing", seconds}};
  }
  if (m_truncation.RowsDamaged() > 0) json["damagedRows"] = m_truncation.RowsDamaged();
  return json;
}

bool CInfoReport::HasPin(const char* name) const {
  for (const OutputPin& pin : m_pins) {
    if (pin.name == name) return true;
  }
  return false;
}

std::string CInfoReport::Text(const std::string& file) const {
  std::string text = file + "\n";
  char line[256];
  for (const OutputPin& pin : m_pins) {
    if (const std::optional<WAVEFORMATEX> wave = pin.type.WaveFormat()) {
      std::snprintf(line, sizeof(line),
                    "  %-6s audio, format tag %u: %u channel%s, %u Hz, %u bits "
                    "(%u bytes/s, block %u)\n",
                    pin.name.c_str(), wave->wFormatTag, wave->nChannels,
                    wave->nChannels == 1 ? "" : "s", static_cast<unsigned>(wave->nSamplesPerSec),
                    wave->wBitsPerSample, static_cast<unsigned>(wave->nAvgBytesPerSec),
                    wave->nBlockAlign);
      text += line + MovieText(pin);
    } else if (const std::optional<VIDEOINFOHEADER> video = pin.type.VideoInfo()) {
      std::snprintf(line, sizeof(line), "  %-6s video %s: %dx%d, %u bits\n", pin.name.c_str(),
                    FourCCText(video->bmiHeader.biCompression).c_str(),
                    static_cast<int>(video->bmiHeader.biWidth),
                    static_cast<int>(video->bmiHeader.biHeight), video->bmiHeader.biBitCount);
      text += line + MovieText(pin);
      // The media type's own figures, which players read but the movie need not follow.
      std::snprintf(line, sizeof(line),
                    "         declared by its media type: %" PRId64
                    " a frame (in 100-ns units, %.3f s), %u bit/s\n",
                    static_cast<int64_t>(video->AvgTimePerFrame),
                    media::Seconds(video->AvgTimePerFrame),
                    static_cast<unsigned>(video->dwBitRate));
      text += line;
    } else {
      std::snprintf(line, sizeof(line), "  %-6s type %s\n", pin.name.c_str(),
                    GuidText(pin.type.Type().subtype).c_str());
      text += line;
    }
  }
  std::snprintf(line, sizeof(line), "  duration %.3f s%s\n", m_duration, LengthsText().c_str());
  text += line;
  if (m_keyFrames.VideoFrames() > 0) {
    std::snprintf(line, sizeof(line), "  key frames %zu of %" PRIu64 " video frames\n",
                  m_keyFrames.Times().size(), m_keyFrames.VideoFrames());
    text += line;
  }
  if (m_truncation.CutShort()) {
    text += "  cut short: " + m_truncation.Summary(HasPin("Audio"), HasPin("Video")) + "\n";
  }
  if (m_truncation.RowsDamaged() > 0) {
    text += "  damaged: " + std::to_string(m_truncation.RowsDamaged()) +
            " rows of the sample table can never play (chunks too large or too short)\n";
  }
  return text;
}

std::string CInfoReport::MovieText(const OutputPin& pin) const {
  char line[200];
  if (pin.type.WaveFormat()) {
    std::snprintf(line, sizeof(line), "         in the movie: %.3f s, %.1f kbit/s\n",
                  m_figures.AudioSeconds(), m_figures.AudioBitRate() / 1000);
    return line;
  }
  std::snprintf(line, sizeof(line),
                "         in the movie: %" PRIu64 " frames in %.3f s, %.3f frames/s, %.1f kbit/s\n",
                m_figures.VideoFrames(), m_figures.VideoSeconds(), m_figures.FrameRate(),
                m_figures.VideoBitRate() / 1000);
  return line;
}

std::string CInfoReport::LengthsText() const {
  // The filter reports the video's length; audio may run longer or stop sooner.
  if (!HasPin("Audio") || !HasPin("Video")) return std::string();
  const double audio = m_figures.AudioSeconds();
  const double video = m_figures.VideoSeconds();
  if (std::fabs(audio - video) < 0.0005) return std::string();
  char text[120];
  std::snprintf(text, sizeof(text), " (the streams differ: Audio %.3f s, Video %.3f s)", audio,
                video);
  return text;
}

}  // namespace tessaly::cli
