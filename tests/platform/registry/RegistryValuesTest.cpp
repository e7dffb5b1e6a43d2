// Values: types, exact bytes, size queries, the legacy RegSetValueA, and
// enumeration.
#include "RegistryTestSupport.h"

namespace registry_test {
namespace {

using RegistryValues = RegistryTest;

TEST_F(RegistryValues, WideNamesAndTextAreKeptInTheirNarrowSpelling) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Wide\\\u03a9", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char16_t path[] = u"C:\\\u6a21\\x";
  ASSERT_EQ(
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path),
      ERROR_SUCCESS);
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExW(key, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  RegCloseKey(key);

  key = Create("Wide\\\xCE\xA9");
  DWORD type = 0;
  EXPECT_EQ(Read(key, nullptr, &type), std::string("C:\\\xE6\xA8\xA1\\x", 9));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Read(key, "n", &type), std::string("\x07\0\0\0", 4));
  // Read wide, the text comes back in wide units, its size counted in bytes.
  char16_t back[16] = {};
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(back), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof path);
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(back), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(back), std::u16string(path));
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Wide\\\u03a9"), ERROR_SUCCESS);
}

TEST_F(RegistryValues, EveryTypeKeepsItsBytesAndType) {
  HKEY key = Create("Values");
  const BYTE binary[] = {0x00, 0xFF, 0x10};
  const DWORD number = 0x0A0B0C0D;
  const char expand[] = "%PATH%\\x";
  const char multi[] = "one\0two\0";
  ASSERT_EQ(RegSetValueExA(key, "bin", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "num", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "exp", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand),
                           sizeof expand),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                           sizeof multi),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "none", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);

  DWORD type = 0;
  EXPECT_EQ(Read(key, "bin", &type), std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Read(key, "num", &type), std::string("\x0D\x0C\x0B\x0A", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Read(key, "exp", &type), std::string(expand, sizeof expand));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(Read(key, "multi", &type), std::string(multi, sizeof multi));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(Read(key, "none", &type), "");
  EXPECT_EQ(type, REG_NONE);
  RegCloseKey(key);
}

TEST_F(RegistryValues, StringsKeepExactlyTheLengthWritten) {
  HKEY key = Create("Media Type\\{S}");
  const char checkBytes[] = "0,4,,46494C4D,16,4,,46445343";
  ASSERT_EQ(RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(checkBytes), 29),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "short", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_SUCCESS);
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "0", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 29u);
  EXPECT_EQ(Read(key, "0"), std::string(checkBytes, 29));
  EXPECT_EQ(Read(key, "short"), "abc");
  RegCloseKey(key);
}

