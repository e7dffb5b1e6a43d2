#include <gtest/gtest.h>
#include <platform/Automation.h>
#include <platform/BuiltinModules.h>

#include <thread>
#include <vector>

#include "com/CountingUnknown.h"
#include "position/CCpkSplitterPos.h"
#include "position/PositionFakes.h"

namespace {

constexpr char kAutomation[] = "OleAut32.dll";
constexpr DISPID kDurationId = 0x60020000;
constexpr DISPID kCurrentPositionId = 0x60020001;
constexpr DISPID kPrerollTimeId = 0x60020003;
constexpr DISPID kCanSeekForwardId = 0x60020005;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ResetAutomationLibrary();
    ASSERT_EQ(CTrackedObject::LiveObjectCount(), 0);
    ASSERT_FALSE(platform::IsModuleLoaded(kAutomation));
    HRESULT hr = S_OK;
    m_movie.duration = 25000000;
    m_object = new CCpkSplitterPos(&m_filter, &hr, &m_inputPin, m_movie);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(
        m_object->InnerQueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&m_position)),
        S_OK);
  }
  void TearDown() override {
    m_position->Release();
    delete m_object;
    platform::RegisterBuiltinModule(kAutomation, &platform::AutomationProcedure);
    platform::ResetAutomationLibrary();
    // The last object of the module took the automation library with it.
    EXPECT_EQ(CTrackedObject::LiveObjectCount(), 0);
    EXPECT_FALSE(platform::IsModuleLoaded(kAutomation));
    EXPECT_EQ(platform::LiveTypeLibraryCount(), 0);
    EXPECT_EQ(m_filter.references, 0);
  }

  HRESULT IdOf(const char16_t* text, DISPID* id) {
    std::u16string name(text);
    LPOLESTR names[] = {name.data()};
    return m_position->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  }

  HRESULT Call(DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result,
               UINT* argError = nullptr, EXCEPINFO* exception = nullptr, bool namedPut = false) {
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args, namedPut ? &putId : nullptr, argCount, namedPut ? 1u : 0u};
    return m_position->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception,
                              argError);
  }

  static VARIANT Double(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
  }

  CountingUnknown m_filter;
  ForwardingPin m_inputPin;
  FakeMovieSeeking m_movie;
  CCpkSplitterPos* m_object = nullptr;
  IMediaPosition* m_position = nullptr;
};

