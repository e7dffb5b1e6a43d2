#include "tessaly/observers/CPictureObserver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "media/ReferenceTime.h"
#include "tessaly/CCommandError.h"

namespace tessaly::cli {

namespace {

constexpr DWORD kCinepak = 0x64697663;  // 'cvid' as a little-endian four-character code

}  // namespace

void CPictureObserver::Open(const std::vector<OutputPin>& pins) {
  for (const OutputPin& pin : pins) {
    const std::optional<VIDEOINFOHEADER> video = pin.type.VideoInfo();
    if (!pin.connected || !IsEqualGUID(pin.type.Type().majortype, MEDIATYPE_Video) || !video) {
      continue;
    }
    const VIDEOINFOHEADER& info = *video;
    if (info.bmiHeader.biCompression != kCinepak) {
      throw CCommandError(kExitRefused, "the video is not Cinepak; no pictures can be made of it");
    }
    m_video = pin.name;
    m_width = static_cast<uint32_t>(std::abs(info.bmiHeader.biWidth));
    m_height = static_cast<uint32_t>(std::abs(info.bmiHeader.biHeight));
    m_pictures = std::make_unique<pictures::CMoviePictures>(m_width, m_height);
    return;
  }
  throw CCommandError(kExitRefused, "the file has no video stream to make pictures of");
}

HRESULT CPictureObserver::OnSample(const sinks::SinkSample& sample) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_failure.empty()) return E_FAIL;
  if (sample.stream != m_video || !m_pictures) return S_OK;
  const uint64_t index = m_frames++;
  const cinepak::DecodeStatus status =
      m_pictures->Decode(sample.data, sample.data != nullptr ? sample.dataBytes : 0);
  if (status != cinepak::DecodeStatus::kOk && m_damaged++ == 0) {
    m_firstDamage = "frame " + std::to_string(index) + ": " + cinepak::StatusText(status);
  }
  if (sample.stop) m_furthest = std::max(m_furthest, media::Seconds(*sample.stop));
  if (m_progress) m_progress->Update(m_furthest);
  if (sample.preroll) return S_OK;
  const REFERENCE_TIME time = sample.mediaStart.value_or(sample.start.value_or(0));
  const MoviePicture picture{*m_pictures, media::Seconds(time), sample.start.value_or(0),
                             sample.stop};
  if (!m_handler(picture, &m_failure)) {
    if (m_failure.empty()) m_failure = "cannot write a picture";
    return E_FAIL;
  }
  return S_OK;
}

std::string CPictureObserver::Failure() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_failure;
}

std::string CPictureObserver::DecodeWarning() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_damaged == 0) return std::string();
  return std::to_string(m_damaged) + " of " + std::to_string(m_frames) +
         " frames did not decode wholly (first, " + m_firstDamage +
         "); their pictures keep what the frame before showed";
}

uint64_t CPictureObserver::Frames() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_frames;
}

pictures::RgbPicture CPictureObserver::LastPicture() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_pictures ? m_pictures->Picture() : pictures::RgbPicture();
}

}  // namespace tessaly::cli
