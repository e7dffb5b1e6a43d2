// info, dump and extract on files of every shape, checked against what the
// FILM writer says the splitter delivers.
#include <algorithm>
#include <map>
#include <numeric>

#include "AviReader.h"
#include "CliFixture.h"
#include "RiffReader.h"
#include "tessaly/CSha256.h"

using filmwriter::ExpectedSample;
using filmwriter::FilmExpectation;
using filmwriter::FilmFormat;
using filmwriter::FilmWriter;
using filmwriter::Stream;
using namespace tools_test;

namespace {

struct Shape {
  const char* name;
  uint8_t channels;
  uint8_t bitsPerSample;
  uint16_t sampleRate;
  // 'a' for an audio row, 'v' for a video row, in file order.
  const char* rows;
  uint32_t cutBytes = 0;  // cut off the end of the file, as by a broken download
};

const Shape kShapes[] = {
    {"AudioOnly8BitMono", 1, 8, 11025, "aaaa"},
    {"AudioOnly16BitStereo", 2, 16, 22050, "aaa"},
    {"VideoOnly", 0, 8, 22050, "vvvvv"},
    {"Both8BitStereoAlternating", 2, 8, 22050, "avavavav"},
    {"Both16BitMonoMixed", 1, 16, 8000, "aavavvvaav"},
    {"Both16BitStereoVideoFirst", 2, 16, 44100, "vvaavaaav"},
    {"Both8BitMonoAudioLast", 1, 8, 22050, "vavvaa"},
    {"Both16BitStereoCutInsideAudio", 2, 16, 22050, "avava", 101},
    {"Both8BitMonoCutInsideVideo", 1, 8, 22050, "avav", 5},
};

// Audio chunk lengths are whole blocks, so that every delivered byte is
// determined by the file; one chunk is empty.
FilmWriter BuildFile(const Shape& shape) {
  FilmFormat format;
  format.channels = shape.channels;
  format.bitsPerSample = shape.bitsPerSample;
  format.sampleRate = shape.sampleRate;
  format.width = 96;
  format.height = 64;
  format.timeBase = 600;
  FilmWriter writer(format);
  const uint32_t block = std::max<uint32_t>(1, shape.channels * shape.bitsPerSample / 8);
  uint32_t index = 0;
  for (const char* row = shape.rows; *row != 0; ++row, ++index) {
    if (*row == 'a') {
      const uint32_t blocks = index == 2 ? 0 : 200 + 37 * index;
      writer.AddAudio(Pattern(blocks * block, index));
    } else {
      const uint32_t durations[] = {40, 20, 60, 40, 25};
      writer.AddVideo(Frame(10 + 101 * index + (index % 2), index), durations[index % 5],
                      index % 3 != 1);
    }
  }
  return writer;
}

std::string PinName(const ExpectedSample& sample) {
  return sample.stream == Stream::Audio ? "Audio" : "Video";
}

std::string Sha(const std::vector<uint8_t>& bytes) {
  return tessaly::cli::CSha256::HexDigest(bytes.data(), bytes.size());
}

std::vector<ExpectedSample> SamplesOf(const FilmExpectation& expectation, Stream stream) {
  std::vector<ExpectedSample> samples;
  for (const ExpectedSample& sample : expectation.samples) {
    if (sample.stream == stream) samples.push_back(sample);
  }
  return samples;
}

std::vector<uint8_t> Concatenated(const FilmExpectation& expectation, Stream stream) {
  std::vector<uint8_t> bytes;
  for (const ExpectedSample& sample : expectation.samples) {
    if (sample.stream == stream)
      bytes.insert(bytes.end(), sample.payload.begin(), sample.payload.end());
  }
  return bytes;
}

class CliShapesTest : public CliFixture, public ::testing::WithParamInterface<Shape> {
 protected:
  void SetUp() override {
    Register();
    writer = BuildFile(GetParam());
    whole = writer.Expect();
    if (GetParam().cutBytes > 0) {
      writer.Layout().truncateTo = writer.Build().size() - GetParam().cutBytes;
    }
    expectation = writer.Expect();
    ASSERT_TRUE(expectation.parses);
    file = WriteFilm(writer, "movie.film");
  }

  // The one line dump and extract print on standard error for a cut file.
  void ExpectWarningOnlyWhenCut(const std::string& err) const {
    if (GetParam().cutBytes == 0) {
      EXPECT_EQ(err, "");
      return;
    }
    EXPECT_EQ(err.rfind("tessaly: warning: " + file + " is cut short, 1 row missing (", 0), 0u)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }

