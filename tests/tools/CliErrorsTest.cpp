// Failures a person can act on: each exits with its own status and says what
// happened in one line on standard error, leaving nothing half-written.
#include <sys/stat.h>
#include <unistd.h>

#include "CliFixture.h"

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;
using namespace tools_test;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

FilmWriter AudioAndVideo(uint32_t audioBytes) {
  FilmFormat format;
  format.channels = 1;
  format.bitsPerSample = 8;
  FilmWriter writer(format);
  writer.AddAudio(Pattern(audioBytes, 1));
  writer.AddVideo(Frame(400, 2), 40);
  writer.AddAudio(Pattern(audioBytes, 3));
  return writer;
}

class CliErrorsTest : public CliFixture {
 protected:
  // One line on standard error, starting with the program's name.
  static void ExpectOneLine(const ToolResult& result) {
    EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("tessaly: ", 0), 0u) << result.err;
  }
};

}  // namespace

TEST_F(CliErrorsTest, AMissingFileSaysSo) {
  Register();
  for (const char* command : {"info", "dump"}) {
    const ToolResult result = Tessaly({command, folder / "absent.film"});
    EXPECT_EQ(result.exitCode, 3) << command;
    EXPECT_EQ(result.err, "tessaly: " + (folder / "absent.film") + ": no such file\n");
    EXPECT_EQ(result.out, "");
  }
  const ToolResult extract = Tessaly({"extract", folder / "absent.film", "-o", folder / "out"});
  EXPECT_EQ(extract.exitCode, 3);
  EXPECT_EQ(access((folder / "out").c_str(), F_OK), -1) << "no output folder for a failed input";
  const ToolResult aFolder = Tessaly({"info", folder.Path()});
  EXPECT_EQ(aFolder.exitCode, 3);
  EXPECT_TRUE(Contains(aFolder.err, "is a folder")) << aFolder.err;
}

TEST_F(CliErrorsTest, AFileNoCheckBytesRecogniseIsNamedAsSuch) {
  Register();
  TempFolder::WriteFile(folder / "notes.txt", Pattern(500, 9));
  const ToolResult result = Tessaly({"info", folder / "notes.txt"});
  EXPECT_EQ(result.exitCode, 4);
  ExpectOneLine(result);
  EXPECT_TRUE(Contains(result.err, "no registered check bytes match")) << result.err;
}

TEST_F(CliErrorsTest, AnUnregisteredModuleIsReportedWithTheCommandThatRegistersIt) {
  const std::string file = WriteFilm(AudioAndVideo(100), "a.film");
  for (const char* command : {"info", "dump"}) {
    const ToolResult result = Tessaly({command, file});
    EXPECT_EQ(result.exitCode, 5) << command;
    ExpectOneLine(result);
    EXPECT_TRUE(Contains(result.err, "not registered in " + Registry())) << result.err;
    EXPECT_TRUE(Contains(result.err, "run 'tessaly register --registry " + Registry() + "'"))
        << result.err;
  }
}

TEST_F(CliErrorsTest, UnregisterLeavesARegistryWhereInfoSaysNotRegistered) {
  Register();
  const std::string file = WriteFilm(AudioAndVideo(100), "a.film");
  ASSERT_EQ(Tessaly({"info", file}).exitCode, 0);
  const ToolResult unregister = Tessaly({"unregister", "--module", TESSALY_MODULE_PATH});
  ASSERT_EQ(unregister.exitCode, 0) << unregister.err;
  EXPECT_TRUE(Contains(unregister.out, "unregistered")) << unregister.out;

  const ToolResult info = Tessaly({"info", file});
  EXPECT_EQ(info.exitCode, 5);
  ExpectOneLine(info);
  EXPECT_TRUE(Contains(info.err, "not registered")) << info.err;
  EXPECT_TRUE(Contains(info.err, "tessaly register")) << info.err;

  const ToolResult again = Tessaly({"unregister", "--module", TESSALY_MODULE_PATH});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_TRUE(Contains(again.out, "nothing to unregister")) << again.out;
}

TEST_F(CliErrorsTest, AFileTheSplitterRefusesGivesTheResultAndItsMeaning) {
  Register();
  FilmWriter noTable = AudioAndVideo(100);
  noTable.Layout().dataOffset = 48;
  const ToolResult damaged = Tessaly({"dump", WriteFilm(noTable, "damaged.film")});
  EXPECT_EQ(damaged.exitCode, 6);
  ExpectOneLine(damaged);
  EXPECT_TRUE(Contains(damaged.err, "the splitter refused the file: 0x80004005 E_FAIL ("))
      << damaged.err;
  EXPECT_EQ(damaged.out, "");

  FilmFormat silent;
  silent.channels = 0;
  FilmWriter noStreams(silent);
  noStreams.AddAudio(Pattern(10, 1));
  const ToolResult empty = Tessaly({"info", WriteFilm(noStreams, "empty.film")});
  EXPECT_EQ(empty.exitCode, 6);
  ExpectOneLine(empty);
  EXPECT_TRUE(Contains(empty.err, "0x8004022A VFW_E_TYPE_NOT_ACCEPTED (")) << empty.err;
}

