#include <gtest/gtest.h>
#include <platform/Registry.h>
#include <unistd.h>

#include <cstdlib>

#include "ModuleTestSupport.h"
#include "module/RegistryKeys.h"

using namespace moduletest;

namespace {

// {3C5A9E12-7B44-4D0E-8F21-6A9B0C1D2E3F}: a class made up for these tests.
constexpr GUID kTestClass = {
    0x3C5A9E12, 0x7B44, 0x4D0E, {0x8F, 0x21, 0x6A, 0x9B, 0x0C, 0x1D, 0x2E, 0x3F}};
const std::string kTestClassKey = "CLSID\\{3C5A9E12-7B44-4D0E-8F21-6A9B0C1D2E3F}";

class RegistryKeysTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::UseMemoryRegistry(); }
  void TearDown() override { platform::UseMemoryRegistry(); }
};

TEST_F(RegistryKeysTest, WritesTheClassKeyUnderTheServerKeyNameGiven) {
  ASSERT_EQ(WriteClassKey(kTestClass, WIDE("Test Class"), WIDE("/opt/test/server.ax"),
                          WIDE("Apartment"), WIDE("LocalServer32")),
            S_OK);
  EXPECT_EQ(ReadValue(kTestClassKey, nullptr).bytes, StringBytes("Test Class"));
  EXPECT_EQ(ReadValue(kTestClassKey + "\\LocalServer32", nullptr).bytes,
            StringBytes("/opt/test/server.ax"));
  StoredValue threading = ReadValue(kTestClassKey + "\\LocalServer32", "ThreadingModel");
  EXPECT_EQ(threading.type, REG_SZ);
  EXPECT_EQ(threading.bytes, StringBytes("Apartment"));
}

TEST_F(RegistryKeysTest, RemovesAClassKeyWithSubkeysOfAnyDepth) {
  ASSERT_EQ(WriteClassKey(kTestClass, WIDE("Test Class"), WIDE("/x"), WIDE("Both"),
                          WIDE("InprocServer32")),
            S_OK);
  CreateKey(kTestClassKey + "\\A\\B\\C\\D");
  CreateKey(kTestClassKey + "\\A\\E");
  CreateKey(kTestClassKey + "\\F");
  CreateKey("CLSID\\Neighbour");

  EXPECT_EQ(RemoveClassKey(kTestClass), S_OK);
  EXPECT_FALSE(KeyExists(kTestClassKey));
  EXPECT_TRUE(KeyExists("CLSID\\Neighbour"));
  EXPECT_EQ(RemoveClassKey(kTestClass), S_OK) << "nothing left to remove";
}

TEST_F(RegistryKeysTest, AnEmptyNameDeletesNothing) {
  CreateKey("Parent\\Child");
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Parent", 0, KEY_ALL_ACCESS, &parent), ERROR_SUCCESS);
  EXPECT_EQ(DeleteKeyTree(parent, ""), E_FAIL);
  EXPECT_EQ(DeleteKeyTree(parent, nullptr), E_FAIL);
  RegCloseKey(parent);
  EXPECT_TRUE(KeyExists("Parent\\Child"));
}

TEST_F(RegistryKeysTest, ASubkeyThatCannotBeOpenedByItsNameIsSteppedOver) {
  CreateKey(kTestClassKey + "\\A\\Inner");
  CreateKey(kTestClassKey + "\\Odd\\Inner");
  CreateKey(kTestClassKey + "\\Z");
  platform::SetUnspellableKeyName("Odd");
  EXPECT_TRUE(FAILED(RemoveClassKey(kTestClass)));
  platform::SetUnspellableKeyName("");
  EXPECT_FALSE(KeyExists(kTestClassKey + "\\A"));
  EXPECT_FALSE(KeyExists(kTestClassKey + "\\Z"));
  EXPECT_TRUE(KeyExists(kTestClassKey + "\\Odd\\Inner"));
}

TEST_F(RegistryKeysTest, KeysThatSurviveTheirDeletionDoNotStopTheWalk) {
  char directory[] = "/tmp/tessaly-module-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string file = std::string(directory) + "/classes.reg";
  ASSERT_TRUE(platform::UseRegistryFile(file));
  CreateKey("Doomed\\First\\Inner");
  CreateKey("Doomed\\Second");
  CreateKey("Doomed\\Third\\Inner\\Innermost");
  // From now on every change fails to be saved, so every deletion is undone.
  ASSERT_EQ(unlink(file.c_str()), 0);
  ASSERT_EQ(rmdir(directory), 0);

  EXPECT_TRUE(FAILED(DeleteKeyTree(HKEY_CLASSES_ROOT, "Doomed")));
  EXPECT_TRUE(KeyExists("Doomed\\First\\Inner"));
  EXPECT_TRUE(KeyExists("Doomed\\Second"));
  EXPECT_TRUE(KeyExists("Doomed\\Third\\Inner\\Innermost"));
}

}  // namespace
