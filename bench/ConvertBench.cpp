// What `tessaly convert` does to a movie: our Cinepak decoding, VP9 at the
// default quality, the sound resampled to 48 kHz and put into Opus, all
// muxed into a WebM file. Each movie is 20 seconds of 320×224 pictures at 15
// frames a second with 22,050 Hz 16-bit stereo sound, in three kinds of
// picture (ConvertMovies.h). Per kind it prints the movie's length against
// the wall-clock time of its conversion (the encoder has threads of its
// own) and against the CPU time of all the process's threads, the lowest
// PSNR of a VP9 frame against our own picture, and whether a second
// conversion, confined to one processor, gave the same bytes. Then it runs
// the built host's `tessaly convert` on the same movies written as FILM
// files (host_x_real_time, host_x_cpu_time: the whole command, threads,
// queue and muxer included) and on panning movies of 30 and 600 seconds for
// its peak resident memory (peak_mb and their ratio, which should stay
// under 1.25: what the command holds must not grow with the movie). The
// splitter's own streaming is measured by SplitterStreamingBench.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "ConvertMovies.h"
#include "HostConvertRun.h"
#include "filmwriter/FilmWriter.h"
#include "pictures/CMoviePictures.h"
#include "webm/COpusEncoder.h"
#include "webm/CVp9Encoder.h"
#include "webm/CWebmMuxer.h"

namespace {

constexpr uint32_t kWidth = 320, kHeight = 224, kFrames = 300, kRate = 22050;
constexpr int64_t kFrameMs = 1000 / 15;
constexpr double kMovieSeconds = kFrames / 15.0;

struct Conversion {
  double seconds = 0;     // wall clock
  double cpuSeconds = 0;  // of every thread of the process
  std::vector<uint8_t> file;
  std::vector<std::vector<uint8_t>> vp9;  // the frames as muxed
  std::string error;
};

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

double ProcessSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Conversion Convert(const convertmovies::Frames& frames, const std::vector<float>& sound) {
  Conversion result;
  const std::string path = "/tmp/tessaly-convert-bench-" + std::to_string(getpid()) + ".webm";
  const auto started = std::chrono::steady_clock::now();
  const double cpuStarted = ProcessSeconds();
  std::string& error = result.error;
  tessaly::pictures::CMoviePictures pictures(kWidth, kHeight);
  tessaly::webm::CVp9Encoder video;
  tessaly::webm::COpusEncoder audio;
  tessaly::webm::CWebmMuxer muxer;
  if (!video.Open(kWidth, kHeight, tessaly::webm::CVp9Encoder::kDefaultLevel, &error) ||
      !audio.Open(kRate, 2, &error) ||
      !muxer.Open(path, tessaly::webm::VideoTrackInfo{kWidth, kHeight},
                  tessaly::webm::AudioTrackInfo{2, audio.Head(), audio.CodecDelayNs()}, &error)) {
    return result;
  }
  const size_t samplesPerFrame = sound.size() / kFrames;
  for (uint32_t i = 0; i < kFrames; ++i) {
    pictures.Decode(frames[i].data(), frames[i].size());
    std::vector<tessaly::webm::Vp9Frame> encoded;
    video.Encode(pictures.Picture().rgb.data(), i * kFrameMs, kFrameMs, i % 30 == 0, &encoded,
                 &error);
    for (tessaly::webm::Vp9Frame& frame : encoded) {
      result.vp9.push_back(frame.bytes);
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
  muxer.Finish(kMovieSeconds * 1000, &error);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.cpuSeconds = ProcessSeconds() - cpuStarted;
  result.file = ReadAll(path);
  unlink(path.c_str());
  return result;
}

// The same conversion with every thread on one processor: the encoder's
// threads start from this one and inherit its processors, so a file that
// differs would show bytes that depend on the cores that ran them.
Conversion ConvertOnOneCore(const convertmovies::Frames& frames, const std::vector<float>& sound) {
  cpu_set_t all;
  CPU_ZERO(&all);
  sched_getaffinity(0, sizeof(all), &all);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &all)) continue;
    CPU_SET(cpu, &one);
    break;
  }
  sched_setaffinity(0, sizeof(one), &one);
  Conversion result = Convert(frames, sound);
  sched_setaffinity(0, sizeof(all), &all);
  return result;
}

