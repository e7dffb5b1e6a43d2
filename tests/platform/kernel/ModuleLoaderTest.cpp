#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <platform/BuiltinModules.h>
#include <stdlib.h>
#include <win/platform.h>

#include <cstring>
#include <string>

namespace {

const char kFixturePath[] = TESSALY_FIXTURE_DIR "/KernelFixtureModule.so";

std::string RealPath(const char* path) {
  char* resolved = realpath(path, nullptr);
  std::string result = resolved != nullptr ? resolved : "";
  free(resolved);
  return result;
}

// Holds the fixture mapped behind the loader's back, so its counters outlive
// the loader's unloads and can be read and set between them.
class ModuleLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pin = dlopen(kFixturePath, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, m_pin) << dlerror();
    m_attachCount = Variable<LONG>("KernelFixtureAttachCount");
    m_detachCount = Variable<LONG>("KernelFixtureDetachCount");
    m_failAttach = Variable<BOOL>("KernelFixtureFailAttach");
    *m_attachCount = 0;
    *m_detachCount = 0;
    *m_failAttach = FALSE;
  }
  void TearDown() override {
    ASSERT_FALSE(platform::IsModuleLoaded(kFixturePath));
    dlclose(m_pin);
  }
  template <typename T>
  T* Variable(const char* name) {
    return static_cast<T*>(dlsym(m_pin, name));
  }

  void* m_pin = nullptr;
  LONG* m_attachCount = nullptr;
  LONG* m_detachCount = nullptr;
  BOOL* m_failAttach = nullptr;
};

TEST_F(ModuleLoaderTest, NestedLoadsAttachOnceAndDetachAtTheLastFree) {
  HMODULE first = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(1, *m_attachCount);
  EXPECT_EQ(first, *Variable<HINSTANCE>("KernelFixtureInstance"));

  HMODULE second = LoadLibraryA(kFixturePath);
  EXPECT_EQ(first, second);
  EXPECT_EQ(1, *m_attachCount);
  EXPECT_EQ(2, platform::ModuleReferenceCount(first));
  EXPECT_EQ(2, platform::ModuleReferenceCount("KernelFixtureModule.so"));

  ASSERT_TRUE(FreeLibrary(first));
  EXPECT_EQ(0, *m_detachCount);
  EXPECT_TRUE(platform::IsModuleLoaded(kFixturePath));
  ASSERT_TRUE(FreeLibrary(second));
  EXPECT_EQ(1, *m_detachCount);
  EXPECT_EQ(0, platform::ModuleReferenceCount(first));

  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

  // A later load starts over with a fresh attach.
  HMODULE again = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, again);
  EXPECT_EQ(2, *m_attachCount);
  FreeLibrary(again);
  EXPECT_EQ(2, *m_detachCount);
}

TEST_F(ModuleLoaderTest, EntryPointCanUseTheLoaderForItself) {
  HMODULE module = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, module);
  EXPECT_TRUE(*Variable<BOOL>("KernelFixtureDisableResult"));
  EXPECT_EQ(RealPath(kFixturePath), std::string(Variable<char>("KernelFixtureFileNameAtAttach")));
  FreeLibrary(module);
}

TEST_F(ModuleLoaderTest, FailedAttachFailsTheLoadAndUnloads) {
  *m_failAttach = TRUE;
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryA(kFixturePath));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
  EXPECT_EQ(1, *m_attachCount);
  EXPECT_EQ(1, *m_detachCount);
  EXPECT_FALSE(platform::IsModuleLoaded(kFixturePath));

  *m_failAttach = FALSE;
  HMODULE module = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, module);
  EXPECT_EQ(2, *m_attachCount);
  FreeLibrary(module);
}

