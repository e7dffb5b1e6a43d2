// The extract's progress bar ends at 100% even when the last chunk ends
// short of the length foreseen.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tessaly/reports/CProgressBar.h"

TEST(ProgressBarTest, CompleteShowsTheWholeDoneAndEndsTheLine) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    tessaly::cli::CProgressBar bar("extracting", 3.0, true, out);
    bar.Update(1.5);
    bar.Complete();
    bar.Update(0.1);
  }
  std::rewind(out);
  std::string text;
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) text.push_back(static_cast<char>(c));
  std::fclose(out);
  EXPECT_NE(text.find(" 50%"), std::string::npos) << text;
  const std::string end = "] 100%\n";
  ASSERT_GE(text.size(), end.size());
  EXPECT_EQ(text.substr(text.size() - end.size()), end) << "then nothing more";
}
