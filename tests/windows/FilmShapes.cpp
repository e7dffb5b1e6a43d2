#include "FilmShapes.h"

#include "filmwriter/CinepakKeyFrame.h"

namespace {

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;

FilmFormat Format(uint8_t channels, uint8_t bits, uint16_t rate, uint32_t timeBase = 600) {
  FilmFormat format;
  format.channels = channels;
  format.bitsPerSample = bits;
  format.sampleRate = rate;
  format.timeBase = timeBase;
  return format;
}

FilmShape AudioOnly(uint8_t channels, uint8_t bits, uint16_t rate) {
  FilmShape shape{"audio only, " + std::to_string(bits) + "-bit " +
                      (channels == 1 ? "mono" : "stereo") + " " + std::to_string(rate) + " Hz",
                  "audio-" + std::to_string(channels) + "x" + std::to_string(bits) + ".cpk",
                  FilmWriter(Format(channels, bits, rate))};
  const size_t frame = channels * bits / 8;
  for (int i = 0; i < 6; ++i) {
    // Whole frames, then a chunk with an odd tail that no conversion writes.
    size_t length = i == 5 ? 7 : frame * (rate / 10 + 37 * i);
    shape.writer.AddAudio(Pattern(length, static_cast<uint8_t>(10 + i)));
  }
  return shape;
}

// A layout the splitter has no conversion for goes out as stored.
FilmShape ThreeChannels() {
  FilmShape shape{"audio only, 8-bit 3 channels", "audio-3x8.cpk", FilmWriter(Format(3, 8, 22050))};
  shape.writer.AddAudio(Pattern(999, 1));
  shape.writer.AddAudio(Pattern(12, 2));
  return shape;
}

FilmShape VideoOnly() {
  FilmFormat format = Format(0, 8, 22050);
  format.width = 320;
  format.height = 240;
  FilmShape shape{"video only", "video.cpk", FilmWriter(format)};
  for (int i = 0; i < 8; ++i) {
    shape.writer.AddVideo(Pattern(1200 + 311 * i, static_cast<uint8_t>(70 + i)), 40 + i % 3,
                          i % 4 == 0);
  }
  return shape;
}

FilmShape Interleaved(uint8_t channels, uint8_t bits, uint16_t rate) {
  FilmShape shape{
      "audio and video, " + std::to_string(bits) + "-bit " + (channels == 1 ? "mono" : "stereo"),
      "both-" + std::to_string(channels) + "x" + std::to_string(bits) + ".cpk",
      FilmWriter(Format(channels, bits, rate))};
  const size_t frame = channels * bits / 8;
  for (int i = 0; i < 5; ++i) {
    shape.writer.AddAudio(Pattern(frame * (rate / 15) + (i == 4 ? 1 : 0), static_cast<uint8_t>(i)));
    shape.writer.AddVideo(Pattern(500 + 9 * i, static_cast<uint8_t>(50 + i)), 25 + i, i != 2);
  }
  return shape;
}

// Rows in no regular order, chunks at the buffer limits, an empty audio chunk
// and frames that are not sync points.
FilmShape MixedRows() {
  FilmShape shape{"mixed rows, 16-bit stereo, time base 1000", "mixed.cpk",
                  FilmWriter(Format(2, 16, 44100, 1000))};
  FilmWriter& w = shape.writer;
  w.AddAudio(Pattern(4410 * 4, 1));
  w.AddAudio(Pattern(6, 2));
  w.AddVideo(Pattern(10, 3), 33, true);  // the head alone
  w.AddAudio(Pattern(0, 4));
  w.AddVideo(Pattern(262144, 5), 34, false);  // exactly one sample buffer
  w.AddVideo(Pattern(777, 6), 33, false);
  w.AddAudio(Pattern(65536, 7));  // exactly the staging buffer
  w.AddVideo(Pattern(4096, 8), 1, true);
  w.AddAudio(Pattern(13, 9));
  w.AddAudio(Pattern(4000, 10));
  w.AddVideo(Pattern(20, 11), 1000, false);
  return shape;
}

// Where a row's chunk starts in the file the writer builds.
uint64_t ChunkStart(const FilmWriter& writer, uint32_t row) {
  const std::vector<uint8_t> file = writer.Build();
  auto field = [&file](size_t at) {
    return (uint32_t{file[at]} << 24) | (uint32_t{file[at + 1]} << 16) |
           (uint32_t{file[at + 2]} << 8) | uint32_t{file[at + 3]};
  };
  return uint64_t{field(4)} + field(64 + 16 * size_t{row});
}

// A movie whose download broke off `into` bytes into the chunk of `row`.
FilmShape CutInside(FilmShape shape, uint32_t row, uint64_t into, const std::string& where) {
  shape.name = "cut inside " + where + ", " + shape.name;
  shape.fileName = "cut-" + shape.fileName;
  shape.writer.Layout().truncateTo = ChunkStart(shape.writer, row) + into;
  return shape;
}

constexpr uint32_t kPlayerFrameTicks = 40;  // 15 frames a second at a time base of 600
constexpr int kPlayerFrames = 12;

// keyEvery: every keyEvery-th frame is a key frame, the others carry the
// not-sync flag (each is still a whole picture, so any decodes alone).
FilmShape PlayerMovie(uint8_t channels, uint8_t bits, uint16_t rate, uint32_t width,
                      uint32_t height, int keyEvery = 1) {
  FilmFormat format = Format(channels, bits, rate);
  format.width = width;
  format.height = height;
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string sound =
      channels == 0 ? std::string("video only")
                    : std::to_string(bits) + "-bit " + (channels == 1 ? "mono" : "stereo");
  FilmShape shape{
      "player, " + sound + ", " + size,
      "player-" + std::to_string(channels) + "x" + std::to_string(bits) + "-" + size + ".cpk",
      FilmWriter(format)};
  const size_t frameBytes = channels * bits / 8;
  for (int i = 0; i < kPlayerFrames; ++i) {
    if (channels != 0) {
      shape.writer.AddAudio(
          Pattern(frameBytes * rate * kPlayerFrameTicks / 600, static_cast<uint8_t>(30 + i)));
    }
    shape.writer.AddVideo(
        filmwriter::CinepakKeyFrame::GreyPattern(width, height, static_cast<uint32_t>(i)).Encode(),
        kPlayerFrameTicks, i % keyEvery == 0);
  }
  return shape;
}

}  // namespace

