#include <gtest/gtest.h>
#include <platform/BuiltinModules.h>
#include <platform/ComRuntime.h>
#include <platform/Faults.h>
#include <platform/Registry.h>

#include <dlfcn.h>

#include <thread>
#include <vector>

#include "ComTestSupport.h"

using comtest::CBuiltinTestObject;
using comtest::FixtureProbe;
using comtest::kFixturePath;

namespace {

PLATFORM_GUID(kNowhereClass, 0x0BADC0DE, 0x1111, 0x2222, 0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44,
              0x44);

void* const kSentinel = reinterpret_cast<void*>(0x1);

// Where the platform library itself lives: a loadable module without DllGetClassObject.
std::string PlatformLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CoTaskMemAlloc), &info) == 0) return {};
  return info.dli_fname;
}

class ClassCreationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FixtureProbe();
    platform::UseMemoryRegistry();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    comtest::RegisterInprocServer(CLSID_ComFixtureObject, kFixturePath);
    attachesBefore_ = FixtureProbe().attaches.load();
    detachesBefore_ = FixtureProbe().detaches.load();
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    EXPECT_EQ(platform::LoadedServerCount(), 0u) << "a test left a server in use";
    CoUninitialize();
    platform::UseMemoryRegistry();
  }

  int Attaches() const { return FixtureProbe().attaches.load() - attachesBefore_; }
  int Detaches() const { return FixtureProbe().detaches.load() - detachesBefore_; }

  HRESULT Create(REFCLSID clsid, IUnknown** object, REFIID riid = IID_IUnknown,
                 IUnknown* outer = nullptr) {
    *object = static_cast<IUnknown*>(kSentinel);
    return CoCreateInstance(clsid, outer, CLSCTX_INPROC_SERVER, riid,
                            reinterpret_cast<void**>(object));
  }

  int attachesBefore_ = 0;
  int detachesBefore_ = 0;
};

}  // namespace

TEST_F(ClassCreationTest, LoadsTheRegisteredServerAndUnloadsItOnceIdle) {
  IUnknown* object = nullptr;
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &object), S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(Attaches(), 1);
  EXPECT_EQ(FixtureProbe().liveObjects.load(), 1);  // the factory is gone, the object lives
  EXPECT_EQ(platform::LoadedServerCount(), 1u);
  EXPECT_TRUE(platform::IsServerLoaded(kFixturePath.c_str()));

  CoFreeUnusedLibraries();  // a live object keeps its server
  EXPECT_EQ(platform::LoadedServerCount(), 1u);
  EXPECT_EQ(Detaches(), 0);

  EXPECT_EQ(object->Release(), 0u);
  CoFreeUnusedLibraries();
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
  EXPECT_FALSE(platform::IsServerLoaded(kFixturePath.c_str()));
  EXPECT_FALSE(platform::IsModuleLoaded(kFixturePath.c_str()));
  EXPECT_EQ(Detaches(), 1);
}

TEST_F(ClassCreationTest, LoadsAServerOnceForManyCreations) {
  IUnknown* first = nullptr;
  IUnknown* second = nullptr;
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &first), S_OK);
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &second), S_OK);
  EXPECT_NE(first, second);
  EXPECT_EQ(Attaches(), 1);
  EXPECT_EQ(platform::LoadedServerCount(), 1u);
  EXPECT_EQ(platform::ModuleReferenceCount(kFixturePath.c_str()), 1);  // one reference, kept

  first->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(platform::LoadedServerCount(), 1u);
  second->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(Detaches(), 1);

  // A creation after the unload loads the server afresh.
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &first), S_OK);
  EXPECT_EQ(Attaches(), 2);
  first->Release();
}

