// movie.avi keeps each place's audio and video together, however long the
// movie's audio chunks are.
#include "AviReader.h"
#include "CliFixture.h"
#include "RiffReader.h"

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;
using namespace tools_test;

namespace {

class CliExtractTest : public CliFixture {};

}  // namespace

TEST_F(CliExtractTest, ALongAudioChunkGoesIntoTheAviInHalfSecondsBesideItsVideo) {
  Register();
  FilmFormat format;
  format.channels = 1;
  format.bitsPerSample = 8;
  format.sampleRate = 8000;
  format.timeBase = 600;
  FilmWriter writer(format);
  writer.AddAudio(Pattern(20000, 1));  // 2.5 s in one chunk
  for (int i = 0; i < 40; ++i) writer.AddVideo(Frame(50, i), 40);
  const std::string film = WriteFilm(writer, "long-audio.film");
  const ToolResult result = Tessaly({"extract", film, "-o", folder / "out"});
  ASSERT_EQ(result.exitCode, 0) << result.err;

  AviFile avi;
  std::string error;
  ASSERT_TRUE(ReadAvi(ReadFileBytes(folder / "out/movie.avi"), &avi, &error)) << error;
  std::string order;
  std::vector<uint8_t> audio;
  for (const AviChunk& chunk : avi.chunks) {
    const bool isAudio = chunk.id == "01wb";
    order.push_back(isAudio ? 'a' : 'v');
    if (!isAudio) continue;
    EXPECT_LE(chunk.data.size(), 4000u);
    audio.insert(audio.end(), chunk.data.begin(), chunk.data.end());
  }
  // Audio pieces at 0, 0.5, 1, 1.5 and 2 s; frames every 1/15 s from 0, a
  // frame before audio of the same time.
  const std::string expected = "va" + std::string(7, 'v') + "a" + std::string(8, 'v') + "a" +
                               std::string(7, 'v') + "a" + std::string(8, 'v') + "a" +
                               std::string(9, 'v');
  EXPECT_EQ(order, expected);
  EXPECT_EQ(audio.size(), 20000u);
  EXPECT_EQ(avi.streams.at(1).length, 20000u) << "the audio stream's length is unchanged";
}
