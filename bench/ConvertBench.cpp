// What `tessaly convert` does to each second of a movie, on one core: our
// Cinepak decoding, VP9 at the default quality, the sound resampled to 48 kHz
// and put into Opus, all muxed into a WebM file. The movie is 20 seconds of
// 320×224 pictures at 15 frames a second with 22,050 Hz 16-bit stereo sound;
// the figure is the movie's length against the CPU time its conversion took
// (the splitter's own streaming is measured by SplitterStreamingBench).
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "filmwriter/CinepakKeyFrame.h"
#include "pictures/CMoviePictures.h"
#include "webm/COpusEncoder.h"
#include "webm/CVp9Encoder.h"
#include "webm/CWebmMuxer.h"

namespace {

constexpr uint32_t kWidth = 320, kHeight = 224, kFrames = 300, kRate = 22050;
constexpr int64_t kFrameMs = 1000 / 15;
constexpr double kMovieSeconds = kFrames / 15.0;
constexpr int kDefaultLevel = 19;  // what the command's default quality gives

double ThreadSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

uint8_t Clamp(double value) {
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : std::lround(value));
}

// Colour bands drifting across the picture, with texture in every block.
const std::vector<std::vector<uint8_t>>& Frames() {
  static const std::vector<std::vector<uint8_t>> frames = [] {
    std::vector<filmwriter::CinepakEntry> codebook;
    for (int k = 0; k < 256; ++k) {
      const double angle = k * 2 * M_PI / 256;
      filmwriter::CinepakEntry entry = filmwriter::CinepakEntry::Colour(
          Clamp(128 + 90 * std::sin(angle)), Clamp(128 + 90 * std::sin(angle + 2)),
          Clamp(128 + 90 * std::sin(angle + 4)));
      entry.luma[1] = Clamp(entry.luma[1] + 14.0);
      entry.luma[2] = Clamp(entry.luma[2] - 14.0);
      codebook.push_back(entry);
    }
    std::vector<std::vector<uint8_t>> all;
    for (uint32_t i = 0; i < kFrames; ++i) {
      filmwriter::CinepakKeyFrame frame(kWidth, kHeight);
      frame.SetCodebook(codebook);
      std::vector<uint8_t> codes;
      for (uint32_t by = 0; by < frame.BlockRows(); ++by) {
        for (uint32_t bx = 0; bx < frame.BlockColumns(); ++bx) {
          codes.push_back(static_cast<uint8_t>(bx * 3 + by * 2 + i * 4));
        }
      }
      frame.SetCodes(codes);
      all.push_back(frame.Encode());
    }
    return all;
  }();
  return frames;
}

std::vector<float> Sound() {
  std::vector<float> samples;
  const uint32_t count = static_cast<uint32_t>(kMovieSeconds * kRate);
  for (uint32_t n = 0; n < count; ++n) {
    const float value = 0.25f * std::sin(n * 0.05f);
    samples.push_back(value);
    samples.push_back(-value);
  }
  return samples;
}

double g_xRealTime = 0;

void BM_ConvertMovie(benchmark::State& state) {
  const std::vector<std::vector<uint8_t>>& frames = Frames();
  const std::vector<float> sound = Sound();
  const std::string path = "/tmp/tessaly-convert-bench-" + std::to_string(getpid()) + ".webm";
  double seconds = 0;
  for (auto _ : state) {
    const double started = ThreadSeconds();
    std::string error;
    tessaly::pictures::CMoviePictures pictures(kWidth, kHeight);
    tessaly::webm::CVp9Encoder video;
    tessaly::webm::COpusEncoder audio;
    tessaly::webm::CWebmMuxer muxer;
    if (!video.Open(kWidth, kHeight, kDefaultLevel, &error) || !audio.Open(kRate, 2, &error) ||
        !muxer.Open(path, tessaly::webm::VideoTrackInfo{kWidth, kHeight},
                    tessaly::webm::AudioTrackInfo{2, audio.Head(), audio.CodecDelayNs()}, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const size_t samplesPerFrame = sound.size() / kFrames;
    for (uint32_t i = 0; i < kFrames; ++i) {
      pictures.Decode(frames[i].data(), frames[i].size());
      std::vector<tessaly::webm::Vp9Frame> encoded;
      video.Encode(pictures.Picture().rgb.data(), i * kFrameMs, kFrameMs, i % 30 == 0, &encoded,
                   &error);
      for (tessaly::webm::Vp9Frame& frame : encoded) {
        muxer.AddVideo({frame.timeMs, frame.key, std::move(frame.bytes), {}, 0}, &error);
      }
      std::vector<tessaly::webm::OpusPacket> packets;
      audio.Append(&sound[i * samplesPerFrame], samplesPerFrame / 2, &packets, &error);
      for (tessaly::webm::OpusPacket& packet : packets) {
        muxer.AddAudio({packet.timeMs, true, std::move(packet.bytes), {}, 0}, &error);
      }
    }
    std::vector<tessaly::webm::OpusPacket> packets;
    audio.Finish(&packets, &error);
    for (tessaly::webm::OpusPacket& packet : packets) {
      muxer.AddAudio({packet.timeMs, true, std::move(packet.bytes), {}, packet.discardPaddingNs},
                     &error);
    }
    if (!muxer.Finish(kMovieSeconds * 1000, &error)) state.SkipWithError(error.c_str());
    seconds = ThreadSeconds() - started;
  }
  unlink(path.c_str());
  g_xRealTime = kMovieSeconds / seconds;
  state.counters["x_real_time"] = g_xRealTime;
}

BENCHMARK(BM_ConvertMovie)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  benchfigures::Record("x_real_time", "", g_xRealTime);
  benchfigures::Print();
  return 0;
}
