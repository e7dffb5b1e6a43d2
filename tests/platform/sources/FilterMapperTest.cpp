// The filter mapper: registrations kept in the registry, found again by media
// type in merit order, in this process and in a later one.
#include <platform/Faults.h>

#include <string>
#include <vector>

#include "SourcesTestSupport.h"

namespace sources_test {
namespace {

constexpr GUID kOtherFilter = {
    0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
constexpr GUID kThirdFilter = {
    0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF1}};
const std::string kClassKey = "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}";

struct Found {
  GUID clsid;
  std::u16string name;
  bool operator==(const Found& other) const { return clsid == other.clsid && name == other.name; }
};

void PrintTo(const Found& found, std::ostream* out) {
  char text[64];
  std::snprintf(text, sizeof(text), "{%08X-...}", found.clsid.Data1);
  *out << text;
}

std::string ReadString(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "<no key>";
  }
  char data[512] = {};
  DWORD size = sizeof(data);
  LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(data) : "<no value>";
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// The class key a module writes for itself before it talks to the mapper.
void WriteClassKey() {
  HKEY key = nullptr;
  HKEY server = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, kClassKey.c_str(), &key));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(key, nullptr, REG_SZ, "Tessaly Parser", 14));
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "InprocServer32", &server));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(server, nullptr, REG_SZ, "/opt/tessaly.ax", 15));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(server, "ThreadingModel", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>("Both"), 5));
  RegCloseKey(server);
  RegCloseKey(key);
}

class FilterMapperTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    Create(CLSID_FilterMapper, IID_IFilterMapper, mapper);
  }
  void TearDown() override {
    mapper.Reset();
    ComTest::TearDown();
  }

  // The splitter module's own sequence of calls when it registers.
  void RegisterSplitter(IFilterMapper* with) {
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), with->UnregisterFilter(CLSID_CpkSplitter));
    ASSERT_EQ(S_OK, with->RegisterFilter(CLSID_CpkSplitter, u"Tessaly Parser", MERIT_UNLIKELY));
    ASSERT_EQ(S_OK, with->RegisterPin(CLSID_CpkSplitter, u"Input", FALSE, FALSE, FALSE, FALSE,
                                      CLSID_NULL, nullptr));
    ASSERT_EQ(S_OK, with->RegisterPinType(CLSID_CpkSplitter, u"Input", MEDIATYPE_Stream,
                                          MEDIASUBTYPE_CpkFilm));
    ASSERT_EQ(S_OK, with->RegisterPin(CLSID_CpkSplitter, u"Audio Output", FALSE, TRUE, TRUE, FALSE,
                                      CLSID_NULL, nullptr));
    ASSERT_EQ(S_OK, with->RegisterPinType(CLSID_CpkSplitter, u"Audio Output", MEDIATYPE_Audio,
                                          MEDIASUBTYPE_PCM));
    ASSERT_EQ(S_OK, with->RegisterPin(CLSID_CpkSplitter, u"Video Output", FALSE, TRUE, TRUE, FALSE,
                                      CLSID_NULL, nullptr));
    ASSERT_EQ(S_OK, with->RegisterPinType(CLSID_CpkSplitter, u"Video Output", MEDIATYPE_Video,
                                          MEDIASUBTYPE_NULL));
  }

  // A filter with one input and one output pin of the given types.
  void RegisterTransform(REFCLSID clsid, const char16_t* name, DWORD merit, REFGUID inMajor,
                         REFGUID inSub, REFGUID outMajor, REFGUID outSub, BOOL rendered = FALSE) {
    ASSERT_EQ(S_OK, mapper->RegisterFilter(clsid, name, merit));
    ASSERT_EQ(S_OK, mapper->RegisterPin(clsid, u"In", rendered, FALSE, FALSE, FALSE, CLSID_NULL,
                                        nullptr));
    ASSERT_EQ(S_OK, mapper->RegisterPinType(clsid, u"In", inMajor, inSub));
    ASSERT_EQ(S_OK,
              mapper->RegisterPin(clsid, u"Out", FALSE, TRUE, FALSE, FALSE, CLSID_NULL, nullptr));
    ASSERT_EQ(S_OK, mapper->RegisterPinType(clsid, u"Out", outMajor, outSub));
  }

  std::vector<Found> Match(DWORD merit, BOOL inputNeeded, REFGUID inMajor, REFGUID inSub,
                           BOOL render, BOOL outputNeeded, REFGUID outMajor, REFGUID outSub,
                           IFilterMapper* with = nullptr) {
    CComHolder<IEnumRegFilters> filters;
    std::vector<Found> found;
    HRESULT hr = (with ? with : mapper.Get())
                     ->EnumMatchingFilters(filters.ReleaseAndGetAddressOf(), merit, inputNeeded,
                                           inMajor, inSub, render, outputNeeded, outMajor, outSub);
    EXPECT_EQ(S_OK, hr);
    if (FAILED(hr)) return found;
    REGFILTER* record = nullptr;
    ULONG fetched = 0;
    while (filters->Next(1, &record, &fetched) == S_OK) {
      found.push_back({record->Clsid, record->Name});
      CoTaskMemFree(record);
    }
    return found;
  }
  std::vector<Found> MatchFilm(IFilterMapper* with = nullptr) {
    return Match(0, TRUE, MEDIATYPE_Stream, MEDIASUBTYPE_CpkFilm, FALSE, FALSE, GUID_NULL,
                 GUID_NULL, with);
  }

  CComHolder<IFilterMapper> mapper;
};