TEST_F(ClassCreationTest, ServerLockKeepsTheServerLoaded) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_ComFixtureObject, CLSCTX_INPROC_SERVER, nullptr,
                             IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(platform::LoadedServerCount(), 1u);
  EXPECT_EQ(Detaches(), 0);

  ASSERT_EQ(CoGetClassObject(CLSID_ComFixtureObject, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(Attaches(), 1);
  factory->LockServer(FALSE);
  factory->Release();
  CoFreeUnusedLibraries();
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
  EXPECT_EQ(Detaches(), 1);
}

TEST_F(ClassCreationTest, AClassThatIsNowhereIsNotRegistered) {
  IUnknown* object = nullptr;
  EXPECT_EQ(Create(kNowhereClass, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);

  // A class key without an in-process server is no better.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, comtest::ClassKeyPath(kNowhereClass).c_str(), &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Create(kNowhereClass, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
}

TEST_F(ClassCreationTest, AServerFileThatCannotBeLoadedIsDllNotFound) {
  comtest::RegisterInprocServer(kNowhereClass, std::string(TESSALY_FIXTURE_DIR) + "/Missing.so");
  IUnknown* object = nullptr;
  EXPECT_EQ(Create(kNowhereClass, &object), CO_E_DLLNOTFOUND);
  EXPECT_EQ(object, nullptr);
  comtest::RegisterInprocServer(kNowhereClass, "");
  EXPECT_EQ(Create(kNowhereClass, &object), CO_E_DLLNOTFOUND);
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
}

TEST_F(ClassCreationTest, AModuleWithoutDllGetClassObjectIsAnErrorInTheDll) {
  const std::string platformLibrary = PlatformLibraryPath();
  ASSERT_FALSE(platformLibrary.empty());
  comtest::RegisterInprocServer(kNowhereClass, platformLibrary);
  IUnknown* object = nullptr;
  const LONG referencesBefore = platform::ModuleReferenceCount(platformLibrary.c_str());
  EXPECT_EQ(Create(kNowhereClass, &object), CO_E_ERRORINDLL);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
  EXPECT_EQ(platform::ModuleReferenceCount(platformLibrary.c_str()), referencesBefore);
}

TEST_F(ClassCreationTest, ExpandsEnvironmentReferencesInExpandableServerPaths) {
  setenv("TESSALY_TEST_FIXTURE_DIR", TESSALY_FIXTURE_DIR, 1);
  comtest::RegisterInprocServer(CLSID_ComFixtureObject,
                                "%TESSALY_TEST_FIXTURE_DIR%/ComFixtureModule.so", REG_EXPAND_SZ);
  IUnknown* object = nullptr;
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &object), S_OK);
  EXPECT_EQ(Attaches(), 1);
  EXPECT_TRUE(platform::IsServerLoaded(kFixturePath.c_str()));
  object->Release();
}

TEST_F(ClassCreationTest, PassesTheServersOwnErrorsThroughUnchanged) {
  comtest::RegisterInprocServer(CLSID_ComFixtureUnserved, kFixturePath);
  IUnknown* object = nullptr;
  EXPECT_EQ(Create(CLSID_ComFixtureUnserved, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);

  IUnknown* outer = nullptr;
  ASSERT_EQ(CBuiltinTestObject::Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(&outer)),
            S_OK);
  EXPECT_EQ(Create(CLSID_ComFixtureObject, &object, IID_IUnknown, outer), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  outer->Release();

  EXPECT_EQ(Create(CLSID_ComFixtureObject, &object, IID_IPersist), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(FixtureProbe().liveObjects.load(), 0);  // the refused object was destroyed

  // None of these failures leaves the server busy.
  EXPECT_EQ(Attaches(), 1);
  CoFreeUnusedLibraries();
  EXPECT_EQ(Detaches(), 1);
}

TEST_F(ClassCreationTest, ClassObjectRequestsGoToTheServerAsAsked) {
  IUnknown* unknown = nullptr;
  EXPECT_EQ(CoGetClassObject(CLSID_ComFixtureObject, CLSCTX_INPROC_SERVER, nullptr, IID_IPersist,
                             reinterpret_cast<void**>(&unknown)),
            E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);
  EXPECT_EQ(CoGetClassObject(CLSID_ComFixtureObject, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                             nullptr),
            E_POINTER);
}

TEST_F(ClassCreationTest, RefusesNullOutPointerAndOutOfProcessContexts) {
  EXPECT_EQ(CoCreateInstance(CLSID_ComFixtureObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             nullptr),
            E_POINTER);
  IUnknown* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ComFixtureObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
}

TEST_F(ClassCreationTest, BuiltinClassesComeBeforeTheRegistry) {
  comtest::ScopedBuiltinClass builtin(CLSID_ComFixtureObject, &CBuiltinTestObject::Create);
  const int createdBefore = CBuiltinTestObject::s_created.load();

  IUnknown* object = nullptr;
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &object), S_OK);
  EXPECT_EQ(CBuiltinTestObject::s_created.load(), createdBefore + 1);
  EXPECT_EQ(Attaches(), 0);
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
  EXPECT_EQ(object->Release(), 0u);

  EXPECT_EQ(Create(CLSID_ComFixtureObject, &object, IID_IPersist), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CBuiltinTestObject::s_live.load(), 0);
}

