// tessaly convert, checked by readers written elsewhere: mkvmerge and
// mkvextract (mkvtoolnix) for the container and its times, vpxdec
// (vpx-tools) for the pictures, against what our own decoder makes of the
// movie.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
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
// frame shown onto a canvas (as PNG data), plays to the end, then seeks into
// the last frame, which the player has now seen, and draws it too.
const char kBrowserScript[] = R"(
const done = arguments[arguments.length - 1];
const video = document.getElementById('movie');
const canvas = document.createElement('canvas');
canvas.width = video.videoWidth;
canvas.height = video.videoHeight;
const result = {duration: video.duration, pictures: []};
const shown = () => new Promise(resolve => video.requestVideoFrameCallback(() => resolve()));
(async () => {
  const draw = async time => {
    const seeked = new Promise(resolve => video.addEventListener('seeked', resolve, {once: true}));
    const painted = shown();
    video.currentTime = time;
    await seeked;
    await painted;
    canvas.getContext('2d').drawImage(video, 0, 0);
    result.pictures.push(canvas.toDataURL('image/png'));
  };
  for (const time of [0.23, 1.01, 2.04]) await draw(time);
  video.currentTime = 0;
  const ended = new Promise(resolve => video.addEventListener('ended', resolve, {once: true}));
  await video.play();
  await ended;
  result.ended = video.ended;
  result.endTime = video.currentTime;
  await draw(2.35);
  if (video.error) result.mediaError = video.error.code;
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
    format.sampleRate = static_cast<uint16_t>(m_rate);
    format.timeBase = m_timeBase;
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
    m_pictures.clear();
    for (uint32_t i = 0; i < m_frames; ++i) {
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
      if (video) writer.AddVideo(bytes, m_ticks(i));
      if (!audio) continue;
      writer.AddAudio(Tone(m_ticks(i) * m_rate / m_timeBase, &sampleFrames));
      if (m_tooLargeSoundAfter == i) {
        writer.AddStoredRow(film::kAudioTimeInfo, 0, std::vector<uint8_t>(65540, 1));
      }
    }
    for (uint32_t half = 0; audio && half < 2 * m_soundAfterPictures; ++half) {
      writer.AddAudio(Tone(m_rate / 2, &sampleFrames));
    }
    m_soundFrames = sampleFrames;
    if (cutBytes > 0) writer.Layout().truncateTo = writer.Build().size() - cutBytes;
    return WriteFilm(writer, name);
  }

  // count frames of a stereo tone that goes on from frame *at.
  static std::vector<uint8_t> Tone(uint32_t count, uint64_t* at) {
    std::vector<uint8_t> pcm;
    for (uint32_t n = 0; n < count; ++n, ++*at) {
      const auto value = static_cast<int16_t>(8000 * std::sin(*at * 0.05));
      for (int channel = 0; channel < 2; ++channel) {
        pcm.push_back(static_cast<uint8_t>(value));
        pcm.push_back(static_cast<uint8_t>(value >> 8));
      }
    }
    return pcm;
  }

  // A one-frame movie of any picture size, whatever its frame holds.
  std::string WriteSized(uint32_t width, uint32_t height) const {
    filmwriter::FilmFormat format;
    format.width = width;
    format.height = height;
    format.channels = 0;
    filmwriter::FilmWriter writer(format);
    writer.AddVideo(Frame(400, 2), 40);
    return WriteFilm(writer, std::to_string(width) + "x" + std::to_string(height) + ".film");
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

  // What mkvinfo says after mark, on each line that has it: its summary
  // ("-s") or every element ("-v").
  std::vector<std::string> Said(const std::string& webm, const char* option,
                                const std::string& mark) {
    std::vector<std::string> said;
    for (const std::string& line : Lines(RunReader("mkvinfo", {option, option, webm}).out)) {
      const size_t at = line.find(mark);
      if (at != std::string::npos) said.push_back(line.substr(at + mark.size()));
    }
    return said;
  }

  // The cue times in milliseconds.
  std::vector<int64_t> CueTimes(const std::string& webm) {
    std::vector<int64_t> times;
    for (const std::string& clock : Said(webm, "-v", "+ Cue time: ")) {
      int hours = 0, minutes = 0;
      double seconds = 0;
      std::sscanf(clock.c_str(), "%d:%d:%lf", &hours, &minutes, &seconds);
      times.push_back(std::llround(((hours * 60 + minutes) * 60 + seconds) * 1000));
    }
    return times;
  }

  double Seconds(const std::string& webm) {
    return Identify(webm)["container"]["properties"]["duration"].get<double>() / 1e9;
  }

  std::vector<std::vector<uint8_t>> m_pictures;
  // The movie WriteMovie makes: frames, their lengths, the sound's rate, a
  // sound row too large to play after a frame's rows, seconds of sound
  // after the last picture; and the sound frames it wrote.
  uint32_t m_frames = kFrames;
  uint32_t m_timeBase = kTimeBase;
  std::function<uint32_t(uint32_t)> m_ticks = TicksOf;
  uint32_t m_rate = kRate;
  std::optional<uint32_t> m_tooLargeSoundAfter;
  uint32_t m_soundAfterPictures = 0;
  uint64_t m_soundFrames = 0;
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

  // A cue at the start and one at the key frame two seconds in; those two
  // are the only frames a reader takes to decode alone, the last one too.
  EXPECT_EQ(CueTimes(folder / "first.webm"), (std::vector<int64_t>{0, 2000}));
  std::vector<std::string> alone = Said(folder / "first.webm", "-s", "I frame, track 1, ");
  for (std::string& line : alone) line = line.substr(10, 12);
  EXPECT_EQ(alone, (std::vector<std::string>{"00:00:00.000", "00:00:02.000"}));
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
  EXPECT_FALSE(result.contains("mediaError")) << result["mediaError"].dump();
  EXPECT_NEAR(result["duration"].get<double>(), MovieMs(kFrames) / 1000.0, 1.0 / 15);
  EXPECT_TRUE(result["ended"].get<bool>());

  // Each seek shows the frame playing at that time, within what two
  // conversions between RGB and YUV and the encoding cost: 35 dB.
  const uint32_t frames[4] = {3, 13, 25, 29};
  ASSERT_EQ(result["pictures"].size(), 4u);
  for (int i = 0; i < 4; ++i) {
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

  // A rate far below what Opus takes is resampled like any other.
  m_rate = 500;
  const std::string slow = WriteMovie(true, false, "slow.film");
  const ToolResult resampled = Tessaly({"convert", slow, "-o", folder / "slow.webm"});
  ASSERT_EQ(resampled.exitCode, 0) << resampled.err;
  EXPECT_NEAR(Seconds(folder / "slow.webm"), m_soundFrames / 500.0, 0.001);

  // Video whose every frame is damaged leaves a file of the sound alone, not
  // an empty picture track.
  filmwriter::FilmFormat format;
  format.channels = 2;
  format.bitsPerSample = 16;
  filmwriter::FilmWriter damaged(format);
  for (uint32_t i = 0; i < 3; ++i) {
    damaged.AddAudio(Pattern(5880, i));
    damaged.AddStoredRow(0, 40, std::vector<uint8_t>(5, 2));
  }
  const ToolResult soundOnly =
      Tessaly({"convert", WriteFilm(damaged, "damaged.film"), "-o", folder / "damaged.webm"});
  ASSERT_EQ(soundOnly.exitCode, 0) << soundOnly.err;
  EXPECT_NE(soundOnly.err.find("VFW_E_INVALIDMEDIATYPE"), std::string::npos) << soundOnly.err;
  identity = Identify(folder / "damaged.webm");
  ASSERT_EQ(identity["tracks"].size(), 1u) << identity.dump();
  EXPECT_EQ(identity["tracks"][0]["codec"], "Opus");

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
  // Without --end the cut runs to the movie's end, sound and all.
  const ToolResult open = Tessaly({"convert", film, "-o", folder / "open.webm", "--start", "0.8"});
  ASSERT_EQ(open.exitCode, 0) << open.err;
  EXPECT_NEAR(Seconds(folder / "open.webm"), MovieMs(kFrames) / 1000.0 - 0.8, 1.0 / 15);
  EXPECT_NEAR(Times(folder / "open.webm", 1).back(), MovieMs(kFrames) - 800, 25);
}

// A sound row too large to play is lost; the sound after it keeps its time
// in the movie, so that it ends where the movie does, not early.
TEST_F(CliConvertTest, SoundAfterALostRowKeepsItsTimeInTheMovie) {
  Register();
  m_tooLargeSoundAfter = 10;
  const std::string film = WriteMovie(true, true, "lost.film");
  const ToolResult result = Tessaly({"convert", film, "-o", folder / "lost.webm"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("VFW_E_BUFFER_OVERFLOW"), std::string::npos) << result.err;
  // The lost row held 65,540 bytes: 0.743 s of 22,050 Hz stereo.
  const double movieSeconds = MovieMs(kFrames) / 1000.0 + 65540.0 / (4 * kRate);
  EXPECT_NEAR(Seconds(folder / "lost.webm"), movieSeconds, 0.001);
  EXPECT_NEAR(Times(folder / "lost.webm", 1).back() / 1000.0, movieSeconds, 0.025);

  // The padding after the sound's end (the packets' 960 samples each, less
  // the 312 the decoder drops first, less the sound) is said rounded up, so
  // that a reader that drops it keeps not one sample more than the sound.
  const auto packets = static_cast<int64_t>(Said(folder / "lost.webm", "-s", ", track 2, ").size());
  const int64_t discardNs = std::stoll(Said(folder / "lost.webm", "-v", "Discard padding: ").at(0));
  const int64_t padding = packets * 960 - 312 - std::llround(movieSeconds * 48000);
  ASSERT_GT(padding % 3, 0) << "a padding whose nanoseconds are not whole";
  EXPECT_GE(discardNs * 48000, padding * 1000000000);
  EXPECT_LT(discardNs * 48000, (padding + 1) * 1000000000);
}

// After the last picture, and without pictures, the sound has a cluster and
// a cue at least every five seconds (and a 20 ms packet), so that a seek
// lands close.
TEST_F(CliConvertTest, SoundWithoutPicturesHasACueEveryFiveSeconds) {
  Register();
  m_soundAfterPictures = 12;
  for (const bool video : {true, false}) {
    const std::string webm = folder / (video ? "both.webm" : "sound.webm");
    const ToolResult result =
        Tessaly({"convert", WriteMovie(true, video, "long.film"), "-o", webm});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<int64_t> cues = CueTimes(webm);
    ASSERT_FALSE(cues.empty());
    EXPECT_EQ(cues.front(), 0);
    for (size_t i = 1; i < cues.size(); ++i) EXPECT_LE(cues[i] - cues[i - 1], 5020) << i;
    EXPECT_LE(Seconds(webm) * 1000 - cues.back(), 5020);
  }
}

struct FrameTiming {
  const char* name;
  uint32_t timeBase;
  uint32_t frames;
  std::function<uint32_t(uint32_t)> ticks;
  std::vector<int64_t> times;  // the block times, then the end of the last
};

// Each frame at its own millisecond: of two in the same one, the later
// picture is kept, and no frame is pushed later. A key frame before any gap
// between key frames would pass two seconds.
TEST_F(CliConvertTest, FramesKeepTheirOwnMillisecondAndKeyFramesComeWithinTwoSeconds) {
  Register();
  std::vector<int64_t> halves;
  for (int64_t ms = 0; ms <= 50; ++ms) halves.push_back(ms);
  halves.push_back(145);
  std::vector<int64_t> tenths;
  for (int64_t ms = 0; ms <= 3600; ms += 300) tenths.push_back(ms);
  const FrameTiming timings[] = {
      {"ThreeTenthsOfASecond", 600, 12, [](uint32_t) { return 180u; }, tenths},
      {"HalfMilliseconds", 10000, 101, [](uint32_t i) { return i < 100 ? 5u : 950u; }, halves},
  };
  for (const FrameTiming& timing : timings) {
    m_timeBase = timing.timeBase;
    m_frames = timing.frames;
    m_ticks = timing.ticks;
    const std::string webm = folder / (std::string(timing.name) + ".webm");
    const ToolResult result = Tessaly(
        {"convert", WriteMovie(false, true, std::string(timing.name) + ".film"), "-o", webm});
    ASSERT_EQ(result.exitCode, 0) << timing.name << ": " << result.err;
    EXPECT_EQ(Times(webm, 0), timing.times) << timing.name;
    const std::vector<int64_t> keys = CueTimes(webm);
    for (size_t i = 1; i < keys.size(); ++i) {
      EXPECT_LE(keys[i] - keys[i - 1], 2000) << timing.name << " key frame " << i;
    }
    EXPECT_LE(timing.times[timing.times.size() - 2] - keys.back(), 2000) << timing.name;
  }
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
  // A contact sheet of it says the same.
  const ToolResult sheet = Tessaly({"thumbnail", film, "-o", folder / "sheet.png"});
  ASSERT_EQ(sheet.exitCode, 0) << sheet.err;
  EXPECT_EQ(sheet.err.rfind("tessaly: warning: " + film + " is cut short", 0), 0u) << sheet.err;
}

// Each refusal is one sentence and an exit status, and leaves no file: an
// output that cannot be written, or that is the input however it is named, or
// that is no regular file; a movie nothing of which plays; a picture size VP9
// cannot take. The input and special files stay as they were.
TEST_F(CliConvertTest, AnOutputThatCannotBeWrittenOrAMovieThatCannotBeConvertedLeavesNothing) {
  Register();
  const std::string film = WriteMovie(true, true, "movie.film");
  const std::vector<uint8_t> filmBytes = ReadAll(film);
  const std::string hard = folder / "hard.film";
  const std::string soft = folder / "soft.film";
  const std::string pipe = folder / "pipe.webm";
  ASSERT_EQ(link(film.c_str(), hard.c_str()), 0);
  ASSERT_EQ(symlink(film.c_str(), soft.c_str()), 0);
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  filmwriter::FilmWriter empty;  // every chunk lies past the end of the file
  empty.AddAudio(Pattern(200, 1));
  empty.AddVideo(Frame(400, 2), 40);
  empty.Layout().truncateTo = empty.Expect().dataOffset;
  const std::string nothing = WriteFilm(empty, "nothing.film");
  // A sound row whose length claims hours, then sound after it.
  filmwriter::FilmWriter hours;
  hours.AddAudio(Pattern(200, 1));
  hours.AddAudio(Pattern(200, 2));
  hours.AddAudio(Pattern(200, 3));
  std::vector<uint8_t> hoursBytes = hours.Build();
  const size_t lengthAt =
      film::kHeaderLength + film::kTableHeadLength + film::kRowLength + 4;
  for (int i = 0; i < 4; ++i) hoursBytes[lengthAt + i] = i == 0 ? 0x7F : 0xFF;
  TempFolder::WriteFile(folder / "hours.film", hoursBytes);
  const std::string out = folder / "out.webm";
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string says;
  };
  const Case cases[] = {
      {{"convert", film, "-o", folder / "missing/movie.webm"}, 7, "missing/movie.webm"},
      {{"convert", film, "-o", out, "--quality", "101"}, 2, "--quality"},
      {{"convert", film, "-o", film}, 2, "is the input file"},
      {{"convert", film, "-o", hard}, 2, "is the input file"},
      {{"convert", hard, "-o", soft}, 2, "is the input file"},
      {{"thumbnail", film, "-o", soft}, 2, "is the input file"},
      {{"convert", film, "-o", pipe}, 7, "not a regular file"},
      {{"convert", film, "-o", "/dev/null"}, 7, "not a regular file"},
      {{"convert", film, "-o", folder.Path()}, 7, "is a folder"},
      {{"convert", nothing, "-o", out}, 6, "nothing of it could be played"},
      {{"convert", folder / "hours.film", "-o", out}, 6, "too damaged to convert"},
      {{"thumbnail", nothing, "-o", folder / "sheet.png"}, 6, "no video frame of it"},
      {{"convert", WriteSized(0, 0), "-o", out}, 6, "pictures are 0x0 pixels; VP9 takes"},
      {{"convert", WriteSized(0, 48), "-o", out}, 6, "pictures are 0x48 pixels"},
      {{"convert", WriteSized(70000, 48), "-o", out}, 6, "pictures are 70000x48 pixels"},
      {{"convert", WriteSized(8, 16904), "-o", out}, 6, "pictures are 8x16904 pixels"},
  };
  for (const Case& c : cases) {
    const ToolResult result = Tessaly(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.says << ": " << result.err;
    const std::vector<std::string> lines = Lines(result.err);
    ASSERT_FALSE(lines.empty()) << c.says;
    EXPECT_EQ(lines.back().rfind("tessaly: ", 0), 0u) << result.err;
    EXPECT_NE(lines.back().find(c.says), std::string::npos) << result.err;
  }
  EXPECT_EQ(ReadAll(film), filmBytes);
  struct stat info {};
  ASSERT_EQ(lstat(soft.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  for (const std::string& name : TempFolder::NamesIn(folder.Path())) {
    EXPECT_TRUE(name.find(".part-") == std::string::npos && name != "out.webm" &&
                name != "sheet.png")
        << name << " stays";
  }

  // A symbolic link to another file is written through: the file it names
  // gets the movie, the link stays.
  const std::string target = folder / "target.webm";
  const std::string linked = folder / "linked.webm";
  TempFolder::WriteFile(target, {1, 2, 3});
  ASSERT_EQ(symlink(target.c_str(), linked.c_str()), 0);
  const ToolResult through = Tessaly({"convert", film, "-o", linked});
  ASSERT_EQ(through.exitCode, 0) << through.err;
  ASSERT_EQ(lstat(linked.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(Identify(target)["tracks"].size(), 2u);
}

}  // namespace
}  // namespace tools_test
