#include <gtest/gtest.h>
#include <platform/BuiltinClasses.h>
#include <platform/Registry.h>

#include "ModuleTestSupport.h"
#include "module/ClassRegistration.h"
#include "module/ModuleState.h"
#include "module/RegistryKeys.h"

using namespace moduletest;

namespace {

// Made-up classes whose creation through COM fails in the ways registration
// must tell apart.
constexpr GUID kNeedsOwner = {
    0x51D0A7E1, 0x0C3B, 0x4A21, {0x9E, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75}};
constexpr GUID kNoSetup = {
    0x51D0A7E2, 0x0C3B, 0x4A21, {0x9E, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75}};
constexpr GUID kBroken = {
    0x51D0A7E3, 0x0C3B, 0x4A21, {0x9E, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75}};
constexpr GUID kPlain = {
    0x51D0A7E4, 0x0C3B, 0x4A21, {0x9E, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75}};

std::string KeyOf(const GUID& clsid) {
  WCHAR text[39];
  StringFromGUID2(clsid, text, 39);
  std::string key = "CLSID\\";
  for (int i = 0; i < 38; ++i) key.push_back(static_cast<char>(text[i]));
  return key;
}

HRESULT NeedsOwner(IUnknown*, REFIID, void** ppv) {
  *ppv = nullptr;
  return VFW_E_NEED_OWNER;
}
HRESULT NoSetup(IUnknown*, REFIID, void** ppv) {
  *ppv = nullptr;
  return E_NOINTERFACE;
}
HRESULT Broken(IUnknown*, REFIID, void** ppv) {
  *ppv = nullptr;
  return E_OUTOFMEMORY;
}

// Registration only asks whether a row has a creator; COM does the creating.
CInnerUnknown* NeverCalled(IUnknown*, HRESULT* result) {
  ADD_FAILURE() << "registration must create objects through COM";
  *result = E_UNEXPECTED;
  return nullptr;
}

ClassTemplateEntry Row(const GUID& clsid, bool withCreator) {
  return {WIDE("Row"), &clsid, withCreator ? &NeverCalled : nullptr, nullptr, nullptr};
}

class ClassRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseMemoryRegistry();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    platform::RegisterBuiltinClass(kNeedsOwner, &NeedsOwner);
    platform::RegisterBuiltinClass(kNoSetup, &NoSetup);
    platform::RegisterBuiltinClass(kBroken, &Broken);
    // This executable's copy of the module code names the built module as
    // its server file.
    module_ = LoadLibraryA(TESSALY_MODULE_PATH);
    ASSERT_NE(module_, nullptr);
    SetModuleInstance(module_);
  }
  void TearDown() override {
    SetModuleInstance(nullptr);
    if (module_ != nullptr) FreeLibrary(module_);
    platform::UnregisterBuiltinClass(kNeedsOwner);
    platform::UnregisterBuiltinClass(kNoSetup);
    platform::UnregisterBuiltinClass(kBroken);
    CoUninitialize();
    platform::UseMemoryRegistry();
  }

  HMODULE module_ = nullptr;
};

TEST_F(ClassRegistrationTest, ClassesWithoutSetupOrThatNeedAnOwnerAreRegisteredAsClassesOnly) {
  const ClassTemplateEntry table[] = {Row(kNeedsOwner, true), Row(kNoSetup, true),
                                      Row(kPlain, false)};
  EXPECT_EQ(RegisterAllClasses(table, 3), S_OK);
  for (const GUID* clsid : {&kNeedsOwner, &kNoSetup, &kPlain}) {
    EXPECT_EQ(ReadValue(KeyOf(*clsid), nullptr).bytes, StringBytes("Row"));
    EXPECT_EQ(ReadValue(KeyOf(*clsid) + "\\InprocServer32", nullptr).bytes,
              StringBytes(TESSALY_MODULE_PATH));
  }
  EXPECT_EQ(UnregisterAllClasses(table, 3), S_OK);
  for (const GUID* clsid : {&kNeedsOwner, &kNoSetup, &kPlain}) {
    EXPECT_FALSE(KeyExists(KeyOf(*clsid)));
  }
}

TEST_F(ClassRegistrationTest, AnyOtherCreationFailureEndsRegistrationThere) {
  const ClassTemplateEntry table[] = {Row(kPlain, false), Row(kBroken, true),
                                      Row(kNeedsOwner, true)};
  EXPECT_EQ(RegisterAllClasses(table, 3), E_OUTOFMEMORY);
  EXPECT_TRUE(KeyExists(KeyOf(kPlain))) << "earlier rows stay registered";
  EXPECT_TRUE(KeyExists(KeyOf(kBroken))) << "its key was written before the object was made";
  EXPECT_FALSE(KeyExists(KeyOf(kNeedsOwner)));
}

TEST_F(ClassRegistrationTest, UnregistrationCreatesNoObjectAndWalksBackwardsToAKeyThatStays) {
  // Creating kBroken through COM would fail: unregistration must not try.
  const ClassTemplateEntry table[] = {Row(kPlain, false), Row(kBroken, true),
                                      Row(kNeedsOwner, true)};
  for (const GUID* clsid : {&kPlain, &kBroken, &kNeedsOwner}) {
    ASSERT_EQ(WriteClassKey(*clsid, WIDE("Row"), WIDE("/x"), WIDE("Both"), WIDE("InprocServer32")),
              S_OK);
  }
  CreateKey(KeyOf(kBroken) + "\\Stuck");
  platform::SetUnspellableKeyName("Stuck");
  EXPECT_TRUE(FAILED(UnregisterAllClasses(table, 3)));
  platform::SetUnspellableKeyName("");
  EXPECT_FALSE(KeyExists(KeyOf(kNeedsOwner)));
  EXPECT_TRUE(KeyExists(KeyOf(kBroken) + "\\Stuck"));
  EXPECT_TRUE(KeyExists(KeyOf(kPlain))) << "rows before the failing one are not reached";

  RemoveTree(HKEY_CLASSES_ROOT, KeyOf(kBroken));
  EXPECT_EQ(UnregisterAllClasses(table, 3), S_OK);
  EXPECT_FALSE(KeyExists(KeyOf(kPlain)));
}

TEST_F(ClassRegistrationTest, AnEmptyTableRegistersNothing) {
  const std::string before = platform::ExportRegistryText();
  EXPECT_EQ(RegisterAllClasses(nullptr, 0), S_OK);
  EXPECT_EQ(UnregisterAllClasses(nullptr, 0), S_OK);
  EXPECT_EQ(platform::ExportRegistryText(), before);
}

TEST_F(ClassRegistrationTest, WithoutTheModuleHandleNothingIsWritten) {
  // The system would otherwise name the host executable as the server.
  SetModuleInstance(nullptr);
  const ClassTemplateEntry table[] = {Row(kPlain, false)};
  EXPECT_EQ(RegisterAllClasses(table, 1), E_UNEXPECTED);
  EXPECT_FALSE(KeyExists(KeyOf(kPlain)));
}

}  // namespace