TEST_F(CliErrorsTest, AnOutputFolderThatCannotBeMadeIsReported) {
  Register();
  const std::string file = WriteFilm(AudioAndVideo(100), "a.film");
  const ToolResult underAFile = Tessaly({"extract", file, "-o", file + "/out"});
  EXPECT_EQ(underAFile.exitCode, 7);
  ExpectOneLine(underAFile);
  EXPECT_TRUE(Contains(underAFile.err, "cannot create the output folder " + file + "/out"))
      << underAFile.err;
}

TEST_F(CliErrorsTest, AnOutputFolderThatCannotBeWrittenIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  Register();
  const std::string file = WriteFilm(AudioAndVideo(100), "a.film");
  const std::string locked = folder / "locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
  const ToolResult readOnly = Tessaly({"extract", file, "-o", locked});
  EXPECT_EQ(readOnly.exitCode, 7);
  ExpectOneLine(readOnly);
  EXPECT_TRUE(Contains(readOnly.err, "cannot write to the output folder")) << readOnly.err;
  EXPECT_TRUE(TempFolder::NamesIn(locked).empty());
}

TEST_F(CliErrorsTest, ARegistryThatCannotBeWrittenFailsRegistrationAsARegistryFailure) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  const std::string locked = folder / "locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
  const ToolResult result =
      Plain({"--registry", locked + "/registry.reg", "register", "--module", TESSALY_MODULE_PATH});
  EXPECT_EQ(result.exitCode, 8);
  ExpectOneLine(result);
  EXPECT_TRUE(Contains(result.err, "ERROR_CANTWRITE")) << result.err;
}

TEST_F(CliErrorsTest, AWriteThatFailsHalfwayLeavesNoFileBehind) {
  Register();
  const std::string file = WriteFilm(AudioAndVideo(60000), "big.film");
  const std::string out = folder / "out";
  ToolEnvironment limited;
  limited.fileSizeLimit = 40000;
  const ToolResult result = Tessaly({"extract", file, "-o", out}, limited);
  EXPECT_EQ(result.exitCode, 7);
  ExpectOneLine(result);
  EXPECT_TRUE(Contains(result.err, "File too large")) << result.err;
  EXPECT_EQ(access(out.c_str(), F_OK), -1) << "neither the files nor the folder made for them stay";
}

TEST_F(CliErrorsTest, AMovieWhoseAviWouldPassFourGibibytesIsRefusedBeforeWriting) {
  Register();
  // 20,000 frames of 250,000 bytes at 15 a second, every row on the same chunk:
  // 5 GB of AVI from a file of a few megabytes.
  FilmWriter writer;
  for (int i = 0; i < 20000; ++i) writer.AddVideo(Frame(10, 1), 40);
  std::vector<uint8_t> bytes = writer.Build();
  const auto put = [&bytes](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  };
  const uint32_t dataOffset =
      uint32_t{bytes[4]} << 24 | uint32_t{bytes[5]} << 16 | uint32_t{bytes[6]} << 8 | bytes[7];
  for (size_t row = 0; row < 20000; ++row) {
    put(64 + 16 * row, 0);
    put(68 + 16 * row, 250000);
  }
  bytes.resize(dataOffset + 250000, 0x5A);
  const std::string film = folder / "huge.film";
  TempFolder::WriteFile(film, bytes);
  const std::string out = folder / "out";
  const ToolResult whole = Tessaly({"extract", film, "-o", out});
  EXPECT_EQ(whole.exitCode, 7);
  ExpectOneLine(whole);
  EXPECT_TRUE(Contains(whole.err, "more than the 4 GiB an AVI file can hold")) << whole.err;
  EXPECT_EQ(access(out.c_str(), F_OK), -1);
  const ToolResult second = Tessaly({"extract", film, "-o", out, "--end", "1"});
  EXPECT_EQ(second.exitCode, 0) << "a second of it fits: " << second.err;
}

TEST_F(CliErrorsTest, RegisteringAModuleThatIsNotThereFails) {
  const ToolResult result = Tessaly({"register", "--module", folder / "nowhere.ax"});
  EXPECT_EQ(result.exitCode, 5);
  ExpectOneLine(result);
  EXPECT_TRUE(Contains(result.err, "no module at " + (folder / "nowhere.ax"))) << result.err;
}

TEST_F(CliErrorsTest, AWrongCommandLineIsAUsageError) {
  EXPECT_EQ(Tessaly({"info"}).exitCode, 2);
  EXPECT_EQ(Tessaly({"extract", "a.film"}).exitCode, 2) << "-o is required";
  EXPECT_EQ(Tessaly({"play"}).exitCode, 2);
  EXPECT_EQ(Plain({}).exitCode, 2);
  const ToolResult help = Plain({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.out, "extract")) << help.out;
}

