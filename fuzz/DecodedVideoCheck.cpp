#include "DecodedVideoCheck.h"

#include "cinepak/CCodebooks.h"
#include "cinepak/CFrameDecoder.h"

namespace fuzzcheck {

std::string CheckPictureSizes(const std::vector<ReceivedSample>& pictures, size_t imageBytes) {
  for (size_t i = 0; i < pictures.size(); ++i) {
    if (pictures[i].bytes.size() != imageBytes) {
      return "picture " + std::to_string(i) + " holds " + std::to_string(pictures[i].bytes.size()) +
             " bytes, not the negotiated " + std::to_string(imageBytes);
    }
  }
  return "";
}

std::string CheckPicturesOfFrames(const std::vector<ReceivedSample>& frames,
                                  const std::vector<ReceivedSample>& pictures, uint32_t width,
                                  uint32_t height) {
  tessaly::cinepak::CCodebooks books;
  if (!books.Valid()) return "";  // no memory for the reference decode: nothing to compare
  std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 4);
  const tessaly::cinepak::PictureView view{picture.data(),
                                           width,
                                           height,
                                           static_cast<size_t>(width) * 4,
                                           tessaly::cinepak::PixelLayout::Bgrx32,
                                           false};
  size_t shown = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    const ReceivedSample& frame = frames[f];
    const bool damaged =
        tessaly::cinepak::DecodeFrame(frame.bytes.data(), frame.bytes.size(), books, view) !=
        tessaly::cinepak::DecodeStatus::kOk;
    if (frame.preroll) continue;
    if (shown == pictures.size()) {
      return std::to_string(frames.size()) + " frames gave only " +
             std::to_string(pictures.size()) + " pictures";
    }
    const ReceivedSample& got = pictures[shown];
    const std::string which =
        "picture " + std::to_string(shown) + " (frame " + std::to_string(f) + ")";
    if (got.timeResult != frame.timeResult || got.start != frame.start || got.stop != frame.stop) {
      return which + " does not carry its frame's times";
    }
    if (damaged && !got.discontinuity) {
      return which + " of a damaged frame is no discontinuity";
    }
    ++shown;
  }
  if (shown != pictures.size()) {
    return std::to_string(pictures.size()) + " pictures of " + std::to_string(shown) +
           " frames shown";
  }
  return "";
}

}  // namespace fuzzcheck
