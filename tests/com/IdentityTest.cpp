#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com/CInnerUnknown.h"

namespace {

struct ITestGadget : public IUnknown {
  virtual int STDMETHODCALLTYPE Tag() = 0;
};
constexpr GUID IID_ITestGadget = {
    0x5d0a3c11, 0x7e42, 0x4b9f, {0x91, 0x0c, 0x2a, 0x6e, 0x13, 0x55, 0xc4, 0x01}};
constexpr GUID IID_ITestOther = {
    0x5d0a3c12, 0x7e42, 0x4b9f, {0x91, 0x0c, 0x2a, 0x6e, 0x13, 0x55, 0xc4, 0x02}};

struct Destruction {
  int destroyed = 0;
  ULONG addRefInDestructor = 0;
  ULONG releaseInDestructor = 0;
};

class CTestGadget : public CInnerUnknown, public ITestGadget {
 public:
  CTestGadget(IUnknown* outer, Destruction* record, bool churnInDestructor = false)
      : CInnerUnknown("CTestGadget", outer), m_record(record), m_churn(churnInDestructor) {}
  ~CTestGadget() override {
    if (m_churn) {
      // What a contained object releasing its owner looks like.
      m_record->addRefInDestructor = AddRef();
      m_record->releaseInDestructor = Release();
    }
    ++m_record->destroyed;
  }

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && IsEqualGUID(riid, IID_ITestGadget)) {
      return HandOutInterface(static_cast<ITestGadget*>(this), ppv);
    }
    return CInnerUnknown::InnerQueryInterface(riid, ppv);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return OuterAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return OuterRelease(); }
  int STDMETHODCALLTYPE Tag() override { return 42; }

 private:
  Destruction* m_record;  // borrowed
  bool m_churn;
};

// An aggregating object: it answers IID_IUnknown and IID_ITestOther itself
// and counts what reaches it.
class FakeAggregator : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    if (ppv == nullptr) {
      return E_POINTER;
    }
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITestOther)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  LONG references = 1;
  int queries = 0;
};

// Creates a gadget the way a class factory does and returns its inner IUnknown.
IUnknown* CreateGadget(IUnknown* outer, Destruction* record, bool churn = false) {
  CTestGadget* gadget = new CTestGadget(outer, record, churn);
  IUnknown* inner = gadget->InnerUnknown();
  EXPECT_EQ(inner->AddRef(), 1u);
  return inner;
}

TEST(InnerUnknownTest, FirstAddRefReportsOneAndLastReleaseDestroysOnce) {
  Destruction record;
  IUnknown* inner = CreateGadget(nullptr, &record);

  EXPECT_EQ(inner->AddRef(), 2u);
  EXPECT_EQ(inner->Release(), 1u);
  EXPECT_EQ(record.destroyed, 0);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(record.destroyed, 1);
}

TEST(InnerUnknownTest, ReferenceTrafficFromTheDestructorDoesNotDestroyTwice) {
  Destruction record;
  IUnknown* inner = CreateGadget(nullptr, &record, /*churn=*/true);

  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(record.destroyed, 1);
  EXPECT_EQ(record.addRefInDestructor, 2u);
  EXPECT_EQ(record.releaseInDestructor, 1u);
}

TEST(InnerUnknownTest, UnaggregatedInterfacesShareOneIdentityAndCount) {
  Destruction record;
  IUnknown* inner = CreateGadget(nullptr, &record);

  ITestGadget* gadget = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestGadget, reinterpret_cast<void**>(&gadget)), S_OK);
  EXPECT_EQ(gadget->Tag(), 42);

  IUnknown* identity = nullptr;
  ASSERT_EQ(gadget->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, inner);
  EXPECT_EQ(gadget->AddRef(), 4u);  // creator, gadget, identity, this one

  gadget->Release();
  identity->Release();
  gadget->Release();
  EXPECT_EQ(record.destroyed, 0);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(record.destroyed, 1);
}