TEST_F(RegistryValues, UnterminatedStringIsTerminatedWhenTheBufferHasRoom) {
  HKEY key = Create("Key");
  ASSERT_EQ(RegSetValueExA(key, "s", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_SUCCESS);
  char buffer[8];
  std::memset(buffer, 'X', sizeof buffer);
  DWORD size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExA(key, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::string(buffer, 5), std::string("abc\0X", 5));

  std::memset(buffer, 'X', sizeof buffer);
  size = 3;
  ASSERT_EQ(RegQueryValueExA(key, "s", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(buffer, 4), "abcX");

  // Binary data is never touched beyond its length.
  ASSERT_EQ(RegSetValueExA(key, "b", 0, REG_BINARY, reinterpret_cast<const BYTE*>("abc"), 3),
            ERROR_SUCCESS);
  std::memset(buffer, 'X', sizeof buffer);
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExA(key, "b", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(buffer, 4), "abcX");
  RegCloseKey(key);
}

TEST_F(RegistryValues, SizeQueriesAndSmallBuffers) {
  HKEY key = Create("Key");
  SetString(key, "Source Filter", "{E436EBB5-524F-11CE-9F53-0020AF0BA770}");
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "source filter", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 39u);

  char buffer[39];
  std::memset(buffer, 'X', sizeof buffer);
  size = 38;
  EXPECT_EQ(RegQueryValueExA(key, "Source Filter", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 39u);
  EXPECT_EQ(buffer[0], 'X');  // nothing written into a buffer that is too small

  EXPECT_EQ(RegQueryValueExA(key, "absent", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Source Filter", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Source Filter", nullptr, &type, nullptr, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryValues, DefaultValueIsTheEmptyOrNullName) {
  HKEY key = Create("Key");
  SetString(key, nullptr, "by null");
  EXPECT_EQ(Read(key, ""), std::string("by null", 8));
  SetString(key, "", "by empty");
  EXPECT_EQ(Read(key, nullptr), std::string("by empty", 9));
  EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, ""), "<missing>");
  EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryValues, ValueNamesIgnoreCaseAndOverwriteInPlace) {
  HKEY key = Create("Key");
  SetString(key, "ThreadingModel", "Apartment");
  SetString(key, "THREADINGMODEL", "Both");
  EXPECT_EQ(Read(key, "threadingmodel"), std::string("Both", 5));
  char name[32];
  DWORD nameLength = sizeof name;
  ASSERT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "ThreadingModel");
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryValues, SetValueWritesTheSubkeyDefaultFromTheStringLength) {
  HKEY clsid = Create("CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}");
  // The platform ignores the length argument and measures the string.
  ASSERT_EQ(RegSetValueA(clsid, nullptr, REG_SZ, "Tessaly Parser", 3), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Read(clsid, nullptr, &type), std::string("Tessaly Parser", 15));
  EXPECT_EQ(type, REG_SZ);

  ASSERT_EQ(RegSetValueA(clsid, "InprocServer32", REG_SZ, "/opt/tessaly.ax", 0), ERROR_SUCCESS);
  HKEY server = nullptr;
  ASSERT_EQ(RegOpenKeyExA(clsid, "InprocServer32", 0, KEY_READ, &server), ERROR_SUCCESS);
  EXPECT_EQ(Read(server, ""), std::string("/opt/tessaly.ax", 16));
  RegCloseKey(server);

  EXPECT_EQ(RegSetValueA(clsid, nullptr, REG_BINARY, "x", 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueA(clsid, nullptr, REG_SZ, nullptr, 0), ERROR_INVALID_PARAMETER);
  RegCloseKey(clsid);
}

TEST_F(RegistryValues, LegacyQueryValueReadsTheSubkeyDefault) {
  RegCloseKey(Create("Empty"));
  HKEY key = Create("Full");
  SetString(key, nullptr, "text");
  RegCloseKey(key);
  char buffer[16];
  LONG size = sizeof buffer;
  ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "Full", buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5);
  EXPECT_STREQ(buffer, "text");
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "Empty", buffer, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, "Missing", buffer, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, EnumerationGivesNamesTypesAndDataInNameOrder) {
  HKEY key = Create("Key");
  SetString(key, "Source Filter", "{S}");
  SetString(key, "0", "check");
  SetString(key, nullptr, "default");
  struct Seen {
    std::string name;
    DWORD type;
    std::string data;
  };
  std::vector<Seen> seen;
  for (DWORD index = 0;; ++index) {
    char name[64];
    DWORD nameLength = sizeof name;
    BYTE data[64];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    LONG status = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(status, ERROR_SUCCESS);
    seen.push_back({std::string(name, nameLength), type,
                    std::string(reinterpret_cast<char*>(data), dataLength)});
  }
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].name, "");
  EXPECT_EQ(seen[0].data, std::string("default", 8));
  EXPECT_EQ(seen[1].name, "0");
  EXPECT_EQ(seen[2].name, "Source Filter");
  EXPECT_EQ(seen[2].type, REG_SZ);
  EXPECT_EQ(seen[2].data, std::string("{S}", 4));

  char shortName[4];
  DWORD nameLength = sizeof shortName;
  EXPECT_EQ(RegEnumValueA(key, 2, shortName, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  char name[64];
  nameLength = sizeof name;
  BYTE small[2];
  DWORD dataLength = sizeof small;
  EXPECT_EQ(RegEnumValueA(key, 2, name, &nameLength, nullptr, nullptr, small, &dataLength),
            ERROR_MORE_DATA);
  EXPECT_EQ(dataLength, 4u);
  RegCloseKey(key);
}

TEST_F(RegistryValues, BadValueArgumentsAreRefused) {
  HKEY key = Create("Key");
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "line\nbreak", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", &reserved, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

}  // namespace
}  // namespace registry_test
