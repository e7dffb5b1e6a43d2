#include <gtest/gtest.h>
#include <win/platform.h>

#include <cstring>
#include <string>

namespace {

std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list arguments;
  va_start(arguments, format);
  const int written = wvsprintfA(buffer, format, arguments);
  va_end(arguments);
  EXPECT_EQ(static_cast<size_t>(written), std::strlen(buffer));
  return std::string(buffer);
}

TEST(wsprintfA, FormatsTheConversionsTheModuleUses) {
  EXPECT_EQ("0000BEEF", Format("%08lX", static_cast<DWORD>(0xBEEF)));
  EXPECT_EQ("00AB", Format("%04X", 0xABu));
  EXPECT_EQ("ff|FF", Format("%x|%X", 255u, 255u));
  EXPECT_EQ("-42 42", Format("%d %u", -42, 42u));
  EXPECT_EQ("4294967295", Format("%u", 0xFFFFFFFFu));
  EXPECT_EQ("-7 7 1f", Format("%ld %lu %lx", static_cast<LONG>(-7), static_cast<ULONG>(7),
                              static_cast<DWORD>(0x1F)));
  EXPECT_EQ("Z%", Format("%c%%", 'Z'));
  EXPECT_EQ("name=Input", Format("name=%s", "Input"));
  EXPECT_EQ("pin Video!", Format("pin %ls!", WIDE("Video")));
  EXPECT_EQ("{6B1E4F20-D3A7}", Format("{%08lX-%04X}", static_cast<DWORD>(0x6B1E4F20), 0xD3A7u));
}

TEST(wsprintfA, HonoursWidthsPrecisionsAndFlags) {
  EXPECT_EQ("   42|42   |", Format("%5d|%-5d|", 42, 42));
  EXPECT_EQ("-0000042", Format("%08d", -42));
  EXPECT_EQ("42      ", Format("%-08d", 42));
  EXPECT_EQ("  abc|ab", Format("%5s|%.2s", "abc", "abcdef"));
  EXPECT_EQ("0x1f 0", Format("%#x %#x", 0x1Fu, 0u));
  EXPECT_EQ("(null)", Format("%s", static_cast<const char*>(nullptr)));
  EXPECT_EQ("(null)", Format("%ls", static_cast<const WCHAR*>(nullptr)));
  EXPECT_EQ("-9000000000", Format("%I64d", static_cast<LONGLONG>(-9000000000LL)));
  EXPECT_EQ("x", Format("%lc", static_cast<int>(WIDE('x'))));
}

TEST(wsprintfA, LongMeansThirtyTwoBitsWhateverTheHost) {
  // Were %lx read as 64 bits, the next argument would be swallowed or garbled.
  EXPECT_EQ("ffffffff 5", Format("%lx %d", static_cast<DWORD>(0xFFFFFFFFu), 5));
  EXPECT_EQ("-1 6", Format("%ld %d", static_cast<LONG>(-1), 6));
}

TEST(wsprintfA, StopsAtTheOutputLimitAndSaysHowMuchItWrote) {
  const std::string longText(3000, 'a');
  char buffer[1100];
  std::memset(buffer, 'z', sizeof(buffer));
  EXPECT_EQ(1023, wsprintfA(buffer, "%s", longText.c_str()));
  EXPECT_EQ('\0', buffer[1023]);
  EXPECT_EQ('z', buffer[1024]);

  std::memset(buffer, 'z', sizeof(buffer));
  EXPECT_EQ(1023, wsprintfA(buffer, "%99999d", 1));
  EXPECT_EQ('z', buffer[1024]);
}

TEST(MultiByteToWideChar, SizesIncludeTheTerminatorOnlyWhenAskedFor) {
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
  EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0));

  WCHAR wide[5] = {u'x', u'x', u'x', u'x', u'x'};
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4));
  EXPECT_EQ(std::u16string(u"abc"), std::u16string(wide));
  EXPECT_EQ(u'x', wide[4]);

  WCHAR small[4] = {u'x', u'x', u'x', u'x'};
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 3));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(u'x', small[3]);
}

TEST(MultiByteToWideChar, DecodesUtf8AndFlagsBadSequences) {
  const char text[] = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // e-acute, euro sign, an emoji
  WCHAR wide[8] = {};
  ASSERT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0) - 1);
  ASSERT_EQ(5, MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 8));
  EXPECT_EQ(std::u16string(u"\u00E9\u20AC\U0001F600"), std::u16string(wide));

  const char bad[] =
      "a\xFF"
      "b";
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, wide, 8));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
  ASSERT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, bad, -1, wide, 8));
  EXPECT_EQ(std::u16string(u"a\uFFFDb"), std::u16string(wide));
}

TEST(MultiByteToWideChar, RefusesBadArguments) {
  WCHAR wide[4];
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 4));
  EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", -2, wide, 4));
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abc", -1, wide, 4));
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", -1, wide, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
}

TEST(WideCharToMultiByte, SizesAndConvertsBackToNarrow) {
  EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, WIDE("Audio"), -1, nullptr, 0, nullptr, nullptr));
  char narrow[8];
  std::memset(narrow, 'z', sizeof(narrow));
  EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, WIDE("Audio"), -1, narrow, 6, nullptr, nullptr));
  EXPECT_STREQ("Audio", narrow);
  EXPECT_EQ('z', narrow[6]);
  EXPECT_EQ(0, WideCharToMultiByte(CP_ACP, 0, WIDE("Audio"), -1, narrow, 5, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

  EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", -1, narrow, 8, nullptr, nullptr));
  EXPECT_STREQ("\xE2\x82\xAC", narrow);
}

TEST(WideCharToMultiByte, UnpairedSurrogateBecomesTheDefaultCharacter) {
  const WCHAR lone[] = {u'a', 0xD800, u'b', 0};
  char narrow[8] = {};
  BOOL usedDefault = FALSE;
  EXPECT_EQ(4, WideCharToMultiByte(CP_ACP, 0, lone, -1, narrow, 8, nullptr, &usedDefault));
  EXPECT_STREQ("a?b", narrow);
  EXPECT_TRUE(usedDefault);

  EXPECT_EQ(
      0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, narrow, 8, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrow, 8, "?", nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(lstrlenA, CountsBytesAndTakesNullAsEmpty) {
  EXPECT_EQ(0, lstrlenA(nullptr));
  EXPECT_EQ(0, lstrlenA(""));
  EXPECT_EQ(5, lstrlenA("Video"));
}

}  // namespace