TEST(InnerUnknownTest, RefusedInterfaceLeavesNullAndCountsUnchanged) {
  Destruction record;
  IUnknown* inner = CreateGadget(nullptr, &record);

  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(inner->QueryInterface(IID_ITestOther, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(inner->QueryInterface(IID_ITestGadget, nullptr), E_POINTER);
  EXPECT_EQ(inner->AddRef(), 2u);

  inner->Release();
  inner->Release();
  EXPECT_EQ(record.destroyed, 1);
}

TEST(InnerUnknownTest, AggregatedInnerIdentityControlsTheInnerCount) {
  FakeAggregator outer;
  Destruction record;
  IUnknown* inner = CreateGadget(&outer, &record);

  IUnknown* again = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, inner);
  EXPECT_NE(again, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(inner->AddRef(), 3u);
  EXPECT_EQ(outer.references, 1);
  EXPECT_EQ(outer.queries, 0);

  inner->Release();
  again->Release();
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(record.destroyed, 1);
  EXPECT_EQ(outer.references, 1);
}

TEST(InnerUnknownTest, AggregatedPublishedInterfacesReachTheOuterObject) {
  FakeAggregator outer;
  Destruction record;
  IUnknown* inner = CreateGadget(&outer, &record);

  // The aggregator asks the inner object for its interface directly.
  ITestGadget* gadget = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestGadget, reinterpret_cast<void**>(&gadget)), S_OK);
  EXPECT_EQ(outer.references, 2);  // the hand-out AddRef went to the outer unknown

  IUnknown* identity = nullptr;
  ASSERT_EQ(gadget->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));

  void* other = nullptr;
  ASSERT_EQ(gadget->QueryInterface(IID_ITestOther, &other), S_OK);
  EXPECT_EQ(other, static_cast<void*>(&outer));

  void* refused = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(gadget->QueryInterface(IID_ITestGadget, &refused), E_NOINTERFACE);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(outer.queries, 3);

  EXPECT_EQ(gadget->AddRef(), 5u);
  EXPECT_EQ(gadget->Release(), 4u);
  EXPECT_EQ(outer.references, 4);
  outer.Release();
  outer.Release();
  gadget->Release();

  EXPECT_EQ(record.destroyed, 0);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(record.destroyed, 1);
  EXPECT_EQ(outer.references, 1);
}

TEST(InnerUnknownTest, HandOutInterfaceStoresAndCounts) {
  FakeAggregator target;
  void* out = nullptr;
  EXPECT_EQ(HandOutInterface(&target, nullptr), E_POINTER);
  EXPECT_EQ(target.references, 1);
  EXPECT_EQ(HandOutInterface(&target, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(&target));
  EXPECT_EQ(target.references, 2);
}

TEST(TrackedObjectTest, LiveCountFollowsObjectsNotReferences) {
  const LONG before = CTrackedObject::LiveObjectCount();
  Destruction first;
  Destruction second;
  IUnknown* a = CreateGadget(nullptr, &first);
  IUnknown* b = CreateGadget(nullptr, &second);
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), before + 2);

  a->AddRef();
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), before + 2);
  a->Release();
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), before + 2);
  a->Release();
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), before + 1);
  b->Release();
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), before);
}

TEST(InnerUnknownTest, ConcurrentReferencesDestroyExactlyOnce) {
  Destruction record;
  IUnknown* inner = CreateGadget(nullptr, &record);
  ITestGadget* gadget = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestGadget, reinterpret_cast<void**>(&gadget)), S_OK);
  inner->Release();

  // Every thread takes a reference of its own, so the creator's may go first.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    gadget->AddRef();
    threads.emplace_back([gadget] {
      for (int i = 0; i < 1000; ++i) {
        gadget->AddRef();
        gadget->Release();
      }
      gadget->Release();
    });
  }
  gadget->Release();
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(record.destroyed, 1);
}

}  // namespace