const Found kSplitter{CLSID_CpkSplitter, u"Tessaly Parser"};

TEST_F(FilterMapperTest, FindsTheSplitterForTheFilmByteStreamAndKeepsTheClassKey) {
  WriteClassKey();
  RegisterSplitter(mapper.Get());
  EXPECT_EQ(std::vector<Found>{kSplitter}, MatchFilm());
  EXPECT_EQ("Tessaly Parser", ReadString(kClassKey, ""));
  EXPECT_EQ("/opt/tessaly.ax", ReadString(kClassKey + "\\InprocServer32", ""));
  EXPECT_EQ("Both", ReadString(kClassKey + "\\InprocServer32", "ThreadingModel"));

  ASSERT_EQ(S_OK, mapper->UnregisterFilter(CLSID_CpkSplitter));
  EXPECT_EQ(std::vector<Found>{}, MatchFilm());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), mapper->UnregisterFilter(CLSID_CpkSplitter));
  EXPECT_EQ("Tessaly Parser", ReadString(kClassKey, ""));
  EXPECT_EQ("Both", ReadString(kClassKey + "\\InprocServer32", "ThreadingModel"));
  EXPECT_FALSE(KeyExists(kClassKey + "\\Pins"));
}

TEST_F(FilterMapperTest, RegisteringTwiceLeavesOneRegistration) {
  RegisterSplitter(mapper.Get());
  // The module's second pass: its own unregistration, then the same sequence.
  ASSERT_EQ(S_OK, mapper->UnregisterFilter(CLSID_CpkSplitter));
  RegisterSplitter(mapper.Get());
  EXPECT_EQ(std::vector<Found>{kSplitter}, MatchFilm());
  // A filter only the mapper knew leaves no class key behind.
  ASSERT_EQ(S_OK, mapper->UnregisterFilter(CLSID_CpkSplitter));
  EXPECT_FALSE(KeyExists(kClassKey));
}