  // Seconds of a stream the cut took away, from the samples' own times.
  double SecondsLost(Stream stream) const {
    if (stream == Stream::Audio) {
      const size_t lost = Concatenated(whole, Stream::Audio).size() -
                          Concatenated(expectation, Stream::Audio).size();
      return double(lost) / expectation.avgBytesPerSec;
    }
    int64_t units = 0;
    for (const ExpectedSample& sample : whole.samples) {
      if (sample.stream == Stream::Video) units += sample.stop - sample.start;
    }
    for (const ExpectedSample& sample : expectation.samples) {
      if (sample.stream == Stream::Video) units -= sample.stop - sample.start;
    }
    return double(units) / 10000000;
  }

  FilmWriter writer;
  FilmExpectation whole;
  FilmExpectation expectation;
  std::string file;
};

}  // namespace

TEST_P(CliShapesTest, InfoDescribesThePinsFormatsAndDuration) {
  const Shape& shape = GetParam();
  const ToolResult result = Tessaly({"info", file, "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const nlohmann::json info = nlohmann::json::parse(result.out);
  const nlohmann::json& pins = info["pins"];
  size_t at = 0;
  if (expectation.hasAudioOutput) {
    const nlohmann::json& audio = pins.at(at++);
    EXPECT_EQ(audio["name"], "Audio");
    EXPECT_EQ(audio["majortype"], "{73647561-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(audio["subtype"], "{00000001-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(audio["formattype"], "{05589F81-C356-11CE-BF01-00AA0055595A}");
    EXPECT_EQ(audio["fixedSizeSamples"], false);
    EXPECT_EQ(audio["sampleSize"], 65536);
    const nlohmann::json& format = audio["format"];
    EXPECT_EQ(format["wFormatTag"], 1);
    EXPECT_EQ(format["nChannels"], shape.channels);
    EXPECT_EQ(format["nSamplesPerSec"], shape.sampleRate);
    EXPECT_EQ(format["nBlockAlign"], expectation.blockAlign);
    EXPECT_EQ(format["nAvgBytesPerSec"], expectation.avgBytesPerSec);
    EXPECT_EQ(format["wBitsPerSample"], shape.bitsPerSample);
  }
  if (expectation.hasVideoOutput) {
    const nlohmann::json& video = pins.at(at++);
    EXPECT_EQ(video["name"], "Video");
    EXPECT_EQ(video["majortype"], "{73646976-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(video["subtype"], "{64697663-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(video["formattype"], "{05589F80-C356-11CE-BF01-00AA0055595A}");
    EXPECT_EQ(video["fixedSizeSamples"], true);
    EXPECT_EQ(video["sampleSize"], 1);
    const nlohmann::json& format = video["format"];
    EXPECT_EQ(format["width"], 96);
    EXPECT_EQ(format["height"], 64);
    EXPECT_EQ(format["bitCount"], 24);
    EXPECT_EQ(format["compression"], "cvid");
    EXPECT_EQ(format["avgTimePerFrame"], 200000);
    EXPECT_EQ(format["bitRate"], 2000);
  }
  EXPECT_EQ(pins.size(), at);
  // A movie without video lasts as long as its audio.
  int64_t audioLength = 0;
  for (const ExpectedSample& sample : expectation.samples) {
    if (sample.stream == Stream::Audio) audioLength = sample.stop;
  }
  // Each stream's own length from the table, the whole movie's even when the file is cut.
  if (expectation.hasVideoOutput) {
    const nlohmann::json& movie = pins.at(at - 1)["movie"];
    EXPECT_EQ(movie["frames"], expectation.videoChunkCount);
    EXPECT_NEAR(movie["seconds"].get<double>(),
                double(expectation.videoTicks) / expectation.timeBase, 1e-9);
  }
  if (expectation.hasAudioOutput && shape.cutBytes == 0) {
    EXPECT_NEAR(pins.at(0)["movie"]["seconds"].get<double>(), audioLength / 1e7, 1e-6);
  }
  // The filter's one duration, in 100-ns units, shown in seconds.
  const int64_t units =
      expectation.hasVideoOutput
          ? film::VideoFrameDuration(int64_t(expectation.videoTicks), expectation.timeBase)
          : audioLength;
  EXPECT_NEAR(info["duration"].get<double>(), units / 1e7, 1e-9);
  if (shape.cutBytes == 0) {
    EXPECT_FALSE(info.contains("truncated"));
    return;
  }
  const nlohmann::json& truncated = info["truncated"];
  EXPECT_EQ(truncated["rowsMissing"], 1);
  EXPECT_NEAR(truncated["secondsMissing"]["Audio"].get<double>(), SecondsLost(Stream::Audio), 1e-6);
  EXPECT_NEAR(truncated["secondsMissing"]["Video"].get<double>(), SecondsLost(Stream::Video), 1e-6);
}

TEST_P(CliShapesTest, DumpPrintsEverySampleThenEndOfStreamInDeliveryOrder) {
  const ToolResult result = Tessaly({"dump", file});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ExpectWarningOnlyWhenCut(result.err);
  // Each pin's lines in its own order; how the two pins' lines interleave
  // is up to their delivery threads.
  std::map<std::string, std::vector<std::string>> expected;
  for (const ExpectedSample& sample : expectation.samples) {
    ASSERT_EQ(sample.determinedLength, sample.payload.size());
    const std::string times =
        std::to_string(sample.start) + ",\"stop\":" + std::to_string(sample.stop);
    expected[PinName(sample)].push_back("{\"pin\":\"" + PinName(sample) + "\",\"start\":" + times +
                                        ",\"mediaStart\":" + times.substr(0, times.find(',')) +
                                        ",\"mediaStop\":" + std::to_string(sample.stop) +
                                        ",\"sync\":" + (sample.syncPoint ? "true" : "false") +
                                        ",\"length\":" + std::to_string(sample.payload.size()) +
                                        ",\"sha256\":\"" + Sha(sample.payload) + "\"}");
  }
  for (const char* pin : {"Audio", "Video"}) {
    if (std::string(pin) == "Audio" ? expectation.hasAudioOutput : expectation.hasVideoOutput) {
      expected[pin].push_back("{\"pin\":\"" + std::string(pin) + "\",\"event\":\"eos\"}");
    }
  }
  std::map<std::string, std::vector<std::string>> printed;
  for (const std::string& line : Lines(result.out)) {
    const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(parsed.is_object() && parsed.contains("pin")) << line;
    printed[parsed["pin"].get<std::string>()].push_back(line);
  }
  EXPECT_EQ(printed, expected);
}

TEST_P(CliShapesTest, ExtractWritesAWaveFileAndAnAviThatReadBack) {
  const std::string out = folder / "out";
  const ToolResult result = Tessaly({"extract", file, "-o", out});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ExpectWarningOnlyWhenCut(result.err);
  std::vector<std::string> names = {"movie.avi"};
  if (expectation.hasAudioOutput) names.insert(names.begin(), "audio.wav");
  ASSERT_EQ(TempFolder::NamesIn(out), names) << "nothing else, no temporary file";
  std::string error;

  if (expectation.hasAudioOutput) {
    const RiffReader wav(ReadFileBytes(out + "/audio.wav"));
    RiffChunk riff;
    ASSERT_TRUE(wav.Parse(&riff, &error)) << error;
    const RiffChunk* fmt = riff.Child("fmt ");
    const RiffChunk* data = riff.Child("data");
    ASSERT_TRUE(fmt != nullptr && data != nullptr);
    EXPECT_EQ(wav.U16(fmt->dataOffset + 2), GetParam().channels);
    EXPECT_EQ(wav.U32(fmt->dataOffset + 4), GetParam().sampleRate);
    EXPECT_EQ(wav.U32(fmt->dataOffset + 8), expectation.avgBytesPerSec);
    EXPECT_EQ(wav.U16(fmt->dataOffset + 12), expectation.blockAlign);
    EXPECT_EQ(wav.U16(fmt->dataOffset + 14), GetParam().bitsPerSample);
    EXPECT_EQ(wav.Bytes(data->dataOffset, data->size), Concatenated(expectation, Stream::Audio));
  }

  AviFile avi;
  ASSERT_TRUE(ReadAvi(ReadFileBytes(out + "/movie.avi"), &avi, &error)) << error;
  const int videoNumber = expectation.hasVideoOutput ? 0 : -1;
  const int audioNumber = expectation.hasAudioOutput ? (expectation.hasVideoOutput ? 1 : 0) : -1;
  ASSERT_EQ(avi.streams.size(), size_t(videoNumber >= 0) + size_t(audioNumber >= 0));
  ASSERT_EQ(avi.chunks.size(), expectation.samples.size());
  ASSERT_EQ(avi.index.size(), expectation.samples.size());
  // Chunks go by time whatever order the two delivery threads ran in: each
  // stream's in its own order, a video frame before audio of the same time.
  const std::vector<ExpectedSample> audioSamples = SamplesOf(expectation, Stream::Audio);
  const std::vector<ExpectedSample> videoSamples = SamplesOf(expectation, Stream::Video);
  char audioId[5];
  char videoId[5];
  std::snprintf(audioId, sizeof(audioId), "%02dwb", audioNumber);
  std::snprintf(videoId, sizeof(videoId), "%02ddc", videoNumber);
  size_t audioAt = 0;
  size_t videoAt = 0;
  int64_t lastStart = INT64_MIN;
  bool lastVideo = false;
  uint32_t frames = 0;
  int64_t frameUnits = 0;
  for (size_t i = 0; i < avi.chunks.size(); ++i) {
    const bool video = videoNumber >= 0 && avi.chunks[i].id == videoId;
    ASSERT_TRUE(video || (audioNumber >= 0 && avi.chunks[i].id == audioId))
        << "chunk " << i << " is " << avi.chunks[i].id;
    size_t& at = video ? videoAt : audioAt;
    const std::vector<ExpectedSample>& samples = video ? videoSamples : audioSamples;
    ASSERT_LT(at, samples.size()) << "chunk " << i;
    const ExpectedSample& sample = samples[at++];
    EXPECT_TRUE(sample.start > lastStart || (sample.start == lastStart && (lastVideo || !video)))
        << "chunk " << i << " starts at " << sample.start << ", before " << lastStart;
    lastStart = sample.start;
    lastVideo = video;
    const char* id = video ? videoId : audioId;
    EXPECT_EQ(avi.chunks[i].data, sample.payload) << "chunk " << i;
    EXPECT_EQ(avi.index[i].id, id);
    EXPECT_EQ(avi.index[i].offset, avi.chunks[i].offset);
    EXPECT_EQ(avi.index[i].size, sample.payload.size());
    EXPECT_EQ(avi.index[i].flags, !video || sample.syncPoint ? 0x10u : 0u) << "chunk " << i;
    if (video) {
      ++frames;
      frameUnits += sample.stop - sample.start;
    }
  }
  EXPECT_EQ(avi.totalFrames, frames);
  EXPECT_EQ(avi.flags & 0x100u, 0x100u) << "interleaved";
  const ToolResult again = Tessaly({"extract", file, "-o", folder / "again"});
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(ReadFileBytes(folder / "again/movie.avi"), ReadFileBytes(out + "/movie.avi"));
  if (videoNumber >= 0) {
    const AviStream& stream = avi.streams[videoNumber];
    EXPECT_EQ(stream.type, "vids");
    EXPECT_EQ(stream.handler, "cvid");
    EXPECT_EQ(stream.length, frames);
    uint64_t scale = (frameUnits + frames / 2) / frames;
    uint64_t rate = 10000000;
    const uint64_t divisor = std::gcd(scale, rate);
    EXPECT_EQ(stream.scale, scale / divisor) << "the mean frame duration of the samples";
    EXPECT_EQ(stream.rate, rate / divisor);
  }
  if (audioNumber >= 0) {
    const AviStream& stream = avi.streams[audioNumber];
    EXPECT_EQ(stream.type, "auds");
    EXPECT_EQ(stream.scale, expectation.blockAlign);
    EXPECT_EQ(stream.rate, expectation.avgBytesPerSec);
    EXPECT_EQ(stream.length,
              Concatenated(expectation, Stream::Audio).size() / expectation.blockAlign);
  }
}

// Every shape plays to its end through renderers; paused, each renderer holds
// its stream's first sample, however the rows of the streams interleave.
TEST_P(CliShapesTest, PlayEndsAndPausedHoldsEachStreamsFirstSample) {
  const ToolResult played = Tessaly({"play", file});
  EXPECT_EQ(played.exitCode, 0) << played.err;
  EXPECT_EQ(played.out, "");
  ExpectWarningOnlyWhenCut(played.err);

  const ToolResult paused = Tessaly({"play", "--paused", file});
  ASSERT_EQ(paused.exitCode, 0) << paused.err;
  std::vector<std::string> expected = {"paused: Pause completed"};
  for (Stream stream : {Stream::Audio, Stream::Video}) {
    auto first = std::find_if(expectation.samples.begin(), expectation.samples.end(),
                              [stream](const ExpectedSample& s) { return s.stream == stream; });
    if (first == expectation.samples.end()) continue;
    const std::string what = stream == Stream::Video ? "picture" : "sample";
    expected.push_back(PinName(*first) + ": holds its first " + what + ", start 0.000 s, " +
                       std::to_string(first->payload.size()) + " bytes");
  }
  EXPECT_EQ(Lines(paused.out), expected);
}

INSTANTIATE_TEST_SUITE_P(Shapes, CliShapesTest, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) {
                           return std::string(info.param.name);
                         });
