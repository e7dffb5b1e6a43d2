#include <gtest/gtest.h>
#include <platform/Automation.h>
#include <platform/BuiltinModules.h>

#include <string>

#include <win/platform.h>

namespace {

typedef HRESULT (*LoadRegTypeLibFunction)(REFGUID, WORD, WORD, LCID, ITypeLib**);
typedef HRESULT (*LoadTypeLibFunction)(LPCOLESTR, ITypeLib**);

class TypeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ResetAutomationLibrary(); }
  void TearDown() override {
    platform::ResetAutomationLibrary();
    EXPECT_EQ(platform::LiveTypeLibraryCount(), 0);
  }
};

TEST_F(TypeLibraryTest, TheBuiltInModuleOffersTheLoaders) {
  HMODULE module = LoadLibraryA("oleaut32");
  ASSERT_NE(module, nullptr);
  auto loadRegistered = reinterpret_cast<LoadRegTypeLibFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "LoadRegTypeLib")));
  auto loadFile = reinterpret_cast<LoadTypeLibFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "LoadTypeLib")));
  ASSERT_NE(loadRegistered, nullptr);
  ASSERT_NE(loadFile, nullptr);
  EXPECT_NE(GetProcAddress(module, "SysFreeString"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "loadregtypelib"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  ITypeLib* library = nullptr;
  ASSERT_EQ(loadRegistered(LIBID_QuartzTypeLib, 1, 0, LOCALE_USER_DEFAULT, &library), S_OK);
  library->Release();
  ASSERT_EQ(loadFile(u"control.tlb", &library), S_OK);
  library->Release();
  EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(TypeLibraryTest, OnlyTheRegisteredVersionLoads) {
  ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
  EXPECT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 1, 0, &library), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(library, nullptr);
  EXPECT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 2, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(IID_IMediaPosition, 1, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, 0, nullptr), E_INVALIDARG);

  ASSERT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, 0x0409, &library), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_QuartzTypeLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  library->ReleaseTLibAttr(attributes);
  library->Release();
  EXPECT_EQ(platform::LoadRegTypeLibCallCount(), 5);
}

TEST_F(TypeLibraryTest, RegistrationAndFileDecideWhatLoads) {
  ITypeLib* library = nullptr;
  platform::UnregisterControlTypeLibrary();
  EXPECT_FALSE(platform::IsControlTypeLibraryRegistered());
  EXPECT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, 0, &library), TYPE_E_LIBNOTREGISTERED);
  ASSERT_EQ(LoadTypeLib(u"CONTROL.TLB", &library), S_OK);
  library->Release();
  ASSERT_EQ(LoadTypeLib(u"C:\\WINDOWS\\SYSTEM32\\control.tlb", &library), S_OK);
  library->Release();
  EXPECT_EQ(LoadTypeLib(u"quartz.tlb", &library), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(nullptr, &library), E_INVALIDARG);

  platform::RegisterControlTypeLibrary();
  platform::SetControlTypeLibraryFilePresent(false);
  // The registration points at the file, so neither way loads without it.
  EXPECT_EQ(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, 0, &library), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(u"control.tlb", &library), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(library, nullptr);
}

class LoadedLibraryTest : public TypeLibraryTest {
 protected:
  void SetUp() override {
    TypeLibraryTest::SetUp();
    ASSERT_EQ(LoadTypeLib(u"control.tlb", &m_library), S_OK);
  }
  void TearDown() override {
    m_library->Release();
    TypeLibraryTest::TearDown();
  }
  ITypeLib* m_library = nullptr;
};

TEST_F(LoadedLibraryTest, HoldsTheTypeInformationOfIMediaPosition) {
  EXPECT_EQ(m_library->GetTypeInfoCount(), 1u);
  TYPEKIND kind = TKIND_MAX;
  EXPECT_EQ(m_library->GetTypeInfoType(0, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_DISPATCH);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(m_library->GetTypeInfoOfGuid(IID_IMediaSeeking, &info), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(m_library->GetTypeInfo(1, &info), TYPE_E_ELEMENTNOTFOUND);
  ASSERT_EQ(m_library->GetTypeInfoOfGuid(IID_IMediaPosition, &info), S_OK);

  ITypeLib* containing = nullptr;
  UINT index = 7;
  ASSERT_EQ(info->GetContainingTypeLib(&containing, &index), S_OK);
  EXPECT_EQ(containing, m_library);
  EXPECT_EQ(index, 0u);
  containing->Release();

  BSTR name = nullptr;
  ASSERT_EQ(m_library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), u"QuartzTypeLib");
  SysFreeString(name);
  ASSERT_EQ(m_library->GetDocumentation(0, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), u"IMediaPosition");
  SysFreeString(name);
  info->Release();
}

TEST_F(LoadedLibraryTest, TypeInformationKeepsItsLibraryAlive) {
  ITypeInfo* info = nullptr;
  ASSERT_EQ(m_library->GetTypeInfo(0, &info), S_OK);
  m_library->AddRef();
  m_library->Release();
  EXPECT_EQ(platform::LiveTypeLibraryCount(), 1);
  ITypeLib* library = m_library;
  m_library = nullptr;
  library->Release();
  EXPECT_EQ(platform::LiveTypeLibraryCount(), 1);
  ASSERT_EQ(info->GetContainingTypeLib(&m_library, nullptr), S_OK);
  info->Release();
  EXPECT_EQ(platform::LiveTypeLibraryCount(), 1);
}

TEST_F(LoadedLibraryTest, NamesAreFoundWithoutRegardToCaseAndGetTheirStoredSpelling) {
  OLECHAR buffer[] = u"stoptime";
  BOOL found = FALSE;
  ASSERT_EQ(m_library->IsName(buffer, 0, &found), S_OK);
  EXPECT_TRUE(found);
  EXPECT_EQ(std::u16string(buffer), u"StopTime");

  OLECHAR unknown[] = u"Volume";
  ASSERT_EQ(m_library->IsName(unknown, 0, &found), S_OK);
  EXPECT_FALSE(found);

  OLECHAR rate[] = u"RATE";
  ITypeInfo* infos[2] = {};
  MEMBERID ids[2] = {};
  USHORT count = 2;
  ASSERT_EQ(m_library->FindName(rate, 0, infos, ids, &count), S_OK);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(ids[0], 0x60020004);
  EXPECT_EQ(std::u16string(rate), u"Rate");
  infos[0]->Release();

  count = 2;
  ASSERT_EQ(m_library->FindName(unknown, 0, infos, ids, &count), S_OK);
  EXPECT_EQ(count, 0);
}

}  // namespace
