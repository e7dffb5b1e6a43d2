#include "webm/CVp9Encoder.h"

#include <vpx/vp8cx.h>

namespace tessaly::webm {

namespace {

// libvpx's real-time mode at its fastest speed: three to seven times faster
// than the good-quality mode at its own fastest, for files 18% to 60% larger
// at about the same worst frame (bench/ConvertBench; the README has figures).
constexpr int kSpeed = 9;
constexpr unsigned long kDeadline = VPX_DL_REALTIME;

// Two threads whatever the machine: with row multithreading the bytes depend
// on the thread count (not on the cores that run them), so a fixed count
// keeps the same movie giving the same file everywhere. A picture FILM
// holds is a few superblock rows high, too few to keep more threads busy.
constexpr unsigned kThreads = 2;

// One tile column: a tile is at least 256 pixels wide, so pictures below 512
// have one anyway, and row multithreading shares out the rows instead.
constexpr int kTileColumnsLog2 = 0;

uint8_t Clamp(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

}  // namespace

CVp9Encoder::~CVp9Encoder() {
  if (m_open) vpx_codec_destroy(&m_codec);
  if (m_image != nullptr) vpx_img_free(m_image);
}

bool CVp9Encoder::Open(uint32_t width, uint32_t height, int level, std::string* error) {
  vpx_codec_enc_cfg_t config;
  if (vpx_codec_enc_config_default(vpx_codec_vp9_cx(), &config, 0) != VPX_CODEC_OK) {
    if (error) *error = "the VP9 encoder has no default settings";
    return false;
  }
  config.g_w = width;
  config.g_h = height;
  config.g_timebase = {1, 1000};
  config.g_threads = kThreads;
  config.g_lag_in_frames = 0;
  config.g_pass = VPX_RC_ONE_PASS;
  config.g_error_resilient = 0;
  config.rc_end_usage = VPX_Q;
  config.rc_min_quantizer = 0;
  config.rc_max_quantizer = 63;
  config.rc_dropframe_thresh = 0;
  config.kf_mode = VPX_KF_AUTO;
  config.kf_min_dist = 0;
  config.kf_max_dist = 9999;  // key frames come on time from the caller
  if (vpx_codec_enc_init(&m_codec, vpx_codec_vp9_cx(), &config, 0) != VPX_CODEC_OK) {
    if (error) *error = std::string("cannot start the VP9 encoder: ") + vpx_codec_error(&m_codec);
    return false;
  }
  m_open = true;
  if (vpx_codec_control(&m_codec, VP8E_SET_CQ_LEVEL, level) != VPX_CODEC_OK ||
      vpx_codec_control(&m_codec, VP8E_SET_CPUUSED, kSpeed) != VPX_CODEC_OK ||
      vpx_codec_control(&m_codec, VP9E_SET_TILE_COLUMNS, kTileColumnsLog2) != VPX_CODEC_OK ||
      vpx_codec_control(&m_codec, VP9E_SET_ROW_MT, 1) != VPX_CODEC_OK ||
      vpx_codec_control(&m_codec, VP9E_SET_AQ_MODE, 0) != VPX_CODEC_OK ||
      vpx_codec_control(&m_codec, VP9E_SET_COLOR_SPACE, VPX_CS_BT_601) != VPX_CODEC_OK) {
    return Fail("cannot set up the VP9 encoder", error);
  }
  m_image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, width, height, 16);
  if (m_image == nullptr) {
    if (error) *error = "out of memory for a VP9 picture";
    return false;
  }
  m_width = width;
  m_height = height;
  return true;
}

bool CVp9Encoder::Encode(const uint8_t* rgb, int64_t timeMs, int64_t durationMs, bool key,
                         std::vector<Vp9Frame>* frames, std::string* error) {
  ToI420(rgb);
  const vpx_enc_frame_flags_t flags = key ? VPX_EFLAG_FORCE_KF : 0;
  if (vpx_codec_encode(&m_codec, m_image, timeMs, static_cast<unsigned long>(durationMs), flags,
                       kDeadline) != VPX_CODEC_OK) {
    return Fail("the VP9 encoder failed", error);
  }
  return Collect(frames, error);
}

bool CVp9Encoder::Collect(std::vector<Vp9Frame>* frames, std::string* error) {
  vpx_codec_iter_t iterator = nullptr;
  while (const vpx_codec_cx_pkt_t* packet = vpx_codec_get_cx_data(&m_codec, &iterator)) {
    if (packet->kind != VPX_CODEC_CX_FRAME_PKT) continue;
    Vp9Frame frame;
    frame.timeMs = packet->data.frame.pts;
    frame.key = (packet->data.frame.flags & VPX_FRAME_IS_KEY) != 0;
    const auto* bytes = static_cast<const uint8_t*>(packet->data.frame.buf);
    frame.bytes.assign(bytes, bytes + packet->data.frame.sz);
    frames->push_back(std::move(frame));
  }
  return true;
}

// Studio-range BT.601, the colours a VP9 stream without colour information
// is shown with; chroma is the mean of each 2×2 square, where Cinepak's own
// chroma lies.
void CVp9Encoder::ToI420(const uint8_t* rgb) {
  for (uint32_t y = 0; y < m_height; ++y) {
    const uint8_t* pixel = rgb + size_t(y) * m_width * 3;
    uint8_t* luma = m_image->planes[VPX_PLANE_Y] + size_t(y) * m_image->stride[VPX_PLANE_Y];
    for (uint32_t x = 0; x < m_width; ++x, pixel += 3) {
      luma[x] = Clamp(((66 * pixel[0] + 129 * pixel[1] + 25 * pixel[2] + 128) >> 8) + 16);
    }
  }
  for (uint32_t y = 0; y < m_height; y += 2) {
    uint8_t* u = m_image->planes[VPX_PLANE_U] + size_t(y / 2) * m_image->stride[VPX_PLANE_U];
    uint8_t* v = m_image->planes[VPX_PLANE_V] + size_t(y / 2) * m_image->stride[VPX_PLANE_V];
    // Whole squares first, in a loop the compiler can keep in registers;
    // then the half square an odd width or height leaves.
    const uint32_t whole = y + 1 < m_height ? m_width / 2 : 0;
    WholeSquares(rgb + size_t(y) * m_width * 3, whole, u, v);
    for (uint32_t x = whole * 2; x < m_width; x += 2) EdgeSquare(rgb, x, y, &u[x / 2], &v[x / 2]);
  }
}

// count squares of four pixels starting at row, a row of pictures with one below it.
void CVp9Encoder::WholeSquares(const uint8_t* row, uint32_t count, uint8_t* u, uint8_t* v) const {
  const uint8_t* below = row + size_t(m_width) * 3;
  for (uint32_t i = 0; i < count; ++i, row += 6, below += 6) {
    const int red = row[0] + row[3] + below[0] + below[3];
    const int green = row[1] + row[4] + below[1] + below[4];
    const int blue = row[2] + row[5] + below[2] + below[5];
    // The offset of 128 goes in before dividing, so the shift rounds
    // numbers that are never negative, as the division of an edge does.
    constexpr int kBias = 4 * (128 + 128 * 256);
    u[i] = Clamp((-38 * red - 74 * green + 112 * blue + kBias) >> 10);
    v[i] = Clamp((112 * red - 94 * green - 18 * blue + kBias) >> 10);
  }
}

// The chroma of the square at x, y with only the pixels inside the picture.
void CVp9Encoder::EdgeSquare(const uint8_t* rgb, uint32_t x, uint32_t y, uint8_t* u,
                             uint8_t* v) const {
  int red = 0, green = 0, blue = 0, count = 0;
  for (uint32_t dy = y; dy < y + 2 && dy < m_height; ++dy) {
    for (uint32_t dx = x; dx < x + 2 && dx < m_width; ++dx) {
      const uint8_t* pixel = rgb + (size_t(dy) * m_width + dx) * 3;
      red += pixel[0];
      green += pixel[1];
      blue += pixel[2];
      ++count;
    }
  }
  const int bias = count * (128 + 128 * 256);
  *u = Clamp((-38 * red - 74 * green + 112 * blue + bias) / (count * 256));
  *v = Clamp((112 * red - 94 * green - 18 * blue + bias) / (count * 256));
}

bool CVp9Encoder::Fail(const char* what, std::string* error) {
  if (error) {
    const char* detail = vpx_codec_error_detail(&m_codec);
    *error = std::string(what) + ": " + vpx_codec_error(&m_codec) +
             (detail != nullptr ? std::string(" (") + detail + ")" : std::string());
  }
  return false;
}

}  // namespace tessaly::webm
