// tessaly convert, checked by readers written elsewhere: mkvmerge and
// mkvextract (mkvtoolnix) for the container and its times, vpxdec
// (vpx-tools) for the pictures, against what our own decoder makes of the
// movie.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ChromeDriver.h"
#include "CliFixture.h"
#include "PngReader.h"
#include "filmwriter/CinepakKeyFrame.h"
#include "pictures/CMoviePictures.h"

namespace tools_test {
namespace {

constexpr uint32_t kWidth = 320, kHeight = 224, kFrames = 30, kRate = 22050;
constexpr uint32_t kTimeBase = 600;

// Frame i lasts 40 ticks (1/15 s), every fifth one twice that: 2.4 s in all.
uint32_t TicksOf(uint32_t frame) { return frame % 5 == 4 ? 80 : 40; }

// A program from the search path; CI installs them (install-deps.sh).
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  ADD_FAILURE() << name << " is not installed (scripts/install-deps.sh installs it)";
  return name;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Runs a reader written elsewhere.
ToolResult RunReader(const std::string& name, const std::vector<std::string>& arguments) {
  ToolEnvironment environment;
  environment.program = FindProgram(name);
  return RunTool(arguments, environment);
}

uint8_t Clamp(double value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

// PSNR of a studio-range BT.601 I420 picture against an RGB one.
double Psnr(const uint8_t* i420, const std::vector<uint8_t>& rgb) {
  const uint8_t* lumaPlane = i420;
  const uint8_t* uPlane = i420 + kWidth * kHeight;
  const uint8_t* vPlane = uPlane + kWidth * kHeight / 4;
  double squares = 0;
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      const double luma = 1.164 * (lumaPlane[y * kWidth + x] - 16);
      const double u = uPlane[(y / 2) * (kWidth / 2) + x / 2] - 128;
      const double v = vPlane[(y / 2) * (kWidth / 2) + x / 2] - 128;
      const uint8_t shown[3] = {Clamp(luma + 1.596 * v), Clamp(luma - 0.392 * u - 0.813 * v),
                                Clamp(luma + 2.017 * u)};
      for (int c = 0; c < 3; ++c) {
        const double error = shown[c] - rgb[(y * kWidth + x) * 3 + c];
        squares += error * error;
      }
    }
  }
  const double mean = squares / (kWidth * kHeight * 3.0);
  return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

std::vector<uint8_t> FromBase64(const std::string& text) {
  static const std::string kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const size_t digit = kDigits.find(c);
    if (digit == std::string::npos) continue;
    bits = (bits << 6) | static_cast<uint32_t>(digit);
    if ((count += 6) >= 8) bytes.push_back(static_cast<uint8_t>(bits >> (count -= 8)));
  }
  return bytes;
}

double RgbPsnr(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& expected) {
  double squares = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const double error = double(shown[i]) - expected[i];
    squares += error * error;
  }
  const double mean = squares / static_cast<double>(expected.size());
  return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

// Loads the movie, reads its duration, seeks to each time and draws the
// frame shown onto a canvas (as PNG data), then plays to the end.
const char kBrowserScript[] = R"(
const done = arguments[arguments.length - 1];
const video = document.getElementById('movie');
const canvas = document.createElement('canvas');
canvas.width = video.videoWidth;
canvas.height = video.videoHeight;
const result = {duration: video.duration, pictures: []};
const shown = () => new Promise(resolve => video.requestVideoFrameCallback(() => resolve()));
(async () => {
  for (const time of [0.23, 1.01, 2.04]) {
    const seeked = new Promise(resolve => video.addEventListener('seeked', resolve, {once: true}));
    const painted = shown();
    video.currentTime = time;
    await seeked;
    await painted;
    canvas.getContext('2d').drawImage(video, 0, 0);
    result.pictures.push(canvas.toDataURL('image/png'));
  }
  video.currentTime = 0;
  const ended = new Promise(resolve => video.addEventListener('ended', resolve, {once: true}));
  await video.play();
  await ended;
  result.ended = video.ended;
  result.endTime = video.currentTime;
  done(result);
})().catch(error => done({error: String(error)}));
)";

