#include <platform/Faults.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ModuleTestSupport.h"

using moduletest::LoadedModuleTest;

namespace {

// {0A8C2D41-5B7E-4F10-9C3D-2E6F8A1B4C70}: a class this module does not serve.
constexpr GUID kUnknownClass = {
    0x0A8C2D41, 0x5B7E, 0x4F10, {0x9C, 0x3D, 0x2E, 0x6F, 0x8A, 0x1B, 0x4C, 0x70}};

// The controlling unknown of an aggregate: answers IUnknown itself and
// counts the references the inner object's published interfaces give it.
class TestAggregator final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }

  std::atomic<int> references{1};
  int queries = 0;
};

}  // namespace

TEST_F(LoadedModuleTest, HandsOutAFactoryForTheSplitterAsIUnknownOrIClassFactory) {
  for (const GUID* iid : {&IID_IUnknown, &IID_IClassFactory}) {
    void* object = nullptr;
    ASSERT_EQ(getClassObject_(CLSID_CpkSplitter, *iid, &object), S_OK);
    ASSERT_NE(object, nullptr);
    auto* factory = static_cast<IClassFactory*>(object);
    CComHolder<IClassFactory> asked;
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, asked.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(asked.Get(), factory);
    asked.Reset();
    EXPECT_EQ(factory->Release(), 0u);
  }
}

TEST_F(LoadedModuleTest, RefusesOtherInterfacesBeforeLookingUpTheClass) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(kUnknownClass, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);

  for (const GUID* clsid : {&CLSID_CpkSplitter, &kUnknownClass}) {
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject_(*clsid, IID_IBaseFilter, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(getClassObject_(CLSID_CpkSplitter, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(LoadedModuleTest, FactoryAnswersOnlyItsOwnInterfaces) {
  CComHolder<IClassFactory> factory = Factory();
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->QueryInterface(IID_IBaseFilter, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(LoadedModuleTest, CreatesAFilterWithOneReference) {
  CComHolder<IClassFactory> factory = Factory();
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
            S_OK);
  ASSERT_NE(filter, nullptr);
  CLSID classId = {};
  EXPECT_EQ(filter->GetClassID(&classId), S_OK);
  EXPECT_TRUE(IsEqualGUID(classId, CLSID_CpkSplitter));

  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "the filter keeps the module loaded";
  EXPECT_EQ(filter->AddRef(), 2u);
  EXPECT_EQ(filter->Release(), 1u);
  EXPECT_EQ(filter->Release(), 0u);
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(LoadedModuleTest, CreateInstanceRefusesAMissingOutPointerAndUnknownInterfaces) {
  CComHolder<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK) << "the refused object was destroyed";
}

TEST_F(LoadedModuleTest, AggregatesOnlyForTheInnerUnknown) {
  CComHolder<IClassFactory> factory = Factory();
  TestAggregator outer;

  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(outer.references, 1);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  ASSERT_NE(inner, nullptr);
  EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.references, 1) << "the inner unknown counts on itself";

  IBaseFilter* filter = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
  EXPECT_EQ(outer.references, 2) << "published interfaces count on the aggregator";
  int queriesBefore = outer.queries;
  IUnknown* identity = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, queriesBefore + 1);
  identity->Release();
  filter->Release();
  EXPECT_EQ(outer.references, 1);

  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
}

TEST_F(LoadedModuleTest, OutOfMemoryForTheFactoryOrTheFilterLeavesNothingBehind) {
  void* object = reinterpret_cast<void*>(1);
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(getClassObject_(CLSID_CpkSplitter, IID_IClassFactory, &object), E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
  platform::ResetAllocationFaults();

  CComHolder<IClassFactory> factory = Factory();
  // The first allocation is the filter itself; a later one fails inside its
  // construction, which the factory must answer by destroying the object.
  for (int64_t n : {1, 2}) {
    object = reinterpret_cast<void*>(1);
    platform::FailNthAllocation(platform::AllocationKind::HeapObject, n);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, &object), E_OUTOFMEMORY) << n;
    platform::ResetAllocationFaults();
    EXPECT_EQ(object, nullptr);
  }
  factory.Reset();
}

TEST_F(LoadedModuleTest, CanUnloadOnlyWithoutFactoriesObjectsOrLocks) {
  EXPECT_EQ(canUnloadNow_(), S_OK);
  CComHolder<IClassFactory> factory = Factory();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a living factory";

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a lock without any factory";

  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(LoadedModuleTest, AnUnmatchedUnlockNeitherKeepsTheModuleNorCancelsALaterLock) {
  CComHolder<IClassFactory> factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);

  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_FALSE) << "the lock taken after the stray unlocks holds";
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(LoadedModuleTest, CountsStayExactUnderCallsFromManyThreads) {
  CComHolder<IClassFactory> factory = Factory();
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&factory] {
      IClassFactory* shared = factory.Get();
      for (int round = 0; round < kRounds; ++round) {
        shared->AddRef();
        shared->LockServer(TRUE);
        shared->LockServer(FALSE);
        shared->LockServer(TRUE);
        shared->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  for (int unlock = 0; unlock < kThreads * kRounds; ++unlock) {
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    if (unlock + 1 < kThreads * kRounds) {
      ASSERT_EQ(canUnloadNow_(), S_FALSE) << "a lock was lost after " << unlock;
    }
  }
  EXPECT_EQ(factory->AddRef(), 2u) << "the factory's count lost an update";
  EXPECT_EQ(factory->Release(), 1u);
  factory.Reset();
}
