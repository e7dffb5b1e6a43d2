// Creating, opening, enumerating and deleting keys, and the life of handles.
#include <thread>

#include "RegistryTestSupport.h"

namespace registry_test {
namespace {

using RegistryKeys = RegistryTest;

TEST_F(RegistryKeys, CreateMakesIntermediateKeysAndReportsDisposition) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_TRUE(Exists("CLSID"));
  EXPECT_TRUE(Exists("CLSID\\{A}"));

  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "clsid\\{a}\\INPROCSERVER32", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
}

TEST_F(RegistryKeys, NamesAreCaseInsensitiveButKeepTheirFirstSpelling) {
  RegCloseKey(Create("Media Type\\{6B1E4F21-D3A7-11d1-8C53-00A0C93B7E14}"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "MEDIA TYPE\\{6b1e4f21-d3a7-11D1-8c53-00a0c93b7e14}",
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(Create("media type\\Other"));
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), std::vector<std::string>{"Media Type"});
}

TEST_F(RegistryKeys, EnumerationIsAlphabeticalIgnoringCaseAndEndsWithNoMoreItems) {
  HKEY parent = Create("Parent");
  for (const char* name : {"beta", "Alpha", "_under", "GAMMA", "alpha2", "1"}) {
    RegCloseKey(Create(name, parent));
  }
  // Upper-case folding puts '_' (0x5F) after the letters.
  EXPECT_EQ(SubkeyNames(parent),
            (std::vector<std::string>{"1", "Alpha", "alpha2", "beta", "GAMMA", "_under"}));
  char name[MAX_PATH];
  DWORD length = MAX_PATH;
  EXPECT_EQ(RegEnumKeyExA(parent, 6, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(parent);
}

TEST_F(RegistryKeys, EnumerationWithSmallBufferAsksForMoreData) {
  HKEY parent = Create("Parent");
  RegCloseKey(Create("Exactly", parent));
  char name[8];
  DWORD length = 7;  // "Exactly" needs 8 with its terminator
  EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  length = 8;
  char className[4] = "xyz";
  DWORD classLength = sizeof className;
  FILETIME written{};
  ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &length, nullptr, className, &classLength, &written),
            ERROR_SUCCESS);
  EXPECT_EQ(length, 7u);
  EXPECT_STREQ(name, "Exactly");
  EXPECT_EQ(classLength, 0u);
  EXPECT_STREQ(className, "");
  EXPECT_NE(written.dwHighDateTime, 0u);
  RegCloseKey(parent);
}

TEST_F(RegistryKeys, OpeningAMissingKeyFailsWithFileNotFound) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Nowhere\\Deeper", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Exists("Nowhere"));
}

TEST_F(RegistryKeys, BadPathsAreRefused) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "\\Leading", &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Double\\\\Slash", &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Line\nBreak", &key), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, std::string(256, 'k').c_str(), &key),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SubkeyNames(HKEY_CLASSES_ROOT), std::vector<std::string>{});

  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, std::string(255, 'k').c_str(), &key), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Trailing\\", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(Exists("Trailing"));
}

TEST_F(RegistryKeys, NestingStopsAtThePlatformDepthLimit) {
  std::string path = "k";
  for (int i = 1; i < 512; ++i) path += "\\k";
  HKEY deepest = Create(path.c_str());
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(deepest, "one-too-many", &key), ERROR_INVALID_PARAMETER);
  RegCloseKey(deepest);
}