TEST_F(ModuleLoaderTest, ProcAddressFindsOnlyTheModulesOwnExports) {
  HMODULE module = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, module);
  FARPROC answer = GetProcAddress(module, "KernelFixtureAnswer");
  ASSERT_NE(nullptr, answer);
  EXPECT_EQ(42, answer());

  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(module, "NoSuchExport"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  // The fixture imports this from the platform library; it is not the fixture's export.
  EXPECT_EQ(nullptr, GetProcAddress(module, "GetModuleFileNameA"));
  EXPECT_EQ(nullptr, GetProcAddress(module, reinterpret_cast<LPCSTR>(1)));
  FreeLibrary(module);

  EXPECT_EQ(nullptr, GetProcAddress(module, "KernelFixtureAnswer"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST_F(ModuleLoaderTest, FileNameIsTheFullPathTruncatedLikeThePlatform) {
  HMODULE module = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, module);
  const std::string expected = RealPath(kFixturePath);
  char name[MAX_PATH * 4] = {};
  EXPECT_EQ(expected.size(), GetModuleFileNameA(module, name, sizeof(name)));
  EXPECT_EQ(expected, std::string(name));

  char small[6];
  std::memset(small, 'x', sizeof(small));
  SetLastError(0);
  EXPECT_EQ(5u, GetModuleFileNameA(module, small, 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(expected.substr(0, 4), std::string(small));
  EXPECT_EQ('x', small[5]);
  FreeLibrary(module);

  EXPECT_EQ(0u, GetModuleFileNameA(module, name, sizeof(name)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST_F(ModuleLoaderTest, WideFileNameIsTheSamePathTruncatedTheSameWay) {
  HMODULE module = LoadLibraryA(kFixturePath);
  ASSERT_NE(nullptr, module);
  const std::string expected = RealPath(kFixturePath);
  WCHAR name[MAX_PATH * 4] = {};
  ASSERT_EQ(expected.size(), GetModuleFileNameW(module, name, MAX_PATH * 4));
  EXPECT_EQ(std::u16string(expected.begin(), expected.end()), std::u16string(name));

  WCHAR small[6] = {u'x', u'x', u'x', u'x', u'x', u'x'};
  SetLastError(0);
  EXPECT_EQ(5u, GetModuleFileNameW(module, small, 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(std::u16string(expected.begin(), expected.begin() + 4), std::u16string(small));
  EXPECT_EQ(u'x', small[5]);
  FreeLibrary(module);
}

TEST(ModuleLoader, NullModuleMeansTheExecutable) {
  char name[PATH_MAX] = {};
  const DWORD length = GetModuleFileNameA(nullptr, name, sizeof(name));
  ASSERT_GT(length, 0u);
  EXPECT_EQ(RealPath("/proc/self/exe"), std::string(name, length));
}

TEST(ModuleLoader, MissingFilesAndNamesFailWithModuleNotFound) {
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryA(TESSALY_FIXTURE_DIR "/NoSuchModule.so"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryA("NoSuchModule.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryA(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(ModuleLoader, FileThatIsNoModuleFailsAsBadFormat) {
  EXPECT_EQ(nullptr, LoadLibraryA("/proc/self/status"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
}

TEST(BuiltinModule, OleAut32AnswersToAnyCaseAndIsCounted) {
  ASSERT_FALSE(platform::IsModuleLoaded("OleAut32.dll"));
  HMODULE first = LoadLibraryA("OleAut32.dll");
  HMODULE second = LoadLibraryA("oleaut32.dll");
  HMODULE third = LoadLibraryA("OLEAUT32");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, third);
  EXPECT_EQ(3, platform::ModuleReferenceCount(first));
  EXPECT_TRUE(platform::IsModuleLoaded("OLEAUT32.DLL"));

  char name[PATH_MAX] = {};
  EXPECT_GT(GetModuleFileNameA(first, name, sizeof(name)), 0u);
  EXPECT_TRUE(DisableThreadLibraryCalls(first));

  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_TRUE(FreeLibrary(second));
  EXPECT_TRUE(platform::IsModuleLoaded("oleaut32.dll"));
  EXPECT_TRUE(FreeLibrary(third));
  EXPECT_FALSE(platform::IsModuleLoaded("oleaut32.dll"));
  EXPECT_FALSE(FreeLibrary(third));
}

INT_PTR Seven() { return 7; }

FARPROC ResolveTestProcedures(const char* procName) {
  return std::strcmp(procName, "Seven") == 0 ? reinterpret_cast<FARPROC>(&Seven) : nullptr;
}

TEST(BuiltinModule, ProceduresComeFromItsResolver) {
  platform::RegisterBuiltinModule("KernelTestBuiltin.dll", ResolveTestProcedures);
  HMODULE module = LoadLibraryA("kerneltestbuiltin");
  ASSERT_NE(nullptr, module);
  FARPROC seven = GetProcAddress(module, "Seven");
  ASSERT_NE(nullptr, seven);
  EXPECT_EQ(7, seven());
  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(module, "Eight"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());

  // A name with directories is a file, never the built-in module.
  EXPECT_EQ(nullptr, LoadLibraryA("/nonexistent/KernelTestBuiltin.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(platform::IsModuleLoaded("KernelTestBuiltin.dll"));
}

TEST(ModuleLoader, UnknownModuleHandlesFailCleanly) {
  HMODULE bogus = reinterpret_cast<HMODULE>(0x1234);
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_FALSE(DisableThreadLibraryCalls(bogus));
  EXPECT_EQ(nullptr, GetProcAddress(bogus, "DllMain"));
  char name[16];
  EXPECT_EQ(0u, GetModuleFileNameA(bogus, name, sizeof(name)));
  EXPECT_EQ(0, platform::ModuleReferenceCount(bogus));
}

}  // namespace