TEST_F(ClassCreationTest, BuiltinClassObjectIsAWorkingClassFactory) {
  comtest::ScopedBuiltinClass builtin(CLSID_ComFixtureObject, &CBuiltinTestObject::Create);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_ComFixtureObject, CLSCTX_INPROC_SERVER, nullptr,
                             IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(factory));
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(factory->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&unknown)),
            E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);

  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
  EXPECT_EQ(CBuiltinTestObject::s_live.load(), 1);
  IUnknown* refused = static_cast<IUnknown*>(kSentinel);
  EXPECT_EQ(factory->CreateInstance(object, IID_IUnknown, reinterpret_cast<void**>(&refused)),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);
  object->Release();
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(Attaches(), 0);
}

TEST_F(ClassCreationTest, AnUnregisteredBuiltinFallsBackToTheRegistry) {
  { comtest::ScopedBuiltinClass builtin(CLSID_ComFixtureObject, &CBuiltinTestObject::Create); }
  IUnknown* object = nullptr;
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &object), S_OK);
  EXPECT_EQ(Attaches(), 1);
  object->Release();
}

TEST_F(ClassCreationTest, FailedFactoryAllocationInsideTheServerIsOutOfMemory) {
  IUnknown* warmUp = nullptr;  // loads the server, so the only allocation left is the factory's
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &warmUp), S_OK);
  warmUp->Release();
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  IUnknown* object = nullptr;
  const HRESULT hr = Create(CLSID_ComFixtureObject, &object);
  platform::ResetAllocationFaults();
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(FixtureProbe().liveObjects.load(), 0);
}

TEST_F(ClassCreationTest, TheLastUninitialiseReleasesIdleServers) {
  IUnknown* object = nullptr;
  ASSERT_EQ(Create(CLSID_ComFixtureObject, &object), S_OK);
  object->Release();
  CoUninitialize();
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
  EXPECT_EQ(Detaches(), 1);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);  // for TearDown
}

TEST_F(ClassCreationTest, CreationAndUnloadingRaceSafely) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int round = 0; round < kRounds; ++round) {
        IUnknown* object = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ComFixtureObject, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IUnknown, reinterpret_cast<void**>(&object)))) {
          failures.fetch_add(1);
          continue;
        }
        object->Release();
      }
      CoUninitialize();
    });
  }
  threads.emplace_back([] {
    for (int round = 0; round < kRounds; ++round) CoFreeUnusedLibraries();
  });
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(FixtureProbe().liveObjects.load(), 0);
  CoFreeUnusedLibraries();
  EXPECT_EQ(platform::LoadedServerCount(), 0u);
  EXPECT_GE(Attaches(), 1);
  EXPECT_EQ(Attaches(), Detaches());
}