double Shown(double value) { return std::clamp(std::round(value), 0.0, 255.0); }

// PSNR of a decoded studio-range BT.601 picture against an RGB one, as a
// player shows it.
double Psnr(const vpx_image_t& image, const std::vector<uint8_t>& rgb) {
  double squares = 0;
  for (uint32_t y = 0; y < kHeight; ++y) {
    const uint8_t* luma = image.planes[VPX_PLANE_Y] + y * image.stride[VPX_PLANE_Y];
    const uint8_t* us = image.planes[VPX_PLANE_U] + (y / 2) * image.stride[VPX_PLANE_U];
    const uint8_t* vs = image.planes[VPX_PLANE_V] + (y / 2) * image.stride[VPX_PLANE_V];
    for (uint32_t x = 0; x < kWidth; ++x) {
      const double l = 1.164 * (luma[x] - 16), u = us[x / 2] - 128.0, v = vs[x / 2] - 128.0;
      const double shown[3] = {Shown(l + 1.596 * v), Shown(l - 0.392 * u - 0.813 * v),
                               Shown(l + 2.017 * u)};
      for (int c = 0; c < 3; ++c) {
        const double error = shown[c] - rgb[(size_t(y) * kWidth + x) * 3 + c];
        squares += error * error;
      }
    }
  }
  const double mean = squares / (kWidth * kHeight * 3.0);
  return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

// The lowest PSNR of the VP9 frames, decoded by libvpx, against our own
// decoding of the Cinepak frames; 0 when a frame does not decode.
double LowestPsnr(const convertmovies::Frames& frames,
                  const std::vector<std::vector<uint8_t>>& vp9) {
  if (vp9.size() != frames.size()) return 0;
  vpx_codec_ctx_t decoder;
  if (vpx_codec_dec_init(&decoder, vpx_codec_vp9_dx(), nullptr, 0) != VPX_CODEC_OK) return 0;
  tessaly::pictures::CMoviePictures pictures(kWidth, kHeight);
  double lowest = 99;
  for (size_t i = 0; i < frames.size(); ++i) {
    pictures.Decode(frames[i].data(), frames[i].size());
    vpx_codec_iter_t iterator = nullptr;
    const vpx_image_t* image = nullptr;
    if (vpx_codec_decode(&decoder, vp9[i].data(), static_cast<unsigned>(vp9[i].size()), nullptr,
                         0) != VPX_CODEC_OK ||
        (image = vpx_codec_get_frame(&decoder, &iterator)) == nullptr) {
      lowest = 0;
      break;
    }
    lowest = std::min(lowest, Psnr(*image, pictures.Picture().rgb));
  }
  vpx_codec_destroy(&decoder);
  return lowest;
}

void BM_Convert(benchmark::State& state, const char* kind,
                convertmovies::Frames (*make)(uint32_t, uint32_t, uint32_t)) {
  const convertmovies::Frames frames = make(kWidth, kHeight, kFrames);
  const std::vector<float> sound = Sound();
  Conversion first;
  Conversion second;
  for (auto _ : state) {
    first = Convert(frames, sound);
    second = ConvertOnOneCore(frames, sound);
  }
  if (!first.error.empty()) {
    state.SkipWithError(first.error.c_str());
    return;
  }
  const double xRealTime = kMovieSeconds / first.seconds;
  const double lowest = LowestPsnr(frames, first.vp9);
  state.counters["x_real_time"] = xRealTime;
  state.counters["lowest_psnr"] = lowest;
  benchfigures::Record("x_real_time", kind, xRealTime);
  benchfigures::Record("x_cpu_time", kind, kMovieSeconds / first.cpuSeconds);
  benchfigures::Record("lowest_psnr", kind, lowest);
  benchfigures::Record("kbit_per_second", kind, first.file.size() * 8 / kMovieSeconds / 1000);
  benchfigures::Record("same_bytes", kind, first.file == second.file ? 1 : 0);
}

BENCHMARK_CAPTURE(BM_Convert, flat, "flat", convertmovies::Flat)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, panning, "panning", convertmovies::Panning)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, random_blocks, "random_blocks", convertmovies::RandomBlocks)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A FILM movie of the benchmark's pictures, repeated to last the seconds
// asked, with its 16-bit stereo sound; the path of the file written.
std::string WriteFilm(const convertmovies::Frames& frames, uint32_t seconds,
                      const std::string& name) {
  filmwriter::FilmFormat format;
  format.width = kWidth;
  format.height = kHeight;
  format.channels = 2;
  format.bitsPerSample = 16;
  format.sampleRate = kRate;
  format.timeBase = 600;
  filmwriter::FilmWriter writer(format);
  const uint32_t samplesPerFrame = kRate / 15;
  std::vector<uint8_t> pcm;
  for (uint32_t n = 0; n < samplesPerFrame; ++n) {
    const auto value = static_cast<int16_t>(8000 * std::sin(n * 0.05));
    for (int channel = 0; channel < 2; ++channel) {
      pcm.push_back(static_cast<uint8_t>(value & 0xFF));
      pcm.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
  }
  for (uint32_t i = 0; i < seconds * 15; ++i) {
    writer.AddAudio(pcm);
    writer.AddVideo(frames[i % frames.size()], 600 / 15, i % frames.size() == 0);
  }
  const std::string path =
      "/tmp/tessaly-convert-bench-" + std::to_string(getpid()) + "-" + name + ".film";
  writer.WriteFile(path);
  return path;
}

// TESSALY_BENCH_KEEP names a folder that keeps the WebM files, so that two
// builds' bytes can be compared.
hostconvert::HostRun ConvertFilm(const std::string& film, const std::string& name) {
  const std::string webm = film + ".webm";
  const hostconvert::HostRun run = hostconvert::Convert(film, webm);
  const char* keep = std::getenv("TESSALY_BENCH_KEEP");
  if (keep == nullptr || *keep == '\0' ||
      std::rename(webm.c_str(), (std::string(keep) + "/" + name + ".webm").c_str()) != 0) {
    unlink(webm.c_str());
  }
  unlink(film.c_str());
  return run;
}

void BM_HostConvert(benchmark::State& state, const char* kind,
                    convertmovies::Frames (*make)(uint32_t, uint32_t, uint32_t)) {
  const convertmovies::Frames frames = make(kWidth, kHeight, kFrames);
  hostconvert::HostRun run;
  for (auto _ : state) run = ConvertFilm(WriteFilm(frames, kFrames / 15, kind), kind);
  if (!run.ok) {
    state.SkipWithError("tessaly convert failed");
    return;
  }
  benchfigures::Record("host_x_real_time", kind, kMovieSeconds / run.seconds);
  benchfigures::Record("host_x_cpu_time", kind, kMovieSeconds / run.cpuSeconds);
}

void BM_HostMemory(benchmark::State& state) {
  // Pictures VP9 takes longer over than Opus over the sound, so the sound runs
  // ahead: what waits for the pictures must not grow with the movie.
  const convertmovies::Frames frames = convertmovies::Panning(kWidth, kHeight, kFrames);
  hostconvert::HostRun shortRun;
  hostconvert::HostRun longRun;
  for (auto _ : state) {
    shortRun = ConvertFilm(WriteFilm(frames, 30, "30s"), "panning-30s");
    longRun = ConvertFilm(WriteFilm(frames, 600, "600s"), "panning-600s");
  }
  if (!shortRun.ok || !longRun.ok) {
    state.SkipWithError("tessaly convert failed");
    return;
  }
  benchfigures::Record("peak_mb", "panning 30 s", shortRun.peakMb);
  benchfigures::Record("peak_mb", "panning 600 s", longRun.peakMb);
  benchfigures::Record("peak_600s_vs_30s", "panning (at most 1.25)",
                       longRun.peakMb / shortRun.peakMb);
}

BENCHMARK_CAPTURE(BM_HostConvert, flat, "flat", convertmovies::Flat)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostConvert, panning, "panning", convertmovies::Panning)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HostConvert, random_blocks, "random_blocks", convertmovies::RandomBlocks)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HostMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  benchfigures::Print();
  return 0;
}
