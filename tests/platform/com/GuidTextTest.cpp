#include <gtest/gtest.h>
#include <win/platform.h>

#include <string>

namespace {

PLATFORM_GUID(kSplitterClass, 0x6B1E4F20, 0xD3A7, 0x11D1, 0x8C, 0x52, 0x00, 0xA0, 0xC9, 0x3B, 0x7E,
              0x14);

std::u16string TextOf(REFGUID guid) {
  OLECHAR buffer[39];
  if (StringFromGUID2(guid, buffer, 39) != 39) return u"<failed>";
  return std::u16string(buffer);
}

HRESULT Parse(const std::u16string& text, CLSID* clsid) {
  return CLSIDFromString(text.c_str(), clsid);
}

}  // namespace

TEST(GuidTextTest, FormatsBracedUpperCaseWithTerminator) {
  OLECHAR buffer[64];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(StringFromGUID2(kSplitterClass, buffer, 64), 39);
  EXPECT_EQ(std::u16string(buffer), u"{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}");
  EXPECT_EQ(buffer[39], u'#');  // nothing written past the terminator
  EXPECT_EQ(TextOf(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
}

TEST(GuidTextTest, RefusesABufferShorterThanThirtyNineCharacters) {
  OLECHAR buffer[39];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(StringFromGUID2(kSplitterClass, buffer, 38), 0);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(StringFromGUID2(kSplitterClass, nullptr, 39), 0);
  EXPECT_EQ(StringFromGUID2(kSplitterClass, buffer, 39), 39);
}

TEST(GuidTextTest, ParsesWhatItFormatsInEitherCase) {
  const GUID allOnes = {
      0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  for (const GUID& guid : {kSplitterClass, IID_IUnknown, allOnes, GUID{}}) {
    CLSID parsed;
    ASSERT_EQ(Parse(TextOf(guid), &parsed), S_OK);
    EXPECT_TRUE(IsEqualGUID(parsed, guid));
  }
  CLSID parsed;
  ASSERT_EQ(Parse(u"{6b1e4f20-d3a7-11d1-8c52-00a0c93b7e14}", &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, kSplitterClass));
}

TEST(GuidTextTest, RefusesMalformedTextWithClassStringError) {
  const std::u16string malformed[] = {
      u"",
      u"{",
      u"6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14",     // no braces
      u"(6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14)",   // wrong brackets
      u"{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E1}",    // one digit short
      u"{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}x",  // trailing text
      u"{6B1E4F20-D3A7-11D1-8C5200-A0C93B7E14}",   // dash moved
      u"{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E1G}",   // not hex
      u"{6B1E4F20 D3A7-11D1-8C52-00A0C93B7E14}",
      u"{+B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}",
  };
  for (const std::u16string& text : malformed) {
    CLSID parsed = kSplitterClass;
    EXPECT_EQ(Parse(text, &parsed), CO_E_CLASSSTRING) << text.size();
  }
}

TEST(GuidTextTest, StopsAtAnEarlyTerminator) {
  OLECHAR text[64];
  ASSERT_EQ(StringFromGUID2(kSplitterClass, text, 64), 39);
  text[20] = 0;
  CLSID parsed;
  EXPECT_EQ(CLSIDFromString(text, &parsed), CO_E_CLASSSTRING);
}

TEST(GuidTextTest, NullTextIsTheNullClassAndNullOutputIsRefused) {
  CLSID parsed = kSplitterClass;
  EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, GUID{}));
  EXPECT_EQ(CLSIDFromString(u"{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}", nullptr), E_INVALIDARG);
}
