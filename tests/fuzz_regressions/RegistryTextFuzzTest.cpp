#include <gtest/gtest.h>
#include <platform/Registry.h>

#include <string>
#include <vector>

#include "FuzzInputFiles.h"
#include "RegistryTextCheck.h"
#include "SeedCorpus.h"

namespace {

std::string Check(const std::string& text) {
  return fuzzcheck::CheckRegistryTextInput(reinterpret_cast<const uint8_t*>(text.data()),
                                           text.size());
}

class RegistryTextFuzzTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::ResetRegistry(); }
};

}  // namespace

TEST_F(RegistryTextFuzzTest, EveryGeneratedSeedKeepsThePromises) {
  std::vector<fuzzcheck::Seed> seeds = fuzzcheck::RegistryTextSeeds();
  ASSERT_GE(seeds.size(), 10u);
  size_t parsed = 0;
  for (const fuzzcheck::Seed& seed : seeds) {
    EXPECT_EQ(fuzzcheck::CheckRegistryTextInput(seed.bytes.data(), seed.bytes.size()), "")
        << seed.name;
    platform::RegistryDocument document;
    std::string error;
    std::string text(seed.bytes.begin(), seed.bytes.end());
    parsed += platform::ParseRegistryText(text, document, error) ? 1 : 0;
  }
  // Both sides of the reader are seeded.
  EXPECT_GE(parsed, 5u);
  EXPECT_GE(seeds.size() - parsed, 5u);
}

TEST_F(RegistryTextFuzzTest, CommittedInputsKeepThePromises) {
  for (const auto& [name, bytes] : CommittedFuzzInputs("registry_text")) {
    EXPECT_EQ(fuzzcheck::CheckRegistryTextInput(bytes.data(), bytes.size()), "") << name;
  }
}

TEST_F(RegistryTextFuzzTest, TextsAtTheEdgesOfTheGrammarRoundTrip) {
  const char withZero[] =
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex(1):61,00,62,00\n\"z\"=\"\0\"\n";
  const std::vector<std::string> texts = {
      "REGEDIT4",
      "REGEDIT4\r",
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]b]\n",
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\A ]\n@=\"x\"\n@=hex(1):61\n",
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex(4):01,02\n\"w\"=hex(4):01,02,03,04\n",
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"v\"=hex:\\\n\\\n 01\n",
      std::string(withZero, sizeof(withZero) - 1),
      "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n[HKEY_CLASSES_ROOT\\a]\n\"n\"=\"1\"\n\"N\"=dword:2\n",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(Check(text), "") << text;
  }
}
