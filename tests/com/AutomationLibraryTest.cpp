#include <gtest/gtest.h>
#include <platform/BuiltinModules.h>

#include "com/CInnerUnknown.h"

namespace {

constexpr char kAutomation[] = "OleAut32.dll";

class CPlainObject : public CInnerUnknown {
 public:
  CPlainObject() : CInnerUnknown("CPlainObject", nullptr) {}
};

IUnknown* CreatePlainObject() {
  IUnknown* inner = (new CPlainObject)->InnerUnknown();
  inner->AddRef();
  return inner;
}

class AutomationLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The release happens only when the module's last object dies.
    ASSERT_EQ(CTrackedObject::LiveObjectCount(), 0);
    ASSERT_FALSE(platform::IsModuleLoaded(kAutomation));
  }
};

TEST_F(AutomationLibraryTest, LoadedOnceAndReleasedWithTheLastObject) {
  IUnknown* first = CreatePlainObject();
  IUnknown* second = CreatePlainObject();

  HMODULE library = LoadAutomationLibrary();
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(LoadAutomationLibrary(), library);
  EXPECT_EQ(platform::ModuleReferenceCount(kAutomation), 1);

  first->Release();
  EXPECT_TRUE(platform::IsModuleLoaded(kAutomation));
  second->Release();
  EXPECT_FALSE(platform::IsModuleLoaded(kAutomation));

  // A later user loads it again, and the next last object releases it again.
  IUnknown* third = CreatePlainObject();
  ASSERT_NE(LoadAutomationLibrary(), nullptr);
  EXPECT_EQ(platform::ModuleReferenceCount(kAutomation), 1);
  third->Release();
  EXPECT_FALSE(platform::IsModuleLoaded(kAutomation));
}

TEST_F(AutomationLibraryTest, NothingIsReleasedWhenItWasNeverLoaded) {
  HMODULE own = LoadLibraryA(kAutomation);
  ASSERT_NE(own, nullptr);

  CreatePlainObject()->Release();
  EXPECT_EQ(platform::ModuleReferenceCount(kAutomation), 1);

  EXPECT_TRUE(FreeLibrary(own));
  EXPECT_FALSE(platform::IsModuleLoaded(kAutomation));
}

}  // namespace
