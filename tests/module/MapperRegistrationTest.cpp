#include <gtest/gtest.h>
#include <platform/BuiltinClasses.h>
#include <platform/Registry.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ModuleTestSupport.h"
#include "Platform.h"
#include "module/FilterMapperRegistration.h"
#include "module/SetupData.h"
#include "splitter/SplitterIdentifiers.h"

namespace {

std::string Narrow(const WCHAR* text) {
  std::string narrow;
  for (; text != nullptr && *text != 0; ++text) narrow.push_back(static_cast<char>(*text));
  return narrow;
}

std::string Name(const GUID& guid) {
  if (IsEqualGUID(guid, CLSID_CpkSplitter)) return "CpkSplitter";
  if (IsEqualGUID(guid, MEDIATYPE_Stream)) return "Stream";
  if (IsEqualGUID(guid, MEDIASUBTYPE_CpkFilm)) return "CpkFilm";
  if (IsEqualGUID(guid, MEDIATYPE_Audio)) return "Audio";
  if (IsEqualGUID(guid, MEDIASUBTYPE_PCM)) return "PCM";
  if (IsEqualGUID(guid, MEDIATYPE_Video)) return "Video";
  if (IsEqualGUID(guid, GUID_NULL)) return "NULL";
  return "other";
}

// Writes down every mapper call; one call can be made to fail.
class RecordingMapper final : public IFilterMapper {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP RegisterFilter(CLSID clsid, LPCWSTR name, DWORD merit) override {
    char text[16];
    std::snprintf(text, sizeof(text), "%06X", static_cast<unsigned>(merit));
    return Record("RegisterFilter " + Name(clsid) + " " + Narrow(name) + " " + text);
  }
  STDMETHODIMP RegisterFilterInstance(CLSID, LPCWSTR, CLSID*) override {
    return Record("RegisterFilterInstance");
  }
  STDMETHODIMP RegisterPin(CLSID filter, LPCWSTR name, BOOL rendered, BOOL output, BOOL zero,
                           BOOL many, CLSID connectsToFilter, LPCWSTR connectsToPin) override {
    return Record("RegisterPin " + Name(filter) + " " + Narrow(name) + " " +
                  std::to_string(rendered) + std::to_string(output) + std::to_string(zero) +
                  std::to_string(many) + " " + Name(connectsToFilter) + " " +
                  (connectsToPin == nullptr ? "none" : Narrow(connectsToPin)));
  }
  STDMETHODIMP RegisterPinType(CLSID filter, LPCWSTR name, CLSID major, CLSID subtype) override {
    return Record("RegisterPinType " + Name(filter) + " " + Narrow(name) + " " + Name(major) + "/" +
                  Name(subtype));
  }
  STDMETHODIMP UnregisterFilter(CLSID filter) override {
    return Record("UnregisterFilter " + Name(filter));
  }
  STDMETHODIMP UnregisterFilterInstance(CLSID) override {
    return Record("UnregisterFilterInstance");
  }
  STDMETHODIMP UnregisterPin(CLSID, LPCWSTR) override { return Record("UnregisterPin"); }
  STDMETHODIMP EnumMatchingFilters(IEnumRegFilters** out, DWORD, BOOL, CLSID, CLSID, BOOL, BOOL,
                                   CLSID, CLSID) override {
    *out = nullptr;
    return Record("EnumMatchingFilters");
  }

  std::vector<std::string> calls;
  size_t failingCall = SIZE_MAX;  // index into calls
  HRESULT failure = E_FAIL;

 private:
  HRESULT Record(const std::string& call) {
    calls.push_back(call);
    return calls.size() - 1 == failingCall ? failure : S_OK;
  }
};

const std::vector<std::string> kRegistration = {
    "UnregisterFilter CpkSplitter",
    "RegisterFilter CpkSplitter Tessaly Parser 400000",
    "RegisterPin CpkSplitter Input 0000 NULL none",
    "RegisterPinType CpkSplitter Input Stream/CpkFilm",
    "RegisterPin CpkSplitter Audio Output 0110 NULL none",
    "RegisterPinType CpkSplitter Audio Output Audio/PCM",
    "RegisterPin CpkSplitter Video Output 0110 NULL none",
    "RegisterPinType CpkSplitter Video Output Video/NULL",
};

TEST(MapperRegistrationTest, RegistersTheFilterThenEachPinWithItsTypeInOrder) {
  RecordingMapper mapper;
  EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), &mapper, TRUE), S_OK);
  EXPECT_EQ(mapper.calls, kRegistration);
}

