#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "ModuleTestSupport.h"

using namespace moduletest;

namespace {

const std::string kMapperFilterKey = "Filter\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}";

class RegistrationTest : public LoadedModuleTest {
 protected:
  void ExpectNothingOfTheModuleRegistered() {
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_FALSE(KeyExists(kMapperFilterKey));
    EXPECT_FALSE(KeyExists(kFilmTypeKey));
    EXPECT_TRUE(FiltersForFilmStreams().empty());
  }
};

TEST_F(RegistrationTest, WritesTheClassKeyWithItsServerAndThreadingModel) {
  ASSERT_EQ(registerServer_(), S_OK);

  StoredValue name = ReadValue(kClassKey, nullptr);
  EXPECT_EQ(name.type, REG_SZ);
  EXPECT_EQ(name.bytes, StringBytes("Tessaly Parser"));

  StoredValue server = ReadValue(kServerKey, nullptr);
  EXPECT_EQ(server.type, REG_SZ);
  EXPECT_EQ(server.bytes, StringBytes(ModulePath()));
  EXPECT_EQ(ModulePath(), TESSALY_MODULE_PATH);

  StoredValue threading = ReadValue(kServerKey, "ThreadingModel");
  EXPECT_EQ(threading.type, REG_SZ);
  EXPECT_EQ(threading.bytes, StringBytes("Both"));
}

TEST_F(RegistrationTest, WritesTheCheckBytesAndTheSourceFilterWithTheirExactLengths) {
  ASSERT_EQ(registerServer_(), S_OK);

  StoredValue check = ReadValue(kFilmTypeKey, "0");
  EXPECT_EQ(check.type, REG_SZ);
  EXPECT_EQ(check.bytes.size(), 29u);
  EXPECT_EQ(check.bytes, StringBytes("0,4,,46494C4D,16,4,,46445343"));

  StoredValue source = ReadValue(kFilmTypeKey, "Source Filter");
  EXPECT_EQ(source.type, REG_SZ);
  EXPECT_EQ(source.bytes.size(), 39u);
  EXPECT_EQ(source.bytes, StringBytes("{E436EBB5-524F-11CE-9F53-0020AF0BA770}"));
}

TEST_F(RegistrationTest, TheMapperOffersTheSplitterForFilmByteStreams) {
  ASSERT_EQ(registerServer_(), S_OK);
  std::vector<FoundFilter> found = FiltersForFilmStreams();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(IsEqualGUID(found[0].clsid, CLSID_CpkSplitter));
  EXPECT_EQ(found[0].name, u"Tessaly Parser");
  EXPECT_EQ(ReadValue(kClassKey, "Merit").bytes, (std::vector<BYTE>{0x00, 0x00, 0x40, 0x00}));
  EXPECT_TRUE(KeyExists(kClassKey + "\\Pins\\Audio Output"));
  EXPECT_TRUE(KeyExists(kClassKey + "\\Pins\\Video Output"));
}

TEST_F(RegistrationTest, TheRegisteredClassIsCreatedThroughTheRegistry) {
  ASSERT_EQ(registerServer_(), S_OK);
  CComHolder<IBaseFilter> filter;
  ASSERT_EQ(CoCreateInstance(CLSID_CpkSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             filter.ReleaseAndGetVoidAddressOf()),
            S_OK);
  CLSID classId = {};
  EXPECT_EQ(filter->GetClassID(&classId), S_OK);
  EXPECT_TRUE(IsEqualGUID(classId, CLSID_CpkSplitter));
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesOneSetOfEntries) {
  ASSERT_EQ(registerServer_(), S_OK);
  const std::string once = platform::ExportRegistryText();
  ASSERT_EQ(registerServer_(), S_OK);
  EXPECT_EQ(platform::ExportRegistryText(), once);
  EXPECT_EQ(FiltersForFilmStreams().size(), 1u);
}

TEST_F(RegistrationTest, UnregisteringRemovesEverythingButTheSharedStreamKey) {
  ASSERT_EQ(registerServer_(), S_OK);
  // Whatever else has gathered under the class key goes with it.
  CreateKey(kClassKey + "\\Extra\\Deeper\\Deepest");
  CreateKey(kClassKey + "\\Another");

  ASSERT_EQ(unregisterServer_(), S_OK);
  ExpectNothingOfTheModuleRegistered();
  EXPECT_TRUE(KeyExists(kStreamTypeKey));
}

TEST_F(RegistrationTest, UnregisteringWithoutAClassKeyFailsAndRemovesNothing) {
  const std::string empty = platform::ExportRegistryText();
  EXPECT_EQ(unregisterServer_(), REGDB_E_CLASSNOTREG) << "on an empty registry";
  EXPECT_EQ(platform::ExportRegistryText(), empty);

  ASSERT_EQ(registerServer_(), S_OK);
  RemoveTree(HKEY_CLASSES_ROOT, kClassKey);
  EXPECT_EQ(unregisterServer_(), REGDB_E_CLASSNOTREG);
  EXPECT_TRUE(KeyExists(kFilmTypeKey)) << "nothing is removed when the object cannot be made";
  EXPECT_TRUE(KeyExists(kMapperFilterKey));
}

TEST_F(RegistrationTest, UnregisteringWithoutTheMediaTypeEntrySucceeds) {
  ASSERT_EQ(registerServer_(), S_OK);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, kFilmTypeKey.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(unregisterServer_(), S_OK);
  ExpectNothingOfTheModuleRegistered();
}

TEST_F(RegistrationTest, AnUnwritableRegistryFailsRegistration) {
  char directory[] = "/tmp/tessaly-module-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string file = std::string(directory) + "/classes.reg";
  ASSERT_TRUE(platform::UseRegistryFile(file));
  ASSERT_EQ(rmdir(directory), 0);

  EXPECT_EQ(registerServer_(), HRESULT_FROM_WIN32(ERROR_CANTWRITE));
  EXPECT_FALSE(KeyExists(kClassKey));
}

TEST_F(RegistrationTest, RegistrationNeedsCOMOnTheCallingThread) {
  HRESULT hr = S_OK;
  std::thread([&] { hr = registerServer_(); }).join();
  EXPECT_TRUE(FAILED(hr));
  EXPECT_FALSE(KeyExists(kFilmTypeKey));
  EXPECT_TRUE(FiltersForFilmStreams().empty());
}

}  // namespace