TEST_F(RegistryKeys, DeleteRefusesKeysWithSubkeysAndMissingKeys) {
  RegCloseKey(Create("CLSID\\{A}\\InprocServer32"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists("CLSID\\{A}\\InprocServer32"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{B}"), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "clsid\\{a}\\inprocserver32"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists("CLSID\\{A}\\InprocServer32"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_SUCCESS);
  EXPECT_TRUE(Exists("CLSID"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryKeys, DeletingAKeyDropsItsValuesForAKeyCreatedAgain) {
  HKEY key = Create("Gone");
  SetString(key, "Name", "value");
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Gone"), ERROR_SUCCESS);
  key = Create("Gone");
  EXPECT_EQ(Read(key, "Name"), "<missing>");
  RegCloseKey(key);
}

TEST_F(RegistryKeys, HandleToADeletedKeyReportsKeyDeleted) {
  HKEY doomed = Create("Doomed");
  SetString(doomed, "v", "x");
  HKEY other = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Doomed", 0, KEY_ALL_ACCESS, &other), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(other, ""), ERROR_SUCCESS);

  BYTE data[8];
  DWORD size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(doomed, "v", nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(doomed, "v", 0, REG_SZ, data, 1), ERROR_KEY_DELETED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyA(doomed, "Child", &child), ERROR_KEY_DELETED);
  char name[MAX_PATH];
  DWORD length = MAX_PATH;
  EXPECT_EQ(RegEnumKeyExA(doomed, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(doomed, ""), ERROR_KEY_DELETED);

  // A key of the same name created later is a different key.
  RegCloseKey(Create("Doomed"));
  EXPECT_EQ(RegSetValueExA(doomed, "v", 0, REG_SZ, data, 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
}

TEST_F(RegistryKeys, ClosedAndBogusHandlesAreInvalidNotFatal) {
  HKEY key = Create("Key");
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyA(key, "Sub", &sub), ERROR_INVALID_HANDLE);

  int local = 0;
  HKEY bogus = reinterpret_cast<HKEY>(&local);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(bogus, nullptr, nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(nullptr, "Key", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKeyA(bogus, "Key"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
  EXPECT_TRUE(Exists("Key"));
}

TEST_F(RegistryKeys, HandlesOnlyAllowWhatTheyWereOpenedFor) {
  RegCloseKey(Create("Key\\Sub"));
  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Key", 0, KEY_READ, &reader), ERROR_SUCCESS);
  BYTE byte = 1;
  EXPECT_EQ(RegSetValueExA(reader, "v", 0, REG_BINARY, &byte, 1), ERROR_ACCESS_DENIED);
  HKEY created = nullptr;
  EXPECT_EQ(RegCreateKeyA(reader, "New", &created), ERROR_ACCESS_DENIED);
  // Opening an existing subkey needs no creation right.
  ASSERT_EQ(RegCreateKeyA(reader, "Sub", &created), ERROR_SUCCESS);
  RegCloseKey(created);
  EXPECT_EQ(SubkeyNames(reader), std::vector<std::string>{"Sub"});
  RegCloseKey(reader);

  HKEY setter = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Key", 0, KEY_SET_VALUE, &setter), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(setter, "v", 0, REG_BINARY, &byte, 1), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(setter, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(setter);
}

TEST_F(RegistryKeys, DeleteKeyTreeLoopEndsWhenAllSubkeysAreGone) {
  // The way a self-registering module removes a class key: always index 0.
  RegCloseKey(Create("CLSID\\{X}\\InprocServer32"));
  RegCloseKey(Create("CLSID\\{X}\\Extra\\Deeper"));
  std::vector<std::string> stack{"CLSID\\{X}"};
  int deletions = 0;
  while (!stack.empty() && deletions < 100) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, stack.back().c_str(), 0, MAXIMUM_ALLOWED, &key),
              ERROR_SUCCESS);
    char name[MAX_PATH];
    DWORD length = MAX_PATH;
    LONG status = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS) {
      stack.push_back(stack.back() + "\\" + name);
      continue;
    }
    ASSERT_EQ(status, ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, stack.back().c_str()), ERROR_SUCCESS);
    stack.pop_back();
    ++deletions;
  }
  EXPECT_EQ(deletions, 4);
  EXPECT_FALSE(Exists("CLSID\\{X}"));
  EXPECT_TRUE(Exists("CLSID"));
}

TEST_F(RegistryKeys, ConcurrentWritersAllLand) {
  constexpr int kThreads = 4;
  constexpr int kKeysEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kKeysEach; ++i) {
        std::string path = "Shared\\T" + std::to_string(t) + "_" + std::to_string(i);
        HKEY key = nullptr;
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) continue;
        DWORD value = static_cast<DWORD>(i);
        RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
        RegCloseKey(key);
        if (i % 2 == 1) RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  HKEY shared = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Shared", 0, KEY_READ, &shared), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(shared).size(), static_cast<size_t>(kThreads * kKeysEach / 2));
  RegCloseKey(shared);
}

}  // namespace
}  // namespace registry_test