// Waits for the movie's metadata, so that its size and duration are known.
const char kLoadedScript[] = R"(
const done = arguments[arguments.length - 1];
const video = document.getElementById('movie');
if (video.readyState >= 2) done(true);
video.addEventListener('loadeddata', () => done(true), {once: true});
video.addEventListener('error', () => done('error ' + (video.error && video.error.code)), {once: true});
)";

class CliConvertTest : public CliFixture {
 protected:
  // Slowly moving colour bands with texture inside each block, and a stereo
  // tone; the frames as our decoder shows them kept in m_pictures.
  std::string WriteMovie(bool audio, bool video, const std::string& name, uint64_t cutBytes = 0) {
    filmwriter::FilmFormat format;
    format.width = kWidth;
    format.height = kHeight;
    format.channels = audio ? 2 : 0;
    format.bitsPerSample = 16;
    format.sampleRate = kRate;
    format.timeBase = kTimeBase;
    filmwriter::FilmWriter writer(format);
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
    tessaly::pictures::CMoviePictures decoder(kWidth, kHeight);
    uint64_t sampleFrames = 0;
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
      const std::vector<uint8_t> bytes = frame.Encode();
      decoder.Decode(bytes.data(), bytes.size());
      m_pictures.push_back(decoder.Picture().rgb);
      if (video) writer.AddVideo(bytes, TicksOf(i));
      if (!audio) continue;
      const uint32_t count = TicksOf(i) * kRate / kTimeBase;
      std::vector<uint8_t> pcm;
      for (uint32_t n = 0; n < count; ++n, ++sampleFrames) {
        const auto value = static_cast<int16_t>(8000 * std::sin(sampleFrames * 0.05));
        for (int channel = 0; channel < 2; ++channel) {
          pcm.push_back(static_cast<uint8_t>(value));
          pcm.push_back(static_cast<uint8_t>(value >> 8));
        }
      }
      writer.AddAudio(pcm);
    }
    if (cutBytes > 0) writer.Layout().truncateTo = writer.Build().size() - cutBytes;
    return WriteFilm(writer, name);
  }

  nlohmann::json Identify(const std::string& webm) {
    const ToolResult result = RunReader("mkvmerge", {"-J", webm});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    return nlohmann::json::parse(result.out, nullptr, false);
  }

  // The track's block times in milliseconds, as mkvextract reads them.
  std::vector<int64_t> Times(const std::string& webm, int track) {
    const std::string list = folder / "times.txt";
    const ToolResult result =
        RunReader("mkvextract", {webm, "timestamps_v2", std::to_string(track) + ":" + list});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    std::vector<int64_t> times;
    const std::vector<uint8_t> text = ReadAll(list);
    for (const std::string& line : Lines(std::string(text.begin(), text.end()))) {
      if (!line.empty() && line[0] != '#') times.push_back(std::stoll(line));
    }
    return times;
  }

  std::vector<std::vector<uint8_t>> m_pictures;
};

int64_t MovieMs(uint32_t frames) {
  uint32_t ticks = 0;
  for (uint32_t i = 0; i < frames; ++i) ticks += TicksOf(i);
  return ticks * 1000 / kTimeBase;
}