std::vector<FilmShape> PlayerShapes() {
  std::vector<FilmShape> shapes;
  shapes.push_back(PlayerMovie(0, 8, 22050, 128, 96));
  shapes.push_back(PlayerMovie(2, 16, 22050, 160, 120));
  shapes.push_back(PlayerMovie(1, 8, 11025, 64, 48));
  shapes.push_back(PlayerMovie(2, 8, 22050, 320, 240));
  shapes.push_back(PlayerMovie(1, 16, 44100, 96, 64));
  return shapes;
}

FilmShape SeekingMovie() {
  FilmShape shape = PlayerMovie(2, 16, 22050, 160, 120, kSeekingKeyEvery);
  shape.name = "seeking, key frames every " + std::to_string(kSeekingKeyEvery);
  shape.fileName = "seeking.cpk";
  return shape;
}

FilmShape RenderMovie() {
  FilmShape shape = PlayerMovie(0, 8, 22050, kRenderWidth, kRenderHeight);
  shape.name = "default renderers, video only, 160x120";
  shape.fileName = "render-default.cpk";
  return shape;
}

std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  uint32_t state = 0x9E3779B9u ^ (seed * 0x01000193u);
  for (size_t i = 0; i < length; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

std::vector<FilmShape> PlaybackShapes() {
  std::vector<FilmShape> shapes;
  shapes.push_back(AudioOnly(1, 8, 22050));
  shapes.push_back(AudioOnly(1, 16, 11025));
  shapes.push_back(AudioOnly(2, 8, 22050));
  shapes.push_back(AudioOnly(2, 16, 44100));
  shapes.push_back(ThreeChannels());
  shapes.push_back(VideoOnly());
  shapes.push_back(Interleaved(2, 8, 22050));
  shapes.push_back(Interleaved(1, 16, 22050));
  shapes.push_back(MixedRows());
  return shapes;
}

std::vector<FilmShape> CutShapes() {
  std::vector<FilmShape> shapes;
  // Rows A0 V1 ... A8 V9: into the second half of A8 (2,940 stereo frames
  // of 4 bytes, halves of 5,880), then into V9's body.
  shapes.push_back(CutInside(Interleaved(2, 16, 44100), 8, 5880 + 1003, "an audio chunk"));
  shapes.push_back(CutInside(Interleaved(1, 8, 22050), 9, 100, "a video chunk"));
  shapes.push_back(CutInside(AudioOnly(1, 16, 11025), 3, 333, "a 16-bit mono chunk"));
  return shapes;
}

FilmShape LongShape() {
  FilmShape shape{"long, audio and video", "long.cpk", FilmWriter(Format(2, 16, 22050))};
  for (int i = 0; i < 30; ++i) {
    shape.writer.AddAudio(Pattern(8820, static_cast<uint8_t>(i)));
    shape.writer.AddVideo(Pattern(2000 + i, static_cast<uint8_t>(100 + i)), 60, i % 5 == 0);
  }
  return shape;
}