TEST_F(DispatchTest, AnAutomationClientReadsTheDuration) {
  DISPID id = 0;
  ASSERT_EQ(IdOf(u"Duration", &id), S_OK);
  EXPECT_EQ(id, kDurationId);
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(Call(id, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  EXPECT_EQ(result.vt, VT_R8);
  EXPECT_EQ(result.dblVal, 2.5);
  // Scripting clients ask for a method or a property at once.
  ASSERT_EQ(Call(id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  EXPECT_EQ(result.dblVal, 2.5);
}

TEST_F(DispatchTest, NamesMatchWithoutRegardToCase) {
  DISPID id = 0;
  EXPECT_EQ(IdOf(u"DURATION", &id), S_OK);
  EXPECT_EQ(id, kDurationId);
  EXPECT_EQ(IdOf(u"currentposition", &id), S_OK);
  EXPECT_EQ(id, kCurrentPositionId);
  EXPECT_EQ(IdOf(u"canSeekForward", &id), S_OK);
  EXPECT_EQ(id, kCanSeekForwardId);
  EXPECT_EQ(IdOf(u"Volume", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, MEMBERID_NIL);
  EXPECT_EQ(IdOf(u"Duration ", &id), DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchTest, PuttingTheCurrentPositionSeeksTheMovie) {
  VARIANT arg = Double(42.5);
  EXPECT_EQ(
      Call(kCurrentPositionId, DISPATCH_PROPERTYPUT, &arg, 1, nullptr, nullptr, nullptr, true),
      S_OK);
  EXPECT_EQ(m_movie.lastCaller, CMovieSeeking::kPositionCaller);
  EXPECT_EQ(m_movie.segmentStart, 425000000);

  // A whole number is coerced to the REFTIME the property takes.
  arg.vt = VT_I4;
  arg.lVal = 3;
  EXPECT_EQ(Call(kCurrentPositionId, DISPATCH_PROPERTYPUT, &arg, 1, nullptr), S_OK);
  EXPECT_EQ(m_movie.segmentStart, 30000000);
}

TEST_F(DispatchTest, ArgumentOfTheWrongTypeIsAMismatch) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_UNKNOWN;
  arg.punkVal = &m_filter;
  UINT argError = 99;
  EXPECT_EQ(Call(kCurrentPositionId, DISPATCH_PROPERTYPUT, &arg, 1, nullptr, &argError),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 0u);

  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(u"soon");
  EXPECT_EQ(Call(kCurrentPositionId, DISPATCH_PROPERTYPUT, &arg, 1, nullptr), DISP_E_TYPEMISMATCH);
  VariantClear(&arg);
  EXPECT_EQ(m_movie.lastCaller, -1);
}

TEST_F(DispatchTest, WrongArgumentCountIsRefused) {
  VARIANT args[2] = {Double(1.0), Double(2.0)};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(kDurationId, DISPATCH_PROPERTYGET, args, 1, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(kCurrentPositionId, DISPATCH_PROPERTYPUT, args, 0, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(kCurrentPositionId, DISPATCH_PROPERTYPUT, args, 2, nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST_F(DispatchTest, UnknownMembersAndKindsAreNotFound) {
  VARIANT arg = Double(1.0);
  EXPECT_EQ(Call(0x60020042, DISPATCH_PROPERTYGET, nullptr, 0, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(DISPID_VALUE, DISPATCH_METHOD, nullptr, 0, nullptr), DISP_E_MEMBERNOTFOUND);
  // Duration is read-only, and CanSeekForward is a method, not a property to set.
  EXPECT_EQ(Call(kDurationId, DISPATCH_PROPERTYPUT, &arg, 1, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(kCanSeekForwardId, DISPATCH_PROPERTYPUT, &arg, 1, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTest, MethodsReturnTheirLongAsI4) {
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(Call(kCanSeekForwardId, DISPATCH_METHOD, nullptr, 0, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, OATRUE);
}

TEST_F(DispatchTest, AFailingMemberIsReportedAsAnException) {
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception = {};
  // Without an upstream to forward to, the preroll time is not known.
  EXPECT_EQ(Call(kPrerollTimeId, DISPATCH_PROPERTYGET, nullptr, 0, &result, nullptr, &exception),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, E_NOTIMPL);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST_F(DispatchTest, OnlyTheDefaultInterfaceIdIsAccepted) {
  DISPPARAMS params = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(m_position->Invoke(kDurationId, IID_IMediaPosition, LOCALE_USER_DEFAULT,
                               DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_FALSE(platform::IsModuleLoaded(kAutomation));
}

TEST_F(DispatchTest, OneTypeInformationWithOneIndex) {
  UINT count = 0;
  EXPECT_EQ(m_position->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(m_position->GetTypeInfoCount(nullptr), E_POINTER);

  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(m_position->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
  // Nobody has asked for type information yet, so nothing was loaded.
  EXPECT_FALSE(platform::IsModuleLoaded(kAutomation));

  ITypeInfo* first = nullptr;
  ITypeInfo* second = nullptr;
  ASSERT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &first), S_OK);
  ASSERT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &second), S_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(platform::LoadRegTypeLibCallCount(), 1);
  EXPECT_EQ(platform::LoadTypeLibCallCount(), 0);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(first->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IMediaPosition));
  first->ReleaseTypeAttr(attributes);
  first->Release();
  second->Release();
}

TEST_F(DispatchTest, UnregisteredLibraryFallsBackToTheFile) {
  platform::UnregisterControlTypeLibrary();
  DISPID id = 0;
  ASSERT_EQ(IdOf(u"duration", &id), S_OK);
  EXPECT_EQ(id, kDurationId);
  EXPECT_EQ(platform::LoadRegTypeLibCallCount(), 1);
  EXPECT_EQ(platform::LoadTypeLibCallCount(), 1);
}

TEST_F(DispatchTest, WhenBothLoadsFailTheFileResultIsReturnedAndRetried) {
  platform::UnregisterControlTypeLibrary();
  platform::SetControlTypeLibraryFilePresent(false);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(info, nullptr);
  DISPID id = 0;
  EXPECT_EQ(IdOf(u"Duration", &id), TYPE_E_CANTLOADLIBRARY);
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(kDurationId, DISPATCH_PROPERTYGET, nullptr, 0, &result), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(platform::LoadTypeLibCallCount(), 3);

  // Nothing was cached, so the next call tries again.
  platform::SetControlTypeLibraryFilePresent(true);
  ASSERT_EQ(Call(kDurationId, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  EXPECT_EQ(result.dblVal, 2.5);
}

FARPROC NoProcedures(const char*) { return nullptr; }

FARPROC OnlyRegisteredLoads(const char* name) {
  return std::string(name) == "LoadRegTypeLib" ? platform::AutomationProcedure(name) : nullptr;
}

TEST_F(DispatchTest, MissingLoaderProceduresAreWin32Errors) {
  platform::RegisterBuiltinModule(kAutomation, &NoProcedures);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info),
            HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));

  platform::RegisterBuiltinModule(kAutomation, &OnlyRegisteredLoads);
  platform::UnregisterControlTypeLibrary();
  EXPECT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info),
            HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(platform::LoadRegTypeLibCallCount(), 1);

  platform::RegisterControlTypeLibrary();
  ASSERT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
  info->Release();
}

TEST_F(DispatchTest, TheAutomationLibraryStaysWhileAnyObjectLives) {
  ITypeInfo* info = nullptr;
  ASSERT_EQ(m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
  EXPECT_EQ(platform::ModuleReferenceCount(kAutomation), 1);

  HRESULT hr = S_OK;
  auto* other = new CCpkSplitterPos(&m_filter, &hr, &m_inputPin, m_movie);
  ITypeInfo* otherInfo = nullptr;
  ASSERT_EQ(other->GetTypeInfo(0, LOCALE_USER_DEFAULT, &otherInfo), S_OK);
  // Loaded once per module, but the type library once per object.
  EXPECT_EQ(platform::ModuleReferenceCount(kAutomation), 1);
  EXPECT_EQ(platform::LoadRegTypeLibCallCount(), 2);
  delete other;
  EXPECT_TRUE(platform::IsModuleLoaded(kAutomation));

  // A client's type information keeps its library alive past its object.
  EXPECT_EQ(platform::LiveTypeLibraryCount(), 2);
  BSTR name = nullptr;
  ASSERT_EQ(otherInfo->GetDocumentation(kDurationId, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), u"Duration");
  SysFreeString(name);
  otherInfo->Release();
  EXPECT_EQ(platform::LiveTypeLibraryCount(), 1);
  info->Release();
}

TEST_F(DispatchTest, ConcurrentFirstUsersShareOneTypeInformation) {
  // The module's library handle has no lock of its own; load it before the race.
  ASSERT_NE(LoadAutomationLibrary(), nullptr);
  constexpr int kThreads = 4;
  std::vector<ITypeInfo*> infos(kThreads, nullptr);
  std::vector<HRESULT> results(kThreads, E_FAIL);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back(
        [&, i] { results[i] = m_position->GetTypeInfo(0, LOCALE_USER_DEFAULT, &infos[i]); });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_EQ(results[i], S_OK);
    EXPECT_EQ(infos[i], infos[0]);
    infos[i]->Release();
  }
  // Whoever lost the race gave back what it had loaded.
  EXPECT_EQ(platform::LiveTypeLibraryCount(), 1);
}

}  // namespace