TEST_F(CliConvertTest, TwoRunsGiveTheSameBytesThatMkvmergeReadsWithTheMovieTimes) {
  Register();
  const std::string film = WriteMovie(true, true, "movie.film");
  const ToolResult first = Tessaly({"convert", film, "-o", folder / "first.webm"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  const ToolResult second = Tessaly({"convert", film, "-o", folder / "second.webm"});
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(ReadAll(folder / "first.webm"), ReadAll(folder / "second.webm"));
  for (const std::string& name : TempFolder::NamesIn(folder.Path())) {
    EXPECT_EQ(name.find(".part-"), std::string::npos) << name << ": a temporary file stays";
  }

  const nlohmann::json identity = Identify(folder / "first.webm");
  EXPECT_TRUE(identity["errors"].empty()) << identity.dump();
  ASSERT_EQ(identity["tracks"].size(), 2u) << identity.dump();
  EXPECT_EQ(identity["tracks"][0]["codec"], "VP9");
  EXPECT_EQ(identity["tracks"][0]["properties"]["pixel_dimensions"], "320x224");
  EXPECT_EQ(identity["tracks"][1]["codec"], "Opus");
  EXPECT_EQ(identity["tracks"][1]["properties"]["audio_channels"], 2);
  EXPECT_EQ(identity["tracks"][1]["properties"]["audio_sampling_frequency"], 48000);
  const double seconds = identity["container"]["properties"]["duration"].get<double>() / 1e9;
  EXPECT_NEAR(seconds, MovieMs(kFrames) / 1000.0, 1.0 / 15);

  // Every frame at its own time, the longer ones kept longer; the list ends
  // with the end of the last frame.
  const std::vector<int64_t> times = Times(folder / "first.webm", 0);
  ASSERT_EQ(times.size(), kFrames + 1);
  for (uint32_t i = 0; i <= kFrames; ++i) EXPECT_NEAR(times[i], MovieMs(i), 1) << "frame " << i;
  EXPECT_EQ(Times(folder / "first.webm", 1).front(), 0) << "the sound starts with the pictures";

  // A cue at the start and one at the key frame two seconds in.
  const ToolResult info = RunReader("mkvinfo", {"-v", "-v", folder / "first.webm"});
  std::vector<std::string> cueTimes;
  for (const std::string& line : Lines(info.out)) {
    if (line.find("+ Cue time: ") != std::string::npos)
      cueTimes.push_back(line.substr(line.find(": ") + 2, 18));
  }
  EXPECT_EQ(cueTimes, (std::vector<std::string>{"00:00:00.000000000", "00:00:02.000000000"}))
      << info.out;
}

TEST_F(CliConvertTest, VpxdecDecodesEveryFrameCloseToOurOwnPictures) {
  Register();
  const std::string film = WriteMovie(true, true, "movie.film");
  const ToolResult converted = Tessaly({"convert", film, "-o", folder / "movie.webm"});
  ASSERT_EQ(converted.exitCode, 0) << converted.err;
  const ToolResult decoded =
      RunReader("vpxdec", {"--i420", "-o", folder / "movie.yuv", folder / "movie.webm"});
  ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
  const std::vector<uint8_t> yuv = ReadAll(folder / "movie.yuv");
  const size_t frameBytes = kWidth * kHeight * 3 / 2;
  ASSERT_EQ(yuv.size(), frameBytes * kFrames);
  double lowest = 99, sum = 0;
  for (uint32_t i = 0; i < kFrames; ++i) {
    const double psnr = Psnr(&yuv[i * frameBytes], m_pictures[i]);
    EXPECT_GE(psnr, 38.0) << "frame " << i;
    lowest = std::min(lowest, psnr);
    sum += psnr;
  }
  RecordProperty("lowest_psnr", std::to_string(lowest));
  std::printf("PSNR against our pictures: lowest %.2f dB, mean %.2f dB, %zu bytes\n", lowest,
              sum / kFrames, ReadAll(folder / "movie.webm").size());
}

TEST_F(CliConvertTest, HeadlessChromiumPlaysItSeeksAndShowsOurPictures) {
  Register();
  const std::string film = WriteMovie(true, true, "movie.film");
  const ToolResult converted = Tessaly({"convert", film, "-o", folder / "movie.webm"});
  ASSERT_EQ(converted.exitCode, 0) << converted.err;
  TempFolder::WriteFile(folder / "page.html", [] {
    const std::string page =
        "<!DOCTYPE html><html><body><video id='movie' src='movie.webm' muted preload='auto'>"
        "</video></body></html>";
    return std::vector<uint8_t>(page.begin(), page.end());
  }());
  ChromeDriver browser(FindProgram("chromedriver"), FindProgram("chromium"), folder / "profile");
  ASSERT_TRUE(browser.Open("file://" + (folder / "page.html"))) << browser.Error();
  ASSERT_EQ(browser.RunAsync(kLoadedScript), true) << browser.Error();
  const nlohmann::json result = browser.RunAsync(kBrowserScript);
  ASSERT_TRUE(result.is_object() && !result.contains("error")) << browser.Error() << result.dump();
  EXPECT_NEAR(result["duration"].get<double>(), MovieMs(kFrames) / 1000.0, 1.0 / 15);
  EXPECT_TRUE(result["ended"].get<bool>());

  // Each seek shows the frame playing at that time, within what two
  // conversions between RGB and YUV and the encoding cost: 35 dB.
  const uint32_t frames[3] = {3, 13, 25};
  ASSERT_EQ(result["pictures"].size(), 3u);
  for (int i = 0; i < 3; ++i) {
    const std::string url = result["pictures"][i].get<std::string>();
    const std::string path = folder / ("seek-" + std::to_string(i) + ".png");
    TempFolder::WriteFile(path, FromBase64(url.substr(url.find(',') + 1)));
    const PngPicture png = ReadPng(path);
    ASSERT_EQ(png.width, kWidth);
    ASSERT_EQ(png.height, kHeight);
    const double psnr = RgbPsnr(png.rgb, m_pictures[frames[i]]);
    std::printf("Chromium at seek %d (frame %u): %.2f dB\n", i, frames[i], psnr);
    EXPECT_GE(psnr, 35.0) << "seek " << i;
  }
}

TEST_F(CliConvertTest, AMovieWithOneStreamGivesAWebmOfThatStream) {
  Register();
  const std::string sound = WriteMovie(true, false, "sound.film");
  const ToolResult audio = Tessaly({"convert", sound, "-o", folder / "sound.webm"});
  ASSERT_EQ(audio.exitCode, 0) << audio.err;
  nlohmann::json identity = Identify(folder / "sound.webm");
  ASSERT_EQ(identity["tracks"].size(), 1u) << identity.dump();
  EXPECT_EQ(identity["tracks"][0]["codec"], "Opus");
  EXPECT_NEAR(identity["container"]["properties"]["duration"].get<double>() / 1e9,
              MovieMs(kFrames) / 1000.0, 0.001);

  const std::string pictures = WriteMovie(false, true, "pictures.film");
  const ToolResult video = Tessaly({"convert", pictures, "-o", folder / "pictures.webm"});
  ASSERT_EQ(video.exitCode, 0) << video.err;
  identity = Identify(folder / "pictures.webm");
  ASSERT_EQ(identity["tracks"].size(), 1u) << identity.dump();
  EXPECT_EQ(identity["tracks"][0]["codec"], "VP9");
}

TEST_F(CliConvertTest, ACutStartsAtZeroAndLastsTheCut) {
  Register();
  const std::string film = WriteMovie(true, true, "movie.film");
  const ToolResult cut =
      Tessaly({"convert", film, "-o", folder / "cut.webm", "--start", "0.8", "--end", "1.6"});
  ASSERT_EQ(cut.exitCode, 0) << cut.err;
  const nlohmann::json identity = Identify(folder / "cut.webm");
  EXPECT_NEAR(identity["container"]["properties"]["duration"].get<double>() / 1e9, 0.8, 1.0 / 15);
  const std::vector<int64_t> times = Times(folder / "cut.webm", 0);
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(times.front(), 0);
  EXPECT_EQ(Times(folder / "cut.webm", 1).front(), 0);
}

TEST_F(CliConvertTest, AMovieCutShortConvertsWhatItHasWithAWarning) {
  Register();
  // The last row, a sound chunk, loses its end.
  const std::string film = WriteMovie(true, true, "short.film", 6000);
  const ToolResult result = Tessaly({"convert", film, "-o", folder / "short.webm"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.rfind("tessaly: warning: " + film + " is cut short", 0), 0u) << result.err;
  const nlohmann::json identity = Identify(folder / "short.webm");
  ASSERT_EQ(identity["tracks"].size(), 2u) << identity.dump();
  EXPECT_TRUE(identity["errors"].empty()) << identity.dump();
  EXPECT_EQ(Times(folder / "short.webm", 0).size(), kFrames + 1) << "every frame is in the file";
}

TEST_F(CliConvertTest, AnOutputThatCannotBeWrittenFailsAndLeavesNothing) {
  Register();
  const std::string film = WriteMovie(true, true, "movie.film");
  const ToolResult result = Tessaly({"convert", film, "-o", folder / "missing/movie.webm"});
  EXPECT_EQ(result.exitCode, 7) << result.err;
  EXPECT_NE(result.err.find("missing/movie.webm"), std::string::npos) << result.err;
  const ToolResult quality =
      Tessaly({"convert", film, "-o", folder / "x.webm", "--quality", "101"});
  EXPECT_EQ(quality.exitCode, 2) << quality.err;
  EXPECT_FALSE(access((folder / "x.webm").c_str(), F_OK) == 0);
}

}  // namespace
}  // namespace tools_test