TEST_F(CliErrorsTest, EachWrongCommandLineSaysWhatIsWrong) {
  Register();
  const std::string film = WriteFilm(AudioAndVideo(100), "a.film");
  // One frame of exactly 0.1 s: a start there is at the end, not before it.
  FilmWriter tenth;
  tenth.AddVideo(Frame(400, 2), 60);
  const std::string tenthFilm = WriteFilm(tenth, "tenth.film");
  const std::string out = folder / "out";
  struct Case {
    std::vector<std::string> arguments;
    const char* says;
  };
  const Case cases[] = {
      {{}, "a command is required"},
      {{"frobnicate", film}, "'frobnicate' is not a tessaly command"},
      {{"dump", film, "--end", "0"}, "--end must come after --start"},
      {{"dump", film, "--start", "1", "--end", "1"}, "--end must come after --start"},
      {{"dump", tenthFilm, "--start", "0.1"}, "--start 0.1 is at or after the end of"},
      {{"dump", film, "--start", "0.3"}, "--start 0.3 is at or after the end of"},
      {{"extract", film, "-o", out, "--start", "5"}, "--start 5 is at or after the end of"},
  };
  for (const Case& c : cases) {
    const ToolResult result = Tessaly(c.arguments);
    EXPECT_EQ(result.exitCode, 2) << c.says;
    ExpectOneLine(result);
    EXPECT_TRUE(Contains(result.err, c.says)) << result.err;
    EXPECT_EQ(result.out, "") << c.says;
  }
  EXPECT_EQ(access(out.c_str(), F_OK), -1) << "a refused extract makes no folder";
  const ToolResult help = Plain({"help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Contains(help.out, "extract")) << help.out;
  const ToolResult version = Plain({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("tessaly ", 0), 0u) << version.out;
}

TEST_F(CliErrorsTest, AReportThatCannotBeWrittenFails) {
  Register();
  const std::string film = WriteFilm(AudioAndVideo(100), "a.film");
  ToolEnvironment full;
  full.outputFull = true;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"info", film},
        {"extract", film, "-o", folder / "out"},
        {"register", "--module", TESSALY_MODULE_PATH}}) {
    const ToolResult result = Tessaly(arguments, full);
    EXPECT_EQ(result.exitCode, 7) << arguments[0];
    EXPECT_TRUE(Contains(result.err, "cannot write to standard output")) << result.err;
  }
}

TEST_F(CliErrorsTest, ABinaryRegistryOrModuleIsNamedWithoutItsBytes) {
  std::vector<uint8_t> binary = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0x1B, '[', '2', 'J', 0x9B, 0xFF};
  TempFolder::WriteFile(Registry(), binary);
  const ToolResult registry = Tessaly({"info", WriteFilm(AudioAndVideo(100), "a.film")});
  EXPECT_EQ(registry.exitCode, 8);
  for (size_t i = 0; i + 1 < registry.err.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(registry.err[i]);
    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(c) << " at " << i << ": " << registry.err;
  }
  unlink(Registry().c_str());
  TempFolder::WriteFile(folder / "notes.ax", {'h', 'i', '\n'});
  const ToolResult module = Tessaly({"register", "--module", folder / "notes.ax"});
  EXPECT_EQ(module.exitCode, 5);
  EXPECT_TRUE(Contains(module.err, "not a valid module for this platform")) << module.err;
}

TEST_F(CliErrorsTest, ABadPlayRangeIsAUsageError) {
  const std::string film = WriteFilm(AudioAndVideo(100), "a.film");
  for (const char* start : {"abc", "-1", "nan", "inf", "1e12"}) {
    const ToolResult result = Tessaly({"dump", film, "--start", start});
    EXPECT_EQ(result.exitCode, 2) << start;
    EXPECT_EQ(result.out, "") << start;
  }
  const ToolResult backwards = Tessaly({"dump", film, "--start", "2", "--end", "1"});
  EXPECT_EQ(backwards.exitCode, 2);
  ExpectOneLine(backwards);
  EXPECT_EQ(Tessaly({"info", film, "--start", "1"}).exitCode, 2) << "info plays nothing";
}

TEST_F(CliErrorsTest, AMalformedRegistryFileIsReported) {
  TempFolder::WriteFile(Registry(), {'n', 'o', 't', ' ', 'a', ' ', 'r', 'e', 'g', '\n'});
  const std::string file = WriteFilm(AudioAndVideo(100), "a.film");
  const ToolResult result = Tessaly({"info", file});
  EXPECT_EQ(result.exitCode, 8);
  ExpectOneLine(result);
  EXPECT_TRUE(Contains(result.err, "cannot use the registry file " + Registry())) << result.err;
}
