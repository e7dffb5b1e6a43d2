#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RiffReader.h"
#include "TempFolder.h"
#include "media/CAtomicFile.h"
#include "media/TemporaryFiles.h"

using tessaly::media::CAtomicFile;
using namespace tools_test;

TEST(AtomicFile, ReplacesAnEarlierFileOnlyWhenCommitted) {
  TempFolder folder;
  TempFolder::WriteFile(folder / "out.bin", {1, 2, 3});
  CAtomicFile file;
  std::string error;
  ASSERT_TRUE(file.Open(folder / "out.bin", &error)) << error;
  const uint8_t bytes[] = {9, 9, 9, 9};
  const uint8_t patch[] = {7};
  ASSERT_TRUE(file.Write(bytes, sizeof(bytes), &error));
  ASSERT_TRUE(file.WriteAt(1, patch, 1, &error));
  ASSERT_TRUE(file.Write(bytes, 1, &error)) << "appends at the end, not after the patch";
  EXPECT_EQ(file.Size(), 5u);
  EXPECT_EQ(ReadFileBytes(folder / "out.bin"), (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_TRUE(file.Commit(&error)) << error;
  EXPECT_EQ(ReadFileBytes(folder / "out.bin"), (std::vector<uint8_t>{9, 7, 9, 9, 9}));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.bin"});
}

TEST(AtomicFile, ACommittedFileHasTheUsualPermissions) {
  TempFolder folder;
  const mode_t previous = umask(022);
  CAtomicFile file;
  std::string error;
  ASSERT_TRUE(file.Open(folder / "p.bin", &error));
  ASSERT_TRUE(file.Commit(&error));
  umask(previous);
  struct stat info {};
  ASSERT_EQ(stat((folder / "p.bin").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(AtomicFile, AnInterruptedProgramLeavesNoTemporaryFile) {
  TempFolder folder;
  const pid_t child = fork();
  if (child == 0) {
    tessaly::media::InstallInterruptCleanup();
    CAtomicFile file;
    std::string error;
    const uint8_t bytes[100] = {};
    if (!file.Open(folder / "movie.avi", &error) || !file.Write(bytes, sizeof(bytes), &error)) {
      _exit(3);
    }
    raise(SIGINT);
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGINT) << "the program still ends as the signal says";
  EXPECT_TRUE(folder.Names().empty());
}

TEST(AtomicFile, OpeningRemovesWhatAKilledRunLeftButNotWhatARunningOneWrites) {
  TempFolder folder;
  // No process has an id this large: the run that wrote it is gone.
  const std::string stale = "movie.avi.part-2147483000-abcdef";
  const std::string live = "movie.avi.part-" + std::to_string(getpid()) + "-abcdef";
  TempFolder::WriteFile(folder / stale, {1});
  TempFolder::WriteFile(folder / live, {2});
  TempFolder::WriteFile(folder / "audio.wav.part-2147483000-abcdef", {3});
  CAtomicFile file;
  std::string error;
  ASSERT_TRUE(file.Open(folder / "movie.avi", &error)) << error;
  ASSERT_TRUE(file.Commit(&error)) << error;
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{"audio.wav.part-2147483000-abcdef", "movie.avi", live}));
}
