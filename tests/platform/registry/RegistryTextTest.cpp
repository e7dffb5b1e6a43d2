// The REGEDIT4 reader and writer on their own, without the live registry.
#include <gtest/gtest.h>
#include <platform/Registry.h>
#include <win/registry.h>

namespace {

using platform::FormatRegistryText;
using platform::ParseRegistryText;
using platform::RegistryDocument;
using platform::RegistryValue;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

RegistryDocument Parse(std::string_view text) {
  RegistryDocument document;
  std::string error;
  EXPECT_TRUE(ParseRegistryText(text, document, error)) << error;
  return document;
}

std::string ParseError(std::string_view text) {
  RegistryDocument document;
  document.keys.push_back({"Untouched", {}});
  std::string error;
  EXPECT_FALSE(ParseRegistryText(text, document, error)) << text;
  EXPECT_EQ(document.keys.size(), 1u);  // the output is left as it was
  return error;
}

TEST(RegistryText, ReadsEveryValueForm) {
  RegistryDocument document = Parse(
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{A}]\r\n"
      "@=\"Tessaly Parser\"\r\n"
      "\"Quoted \\\"name\\\"\"=\"C:\\\\dir\\\\\"\r\n"
      "\"Empty\"=\"\"\r\n"
      "\"Count\"=dword:0000000a\r\n"
      "\"Blob\"=hex:01,02,\\\r\n"
      "  ff\r\n"
      "\"Multi\"=hex(7):61,00,00\r\n"
      "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
      "\r\n"
      "[hkey_classes_root]\r\n"
      "\"AtRoot\"=hex:\r\n");
  ASSERT_EQ(document.keys.size(), 2u);
  EXPECT_EQ(document.keys[0].path, "CLSID\\{A}");
  const std::vector<RegistryValue>& values = document.keys[0].values;
  ASSERT_EQ(values.size(), 7u);
  EXPECT_EQ(values[0], (RegistryValue{"", REG_SZ, Bytes(std::string_view("Tessaly Parser", 15))}));
  EXPECT_EQ(values[1],
            (RegistryValue{"Quoted \"name\"", REG_SZ, Bytes(std::string_view("C:\\dir\\", 8))}));
  EXPECT_EQ(values[2], (RegistryValue{"Empty", REG_SZ, {0}}));
  EXPECT_EQ(values[3], (RegistryValue{"Count", REG_DWORD, {10, 0, 0, 0}}));
  EXPECT_EQ(values[4], (RegistryValue{"Blob", REG_BINARY, {1, 2, 0xFF}}));
  EXPECT_EQ(values[5], (RegistryValue{"Multi", REG_MULTI_SZ, {'a', 0, 0}}));
  EXPECT_EQ(values[6].type, 0xBu);
  EXPECT_EQ(document.keys[1].path, "");
  EXPECT_EQ(document.keys[1].values[0], (RegistryValue{"AtRoot", REG_BINARY, {}}));
}

TEST(RegistryText, LaterValueOfTheSameNameWins) {
  RegistryDocument document = Parse("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"1\"\n\"V\"=\"2\"\n");
  ASSERT_EQ(document.keys[0].values.size(), 1u);
  EXPECT_EQ(document.keys[0].values[0].name, "v");
  EXPECT_EQ(document.keys[0].values[0].data, Bytes(std::string_view("2", 2)));
}

TEST(RegistryText, EmptyTextIsAnEmptyRegistry) {
  EXPECT_EQ(Parse("").keys.size(), 0u);
  EXPECT_EQ(Parse("REGEDIT4\n").keys.size(), 0u);
}

TEST(RegistryText, MalformedTextIsRefusedWithTheLine) {
  EXPECT_EQ(ParseError("Windows Registry Editor Version 5.00\n"),
            "line 1: unknown header, expected \"REGEDIT4\": Windows Registry Editor Version 5.00");
  EXPECT_EQ(ParseError("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"open\n"),
            "line 4: unterminated string: \"v\"=\"open");
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"a\\nb\"\n").find("bad escape"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=hex:0g\n").find("bad hex"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=hex:01,\n").find("bad hex"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=hex:123\n").find("bad hex"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=hex:01,\\\n").find("past the end"),
            std::string::npos);
  EXPECT_NE(
      ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=dword:123456789\n").find("bad dword"),
      std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n").find("outside"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOTX]\n").find("outside"), std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\a\\\\b]\n").find("bad key path"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K\n").find("unterminated key"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n\"v\"=\"x\"\n").find("before any key"), std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[-HKEY_CLASSES_ROOT\\K]\n").find("not supported"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=-\n").find("not supported"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=\"x\" trailing\n").find("after"),
            std::string::npos);
  EXPECT_NE(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\nv=\"x\"\n").find("expected"),
            std::string::npos);
}

TEST(RegistryText, WritesSortedInputAsTheEditorWould) {
  RegistryDocument document;
  document.keys.push_back(
      {"CLSID\\{A}",
       {{"", REG_SZ, Bytes(std::string_view("x\"y\\", 5))}, {"n", REG_DWORD, {0x0a, 0, 0, 0}}}});
  EXPECT_EQ(FormatRegistryText(document),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{A}]\n"
            "@=\"x\\\"y\\\\\"\n"
            "\"n\"=dword:0000000a\n"
            "\n");
}

TEST(RegistryText, RoundTripKeepsEveryByte) {
  std::vector<uint8_t> longBlob(300);
  for (size_t i = 0; i < longBlob.size(); ++i) longBlob[i] = static_cast<uint8_t>(i * 7);
  RegistryDocument document;
  document.keys.push_back({"", {{"root value", REG_SZ, {'r', 0}}}});
  document.keys.push_back(
      {"Odd ]name\\caf\xC3\xA9 \xE9",
       {{"", REG_SZ, {0}},
        {"quote\"back\\slash", REG_SZ, Bytes(std::string_view("say \"hi\" C:\\ \xFF", 15))},
        {"no terminator", REG_SZ, {'a', 'b'}},
        {"empty sz", REG_SZ, {}},
        {"embedded zero", REG_SZ, {'a', 0, 'b', 0}},
        {"line break", REG_SZ, Bytes(std::string_view("a\nb", 4))},
        {"@", REG_SZ, {'@', 0}},
        {"short dword", REG_DWORD, {1, 2}},
        {"long blob", REG_BINARY, longBlob},
        {"expand", REG_EXPAND_SZ, Bytes(std::string_view("%X%", 4))},
        {"none", REG_NONE, {}},
        {"tabs\tin name", 0x12345678, {9}}}});
  std::string text = FormatRegistryText(document);
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
  }
  EXPECT_EQ(Parse(text), document);
  EXPECT_EQ(FormatRegistryText(Parse(text)), text);
}

}  // namespace
