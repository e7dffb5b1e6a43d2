#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

TEST_F(RegistrationTest, UnregisteringWhatWasNeverRegisteredSucceedsAndChangesNothing) {
  const std::string empty = platform::ExportRegistryText();
  EXPECT_EQ(unregisterServer_(), S_OK);
  EXPECT_EQ(platform::ExportRegistryText(), empty);
}

TEST_F(RegistrationTest, UnregisteringNeedsNeitherTheClassKeyNorTheRegisteredFile) {
  ASSERT_EQ(registerServer_(), S_OK);
  // The file was moved after registration: the registered path loads nothing.
  HKEY server = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, kServerKey.c_str(), 0, KEY_ALL_ACCESS, &server),
            ERROR_SUCCESS);
  const char moved[] = "/nonexistent/tessaly.ax";
  ASSERT_EQ(RegSetValueExA(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(moved),
                           sizeof(moved)),
            ERROR_SUCCESS);
  RegCloseKey(server);
  EXPECT_EQ(unregisterServer_(), S_OK);
  ExpectNothingOfTheModuleRegistered();

  // The class key was removed by hand; the mapper entry and the file type stay.
  ASSERT_EQ(registerServer_(), S_OK);
  RemoveTree(HKEY_CLASSES_ROOT, kClassKey);
  EXPECT_EQ(unregisterServer_(), S_OK);
  ExpectNothingOfTheModuleRegistered();
}

TEST_F(RegistrationTest, UnregisteringAStrayCopyLeavesTheRegistrationOfTheFileThatIsThere) {
  ASSERT_EQ(registerServer_(), S_OK);
  const std::string registered = platform::ExportRegistryText();
  char directory[] = "/tmp/tessaly-stray-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string copy = std::string(directory) + "/tessaly.ax";
  std::filesystem::copy_file(TESSALY_MODULE_PATH, copy);
  HMODULE stray = LoadLibraryA(copy.c_str());
  ASSERT_NE(stray, nullptr);
  auto unregisterStray =
      reinterpret_cast<RegisterServerFn>(GetProcAddress(stray, "DllUnregisterServer"));
  EXPECT_EQ(unregisterStray(), S_OK);
  EXPECT_EQ(platform::ExportRegistryText(), registered);
  FreeLibrary(stray);
  std::filesystem::remove_all(directory);
}

TEST_F(RegistrationTest, AFailedRegistrationTakesOutWhatItWrote) {
  // The parent keys every system has stay.
  CreateKey("CLSID");
  CreateKey("Filter");
  CreateKey(kStreamTypeKey);
  const std::string before = platform::ExportRegistryText();
  // The file type cannot be written, after the class and its mapper entry were.
  platform::SetReadOnlyKeyPath(kStreamTypeKey);
  EXPECT_EQ(registerServer_(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  platform::SetReadOnlyKeyPath("");
  ExpectNothingOfTheModuleRegistered();
  EXPECT_EQ(platform::ExportRegistryText(), before);
}

TEST_F(RegistrationTest, UnregisteringWithoutTheMediaTypeEntrySucceeds) {
  ASSERT_EQ(registerServer_(), S_OK);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, kFilmTypeKey.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(unregisterServer_(), S_OK);
  ExpectNothingOfTheModuleRegistered();
}

TEST_F(RegistrationTest, AFolderNoAnsiCodePageSpellsIsRegisteredCreatedFromAndUnregistered) {
  char directory[] = "/tmp/tessaly-\u03a9\u03bc\u03ad\u03b3\u03b1-\u6a21\u5757-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string copy = std::string(directory) + "/tessaly.ax";
  std::filesystem::copy_file(TESSALY_MODULE_PATH, copy);
  HMODULE module = LoadLibraryA(copy.c_str());
  ASSERT_NE(module, nullptr);
  auto registerCopy =
      reinterpret_cast<RegisterServerFn>(GetProcAddress(module, "DllRegisterServer"));
  auto unregisterCopy =
      reinterpret_cast<RegisterServerFn>(GetProcAddress(module, "DllUnregisterServer"));
  auto canUnloadCopy = reinterpret_cast<CanUnloadNowFn>(GetProcAddress(module, "DllCanUnloadNow"));

  EXPECT_EQ(registerCopy(), S_OK);
  EXPECT_EQ(ReadValue(kServerKey, nullptr).bytes, StringBytes(copy));
  {
    CComHolder<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_CpkSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               filter.ReleaseAndGetVoidAddressOf()),
              S_OK);
    EXPECT_EQ(canUnloadCopy(), S_FALSE) << "COM made the filter from the copy";
  }
  EXPECT_EQ(unregisterCopy(), S_OK);
  ExpectNothingOfTheModuleRegistered();
  EXPECT_EQ(canUnloadCopy(), S_OK);
  CoFreeUnusedLibraries();
  FreeLibrary(module);
  std::filesystem::remove_all(directory);
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
