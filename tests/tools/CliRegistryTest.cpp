// Which registry the commands use, and the demo that runs from nothing.
#include <unistd.h>

#include "AviReader.h"
#include "CliFixture.h"
#include "RiffReader.h"

using namespace tools_test;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class CliRegistryTest : public CliFixture {};

}  // namespace

TEST_F(CliRegistryTest, RegisterWritesTheClassAndTheCheckBytesIntoTheNamedFile) {
  Register();
  const std::vector<uint8_t> bytes = ReadFileBytes(Registry());
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_TRUE(Contains(text, "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}\\InprocServer32"));
  EXPECT_TRUE(Contains(text, "0,4,,46494C4D,16,4,,46445343"));
}

TEST_F(CliRegistryTest, TheRegistryOptionMayFollowTheCommand) {
  const std::string late = folder / "late.reg";
  const ToolResult result =
      Plain({"register", "--module", TESSALY_MODULE_PATH, "--registry", late});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Exists(late));
  EXPECT_FALSE(Exists(folder / "home/.config/tessaly/registry.reg"));
}

TEST_F(CliRegistryTest, TheEnvironmentNamesTheRegistryWhenTheCommandLineDoesNot) {
  const std::string chosen = folder / "chosen/by-env.reg";
  ToolEnvironment environment;
  environment.variables["TESSALY_REGISTRY"] = chosen;
  const ToolResult result = RunTool({"register", "--module", TESSALY_MODULE_PATH}, environment);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Exists(chosen)) << "the folder of the registry file is made as needed";
  EXPECT_TRUE(Contains(result.out, chosen)) << result.out;
}

TEST_F(CliRegistryTest, WithoutEitherTheUsersConfigurationFolderHoldsIt) {
  ToolEnvironment environment;
  environment.variables["XDG_CONFIG_HOME"] = folder / "config";
  environment.variables["TESSALY_REGISTRY"] = std::nullopt;
  ASSERT_EQ(RunTool({"register", "--module", TESSALY_MODULE_PATH}, environment).exitCode, 0);
  EXPECT_TRUE(Exists(folder / "config/tessaly/registry.reg"));

  environment.variables["XDG_CONFIG_HOME"] = std::nullopt;
  environment.variables["HOME"] = folder / "home";
  ASSERT_EQ(RunTool({"register", "--module", TESSALY_MODULE_PATH}, environment).exitCode, 0);
  EXPECT_TRUE(Exists(folder / "home/.config/tessaly/registry.reg"));
}

TEST_F(CliRegistryTest, DemoMakesPlaysAndExtractsASampleInAFolderOfItsOwn) {
  ToolEnvironment environment;
  environment.workingFolder = folder.Path();
  const ToolResult result = Plain({"demo", "--module", TESSALY_MODULE_PATH}, environment);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string demo = folder / "tessaly-demo";
  EXPECT_EQ(TempFolder::NamesIn(demo),
            (std::vector<std::string>{"audio.wav", "demo.film", "movie.avi", "registry.reg",
                                      "thumbnail.png"}));
  EXPECT_FALSE(Exists(folder / "home/.config/tessaly/registry.reg"))
      << "the user's own registry is left alone";
  EXPECT_TRUE(Contains(result.out, "Audio")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Video")) << result.out;
  EXPECT_TRUE(Contains(result.out, "duration 3.000 s")) << result.out;
  EXPECT_TRUE(Contains(result.out, "in the movie: 45 frames in 3.000 s, 15.000 frames/s"))
      << result.out;
  EXPECT_TRUE(Contains(result.out,
                       "next: tessaly --registry tessaly-demo/registry.reg info "
                       "tessaly-demo/demo.film\n"))
      << result.out;

  AviFile avi;
  std::string error;
  ASSERT_TRUE(ReadAvi(ReadFileBytes(demo + "/movie.avi"), &avi, &error)) << error;
  EXPECT_EQ(avi.totalFrames, 45u);
  ASSERT_EQ(avi.streams.size(), 2u);
  // 15 frames a second as the sample times give it: 666,666 units a frame.
  EXPECT_EQ(avi.streams[0].scale, 333333u);
  EXPECT_EQ(avi.streams[0].rate, 5000000u);
  const RiffReader wav(ReadFileBytes(demo + "/audio.wav"));
  RiffChunk riff;
  ASSERT_TRUE(wav.Parse(&riff, &error)) << error;
  ASSERT_NE(riff.Child("data"), nullptr);
  EXPECT_EQ(riff.Child("data")->size, 3u * 22050 * 4);

  // A second run reuses the registration and replaces the files.
  const ToolResult again = Plain({"demo", "--module", TESSALY_MODULE_PATH}, environment);
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_FALSE(Contains(again.out, "registered")) << again.out;
  EXPECT_EQ(TempFolder::NamesIn(demo).size(), 5u);
}
