// Check-byte values: groups of offset, length, mask and bytes, every group to
// match; malformed values refused without reading past anything.
#include <gtest/gtest.h>
#include <platform/GraphBuilding.h>

#include <string>
#include <vector>

namespace graph_test {
namespace {

const std::vector<BYTE> kFilm = {'F', 'I', 'L', 'M', 0,   0,   0,   0x30, '1', '.', '0', '9',
                                 0,   0,   0,   0,   'F', 'D', 'S', 'C',  0,   0,   0,   0x20};

bool Matches(const std::string& value, const std::vector<BYTE>& file = kFilm) {
  bool matched = true;
  EXPECT_EQ(S_OK, platform::MatchCheckBytes(value, file.data(), file.size(), &matched)) << value;
  return matched;
}

TEST(CheckBytesTest, EveryGroupOfAValueMustMatch) {
  EXPECT_TRUE(Matches("0,4,,46494C4D,16,4,,46445343"));
  EXPECT_TRUE(Matches("0,4,,46494c4d"));
  EXPECT_FALSE(Matches("0,4,,46494C4D,16,4,,46445344"));
  EXPECT_FALSE(Matches("0,4,,52494646,16,4,,46445343"));
  EXPECT_TRUE(Matches(" 0, 4, , 46494C4D ,16,4,,46445343"));
}

TEST(CheckBytesTest, TheMaskSelectsTheBitsThatCount) {
  EXPECT_TRUE(Matches("0,4,DFDFDFDF,46494C4D"));
  std::vector<BYTE> lower = kFilm;
  lower[0] = 'f';
  EXPECT_FALSE(Matches("0,4,,46494C4D", lower));
  EXPECT_TRUE(Matches("0,4,DFFFFFFF,46494C4D", lower));
  // The file's bytes are masked, the expected ones are not.
  EXPECT_FALSE(Matches("0,1,0F,46", kFilm));
  EXPECT_TRUE(Matches("0,1,0F,06", kFilm));
}

TEST(CheckBytesTest, NegativeOffsetsCountFromTheEndAndNothingOutsideTheFileMatches) {
  EXPECT_TRUE(Matches("-1,1,,20"));
  EXPECT_TRUE(Matches("-8,4,,46445343"));
  EXPECT_FALSE(Matches("-25,1,,46"));
  EXPECT_FALSE(Matches("21,4,,00000020"));
  EXPECT_TRUE(Matches("20,4,,00000020"));
  EXPECT_FALSE(Matches("1000000,1,,00"));
  EXPECT_FALSE(Matches("0,4,,46494C4D", {}));
  bool matched = true;
  EXPECT_EQ(S_OK, platform::MatchCheckBytes("0,1,,00", nullptr, 0, &matched));
  EXPECT_FALSE(matched);
}

TEST(CheckBytesTest, MalformedValuesAreRefusedAndMatchNothing) {
  for (const char* value : {"",
                            ",",
                            "0,4,,",
                            "0,4,,464",
                            "0,4,,46494C4",
                            "0,4,,46494C4D1",
                            "x,4,,46494C4D",
                            "0,x,,46494C4D",
                            "0,0,,",
                            "0,4,FF,46494C4D",
                            "0,4,,46494C4D,16",
                            "0,4,,GG494C4D",
                            "0,99999999,,00",
                            "-0,1,,46",
                            "--1,1,,20",
                            "+0,1,,46",
                            "1e3,1,,00",
                            "99999999999999999999,1,,00",
                            "0,4,,46494C4D,,,,",
                            "0,1,,4 6"}) {
    bool matched = true;
    EXPECT_EQ(E_INVALIDARG, platform::MatchCheckBytes(value, kFilm.data(), kFilm.size(), &matched))
        << value;
    EXPECT_FALSE(matched) << value;
  }
  EXPECT_EQ(E_POINTER, platform::MatchCheckBytes("0,1,,46", kFilm.data(), kFilm.size(), nullptr));
}

TEST(CheckBytesTest, AGroupMayBeAsLongAsTheLimitButNoLonger) {
  std::vector<BYTE> file(4096, 0xAB);
  std::string bytes(2 * 4096, 'B');
  for (size_t i = 0; i < bytes.size(); i += 2) bytes[i] = 'A';
  EXPECT_TRUE(Matches("0,4096,," + bytes, file));
  bool matched = true;
  EXPECT_EQ(E_INVALIDARG, platform::MatchCheckBytes("0,4097,," + bytes + "AB", file.data(),
                                                    file.size(), &matched));
}

}  // namespace
}  // namespace graph_test