TEST_F(FilterMapperTest, ALaterProcessFindsTheRegistrationInTheRegistryFile) {
  TempFolder folder;
  const std::string file = folder.File("registry.reg");
  std::string error;
  ASSERT_TRUE(platform::UseRegistryFile(file, &error)) << error;
  WriteClassKey();
  RegisterSplitter(mapper.Get());
  mapper.Reset();

  platform::ResetRegistry();
  ASSERT_TRUE(platform::UseRegistryFile(file, &error)) << error;
  CComHolder<IFilterMapper> later;
  Create(CLSID_FilterMapper, IID_IFilterMapper, later);
  EXPECT_EQ(std::vector<Found>{kSplitter}, MatchFilm(later.Get()));
  ASSERT_EQ(S_OK, later->UnregisterFilter(CLSID_CpkSplitter));

  platform::ResetRegistry();
  ASSERT_TRUE(platform::UseRegistryFile(file, &error)) << error;
  EXPECT_EQ(std::vector<Found>{}, MatchFilm(later.Get()));
  EXPECT_EQ("/opt/tessaly.ax", ReadString(kClassKey + "\\InprocServer32", ""));
}

TEST_F(FilterMapperTest, HigherMeritComesFirstAndTheMinimumMeritIsKept) {
  RegisterTransform(kOtherFilter, u"Normal", MERIT_NORMAL, MEDIATYPE_Stream, MEDIASUBTYPE_CpkFilm,
                    MEDIATYPE_Video, MEDIASUBTYPE_NULL);
  RegisterSplitter(mapper.Get());
  RegisterTransform(kThirdFilter, u"Preferred", MERIT_PREFERRED, MEDIATYPE_Stream, GUID_NULL,
                    MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
  const Found normal{kOtherFilter, u"Normal"};
  const Found preferred{kThirdFilter, u"Preferred"};
  EXPECT_EQ((std::vector<Found>{preferred, normal, kSplitter}), MatchFilm());
  EXPECT_EQ((std::vector<Found>{preferred, normal}),
            Match(MERIT_NORMAL, TRUE, MEDIATYPE_Stream, MEDIASUBTYPE_CpkFilm, FALSE, FALSE,
                  GUID_NULL, GUID_NULL));
  EXPECT_EQ(std::vector<Found>{}, Match(MERIT_PREFERRED + 1, FALSE, GUID_NULL, GUID_NULL, FALSE,
                                        FALSE, GUID_NULL, GUID_NULL));
}

TEST_F(FilterMapperTest, NullTypesMatchAnythingOnEitherSide) {
  RegisterSplitter(mapper.Get());
  // Any subtype of a byte stream, and a query that names no input type at all.
  EXPECT_EQ(std::vector<Found>{kSplitter},
            Match(0, TRUE, MEDIATYPE_Stream, GUID_NULL, FALSE, FALSE, GUID_NULL, GUID_NULL));
  EXPECT_EQ(std::vector<Found>{kSplitter},
            Match(0, TRUE, GUID_NULL, GUID_NULL, FALSE, FALSE, GUID_NULL, GUID_NULL));
  // The video output registered MEDIASUBTYPE_NULL, so it stands for every video subtype.
  const GUID cvid = {0x64697663, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  EXPECT_EQ(std::vector<Found>{kSplitter},
            Match(0, FALSE, GUID_NULL, GUID_NULL, FALSE, TRUE, MEDIATYPE_Video, cvid));
  EXPECT_EQ(std::vector<Found>{kSplitter}, Match(0, TRUE, MEDIATYPE_Stream, MEDIASUBTYPE_CpkFilm,
                                                 FALSE, TRUE, MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
  EXPECT_EQ(std::vector<Found>{},
            Match(0, TRUE, MEDIATYPE_Stream, MEDIASUBTYPE_PCM, FALSE, FALSE, GUID_NULL, GUID_NULL));
  EXPECT_EQ(std::vector<Found>{},
            Match(0, FALSE, GUID_NULL, GUID_NULL, FALSE, TRUE, MEDIATYPE_Audio, cvid));
  EXPECT_EQ(std::vector<Found>{},
            Match(0, TRUE, MEDIATYPE_Audio, GUID_NULL, FALSE, FALSE, GUID_NULL, GUID_NULL));
}

TEST_F(FilterMapperTest, NeededPinsRenderingAndPinlessSides) {
  RegisterSplitter(mapper.Get());
  // A renderer: one rendered input, no output.
  ASSERT_EQ(S_OK, mapper->RegisterFilter(kOtherFilter, u"Renderer", MERIT_NORMAL));
  ASSERT_EQ(S_OK, mapper->RegisterPin(kOtherFilter, u"In", TRUE, FALSE, FALSE, FALSE, CLSID_NULL,
                                      nullptr));
  ASSERT_EQ(S_OK, mapper->RegisterPinType(kOtherFilter, u"In", MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
  const Found renderer{kOtherFilter, u"Renderer"};

  EXPECT_EQ(std::vector<Found>{renderer},
            Match(0, TRUE, MEDIATYPE_Audio, MEDIASUBTYPE_PCM, TRUE, FALSE, GUID_NULL, GUID_NULL));
  // Only the renderer lacks outputs; asking for one leaves it out.
  EXPECT_EQ(std::vector<Found>{kSplitter},
            Match(0, FALSE, GUID_NULL, GUID_NULL, FALSE, TRUE, GUID_NULL, GUID_NULL));
  // The splitter's input is not rendered.
  EXPECT_EQ(std::vector<Found>{},
            Match(0, TRUE, MEDIATYPE_Stream, GUID_NULL, TRUE, FALSE, GUID_NULL, GUID_NULL));
  // A filter with no pins at all only turns up when no side is needed.
  ASSERT_EQ(S_OK, mapper->RegisterFilter(kThirdFilter, u"Bare", MERIT_DO_NOT_USE));
  EXPECT_EQ((std::vector<Found>{renderer, kSplitter, Found{kThirdFilter, u"Bare"}}),
            Match(0, FALSE, GUID_NULL, GUID_NULL, FALSE, FALSE, GUID_NULL, GUID_NULL));
  EXPECT_EQ((std::vector<Found>{renderer, kSplitter}),
            Match(0, TRUE, GUID_NULL, GUID_NULL, FALSE, FALSE, GUID_NULL, GUID_NULL));
}

TEST_F(FilterMapperTest, PinsNeedARegisteredFilterAndUsableNames) {
  const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(notFound, mapper->RegisterPin(kOtherFilter, u"In", FALSE, FALSE, FALSE, FALSE,
                                          CLSID_NULL, nullptr));
  ASSERT_EQ(S_OK, mapper->RegisterFilter(kOtherFilter, u"Other", MERIT_NORMAL));
  EXPECT_EQ(notFound, mapper->RegisterPinType(kOtherFilter, u"In", MEDIATYPE_Audio, GUID_NULL));
  EXPECT_EQ(E_INVALIDARG, mapper->RegisterPin(kOtherFilter, u"In\\Out", FALSE, FALSE, FALSE, FALSE,
                                              CLSID_NULL, nullptr));
  EXPECT_EQ(E_INVALIDARG, mapper->RegisterPin(kOtherFilter, u"", FALSE, FALSE, FALSE, FALSE,
                                              CLSID_NULL, nullptr));
  EXPECT_EQ(E_POINTER, mapper->RegisterPin(kOtherFilter, nullptr, FALSE, FALSE, FALSE, FALSE,
                                           CLSID_NULL, nullptr));
  EXPECT_EQ(E_POINTER, mapper->RegisterFilter(kThirdFilter, nullptr, MERIT_NORMAL));
  EXPECT_EQ(notFound, mapper->UnregisterPin(kOtherFilter, u"In"));
  EXPECT_EQ(notFound, mapper->UnregisterFilter(kThirdFilter));
}

TEST_F(FilterMapperTest, UnregisteringAPinTakesItsTypesWithIt) {
  RegisterSplitter(mapper.Get());
  ASSERT_EQ(S_OK, mapper->UnregisterPin(CLSID_CpkSplitter, u"Input"));
  EXPECT_EQ(std::vector<Found>{}, MatchFilm());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
            mapper->UnregisterPin(CLSID_CpkSplitter, u"Input"));
  EXPECT_EQ(std::vector<Found>{kSplitter},
            Match(0, FALSE, GUID_NULL, GUID_NULL, FALSE, TRUE, MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
}

TEST_F(FilterMapperTest, FilterInstancesComeAndGoByTheirOwnIdentifier) {
  CLSID first{}, second{};
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
            mapper->RegisterFilterInstance(kOtherFilter, u"One", &first));
  ASSERT_EQ(S_OK, mapper->RegisterFilter(kOtherFilter, u"Other", MERIT_NORMAL));
  ASSERT_EQ(S_OK, mapper->RegisterFilterInstance(kOtherFilter, u"One", &first));
  ASSERT_EQ(S_OK, mapper->RegisterFilterInstance(kOtherFilter, u"Two", &second));
  EXPECT_NE(first, second);
  EXPECT_EQ(S_OK, mapper->UnregisterFilterInstance(first));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), mapper->UnregisterFilterInstance(first));
  // The filter's own unregistration takes its remaining instances along.
  ASSERT_EQ(S_OK, mapper->UnregisterFilter(kOtherFilter));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), mapper->UnregisterFilterInstance(second));
}

TEST_F(FilterMapperTest, EnumeratorHandsOutBlocksInBatchesAndClones) {
  RegisterSplitter(mapper.Get());
  RegisterTransform(kOtherFilter, u"Other", MERIT_NORMAL, MEDIATYPE_Stream, GUID_NULL,
                    MEDIATYPE_Video, GUID_NULL);
  CComHolder<IEnumRegFilters> filters;
  ASSERT_EQ(S_OK, mapper->EnumMatchingFilters(filters.ReleaseAndGetAddressOf(), 0, FALSE, GUID_NULL,
                                              GUID_NULL, FALSE, FALSE, GUID_NULL, GUID_NULL));
  REGFILTER* records[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(E_INVALIDARG, filters->Next(3, records, nullptr));

  // A failed block allocation hands out nothing and moves nothing.
  platform::FailNthAllocation(platform::AllocationKind::TaskMemory, 2);
  EXPECT_EQ(E_OUTOFMEMORY, filters->Next(3, records, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(nullptr, records[0]);
  platform::ResetAllocationFaults();

  ASSERT_EQ(S_OK, filters->Skip(1));
  CComHolder<IEnumRegFilters> clone;
  ASSERT_EQ(S_OK, filters->Clone(clone.ReleaseAndGetAddressOf()));
  EXPECT_EQ(S_FALSE, filters->Next(3, records, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_EQ(kSplitter, (Found{records[0]->Clsid, records[0]->Name}));
  CoTaskMemFree(records[0]);
  EXPECT_EQ(S_FALSE, filters->Skip(1));

  ASSERT_EQ(S_OK, clone->Next(1, records, nullptr));
  EXPECT_EQ(CLSID_CpkSplitter, records[0]->Clsid);
  CoTaskMemFree(records[0]);
  ASSERT_EQ(S_OK, clone->Reset());
  ASSERT_EQ(S_OK, clone->Next(2, records, &fetched));
  EXPECT_EQ(kOtherFilter, records[0]->Clsid);
  EXPECT_EQ(CLSID_CpkSplitter, records[1]->Clsid);
  CoTaskMemFree(records[0]);
  CoTaskMemFree(records[1]);
  EXPECT_EQ(E_POINTER, mapper->EnumMatchingFilters(nullptr, 0, FALSE, GUID_NULL, GUID_NULL, FALSE,
                                                   FALSE, GUID_NULL, GUID_NULL));
}

}  // namespace
}  // namespace sources_test