TEST(MapperRegistrationTest, UnregisteringIsOneCall) {
  RecordingMapper mapper;
  EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), &mapper, FALSE), S_OK);
  EXPECT_EQ(mapper.calls, std::vector<std::string>{"UnregisterFilter CpkSplitter"});
}

TEST(MapperRegistrationTest, AFilterTheMapperDoesNotKnowCountsAsUnregistered) {
  RecordingMapper mapper;
  mapper.failingCall = 0;
  mapper.failure = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), &mapper, FALSE), S_OK);

  mapper.calls.clear();
  mapper.failure = E_ACCESSDENIED;
  EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), &mapper, FALSE), E_ACCESSDENIED);

  mapper.calls.clear();
  EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), &mapper, TRUE), S_OK)
      << "registering replaces whatever the unregistration said";
  EXPECT_EQ(mapper.calls, kRegistration);
}

TEST(MapperRegistrationTest, TheFirstFailingCallEndsRegistrationWithItsResult) {
  for (size_t failing = 1; failing < kRegistration.size(); ++failing) {
    RecordingMapper mapper;
    mapper.failingCall = failing;
    EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), &mapper, TRUE), E_FAIL) << failing;
    EXPECT_EQ(mapper.calls,
              std::vector<std::string>(kRegistration.begin(), kRegistration.begin() + failing + 1));
  }
}

TEST(MapperRegistrationTest, WithoutSetupDataNothingIsAskedOfAnyMapper) {
  RecordingMapper mapper;
  EXPECT_EQ(RegisterWithMapper(nullptr, &mapper, TRUE), S_FALSE);
  EXPECT_TRUE(mapper.calls.empty());
  EXPECT_EQ(RegisterWithMapper(CpkSplitterSetupData(), nullptr, TRUE), E_POINTER);

  // No COM on this thread: a filter without setup data must not need it.
  EXPECT_EQ(RegisterFilterSetup(nullptr), S_FALSE);
  EXPECT_EQ(UnregisterFilterSetup(nullptr), S_FALSE);
}

class FilterSetupTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::UseMemoryRegistry(); }
  void TearDown() override { platform::UseMemoryRegistry(); }
};

// The filter's IAMovieSetup work brings its own COM initialisation: this
// thread has none.
TEST_F(FilterSetupTest, EntersAndRemovesTheFilterInThePlatformsMapper) {
  EXPECT_EQ(RegisterFilterSetup(CpkSplitterSetupData()), S_OK);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(moduletest::FiltersForFilmStreams().size(), 1u);

  EXPECT_EQ(UnregisterFilterSetup(CpkSplitterSetupData()), S_OK);
  EXPECT_TRUE(moduletest::FiltersForFilmStreams().empty());
  EXPECT_EQ(UnregisterFilterSetup(CpkSplitterSetupData()), S_OK) << "already gone";
  CoUninitialize();
}

HRESULT MissingMapper(IUnknown*, REFIID, void** ppv) {
  *ppv = nullptr;
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

TEST_F(FilterSetupTest, AMapperThatCannotBeFoundHoldsNothingToRemove) {
  const platform::BuiltinClassFactory mapper = platform::FindBuiltinClass(CLSID_FilterMapper);
  ASSERT_NE(mapper, nullptr);
  platform::RegisterBuiltinClass(CLSID_FilterMapper, &MissingMapper);
  const HRESULT unregistered = UnregisterFilterSetup(CpkSplitterSetupData());
  const HRESULT registered = RegisterFilterSetup(CpkSplitterSetupData());
  platform::RegisterBuiltinClass(CLSID_FilterMapper, mapper);
  EXPECT_EQ(unregistered, S_OK);
  EXPECT_EQ(registered, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(FilterSetupTest, AMapperThatCannotStoreTheEntryFailsRegistration) {
  char directory[] = "/tmp/tessaly-module-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  ASSERT_TRUE(platform::UseRegistryFile(std::string(directory) + "/classes.reg"));
  ASSERT_EQ(rmdir(directory), 0);
  EXPECT_TRUE(FAILED(RegisterFilterSetup(CpkSplitterSetupData())));
}

}  // namespace
