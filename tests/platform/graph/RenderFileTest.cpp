// File rendering the platform's way: check bytes choose the source filter, the
// filter mapper chooses the filter for its output, and sinks from the host's
// factory end every stream. Fake source and splitter classes stand in for the
// registered ones, served as built-in classes so that no module is loaded.
#include <platform/BuiltinClasses.h>
#include <platform/GraphEvents.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GraphTestSupport.h"

namespace graph_test {
namespace {

constexpr GUID kSourceClass = {
    0x5A0E9C11, 0x2B7D, 0x4C3A, {0x8E, 0x61, 0x0D, 0x2F, 0x94, 0xB7, 0x13, 0x01}};
constexpr GUID kSplitterClass = {
    0x5A0E9C12, 0x2B7D, 0x4C3A, {0x8E, 0x61, 0x0D, 0x2F, 0x94, 0xB7, 0x13, 0x02}};
constexpr GUID kFileSubtype = {
    0x5A0E9C13, 0x2B7D, 0x4C3A, {0x8E, 0x61, 0x0D, 0x2F, 0x94, 0xB7, 0x13, 0x03}};
constexpr char kTypeKey[] =
    "Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}\\{5A0E9C13-2B7D-4C3A-8E61-0D2F94B71303}";
constexpr char kSourceClassText[] = "{5A0E9C11-2B7D-4C3A-8E61-0D2F94B71301}";

// What the built-in fake classes share with the test that registered them.
std::shared_ptr<CallLog> g_classLog;
HRESULT g_splitterRefusal = S_OK;

template <FakeFilter::Role role>
HRESULT CreateFake(IUnknown* outer, REFIID riid, void** ppv) {
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  FakeFilter* filter =
      FakeFilter::New(role == FakeFilter::Role::Source ? "source" : "splitter", g_classLog, role);
  if (role == FakeFilter::Role::Splitter) {
    filter->classId = kSplitterClass;
    filter->inputRefusal = g_splitterRefusal;
    filter->AddPin(PINDIR_INPUT, u"Input", {{MEDIATYPE_Stream, kFileSubtype}});
  } else {
    filter->classId = kSourceClass;
  }
  HRESULT hr = filter->QueryInterface(riid, ppv);
  filter->Release();
  return hr;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class RenderFileTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    g_classLog = log;
    g_splitterRefusal = S_OK;
    platform::RegisterBuiltinClass(kSourceClass, &CreateFake<FakeFilter::Role::Source>);
    platform::RegisterBuiltinClass(kSplitterClass, &CreateFake<FakeFilter::Role::Splitter>);
    RegisterCheckBytes("0,4,,46494C4D,16,4,,46445343", kSourceClassText);
    RegisterSplitter();
    dir = std::filesystem::temp_directory_path() /
          ("tessaly-graph-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    film = WriteFile("movie.cpk",
                     "FILM\0\0\0\x30"
                     "1.09\0\0\0\0FDSC\0\0\0\x20");
  }
  void TearDown() override {
    GraphTest::TearDown();
    platform::UnregisterBuiltinClass(kSourceClass);
    platform::UnregisterBuiltinClass(kSplitterClass);
    g_classLog.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  template <size_t N>
  std::u16string WriteFile(const std::string& name, const char (&bytes)[N]) {
    return WriteBytes(name, std::string_view(bytes, N - 1));
  }
  std::u16string WriteBytes(const std::string& name, std::string_view bytes) {
    std::filesystem::path path = dir / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
    return Wide(path.string());
  }

  static void RegisterCheckBytes(const char* value, const char* sourceFilter) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, kTypeKey, &key));
    RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), strlen(value) + 1);
    if (sourceFilter) {
      RegSetValueExA(key, "Source Filter", 0, REG_SZ, reinterpret_cast<const BYTE*>(sourceFilter),
                     strlen(sourceFilter) + 1);
    }
    RegCloseKey(key);
  }

  static void RegisterSplitter() {
    CComHolder<IFilterMapper> mapper;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IFilterMapper, mapper.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, mapper->RegisterFilter(kSplitterClass, u"Fake Splitter", MERIT_UNLIKELY));
    ASSERT_EQ(S_OK, mapper->RegisterPin(kSplitterClass, u"Input", FALSE, FALSE, FALSE, FALSE,
                                        CLSID_NULL, nullptr));
    ASSERT_EQ(S_OK,
              mapper->RegisterPinType(kSplitterClass, u"Input", MEDIATYPE_Stream, kFileSubtype));
  }

  static void UnregisterSplitter() {
    CComHolder<IFilterMapper> mapper;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IFilterMapper, mapper.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, mapper->UnregisterFilter(kSplitterClass));
  }

  // Plugs in a factory that makes one sink per offered pin, unless the pin's
  // name is in `declined`.
  void UseSinks(std::vector<std::u16string> declined = {}) {
    auto* factory = new platform::CallbackSinkFactory(
        [this, declined](IPin* pin, const AM_MEDIA_TYPE* type, IBaseFilter** sink) -> HRESULT {
          PIN_INFO info{};
          pin->QueryPinInfo(&info);
          info.pFilter->Release();
          std::u16string name(info.achName);
          offered.push_back(name);
          offeredTypes.push_back(type ? TypePair{type->majortype, type->subtype} : TypePair{});
          if (std::find(declined.begin(), declined.end(), name) != declined.end()) return S_FALSE;
          FakeFilter* made = Make(std::string(name.begin(), name.end()) + " sink");
          made->AddPin(PINDIR_INPUT, u"In");
          sinks.push_back(made);
          made->AddRef();
          *sink = made;
          return S_OK;
        });
    CComHolder<platform::IGraphRendering> rendering;
    ASSERT_EQ(S_OK, builder->QueryInterface(platform::IID_IGraphRendering,
                                            rendering.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, rendering->SetRenderSinkFactory(factory));
  }

  size_t FilterCount() {
    CComHolder<IEnumFilters> all;
    EXPECT_EQ(S_OK, builder->EnumFilters(all.ReleaseAndGetAddressOf()));
    size_t count = 0;
    IBaseFilter* filter = nullptr;
    while (all->Next(1, &filter, nullptr) == S_OK) {
      filter->Release();
      ++count;
    }
    return count;
  }

  FakeFilter* Find(const std::u16string& name) {
    CComHolder<IBaseFilter> filter;
    if (builder->FindFilterByName(name.c_str(), filter.ReleaseAndGetAddressOf()) != S_OK)
      return nullptr;
    return static_cast<FakeFilter*>(filter.Get());
  }

  std::filesystem::path dir;
  std::u16string film;
  std::vector<std::u16string> offered;
  std::vector<TypePair> offeredTypes;
  std::vector<FakeFilter*> sinks;  // not counted: Make keeps them
};

TEST_F(RenderFileTest, SourceSplitterAndOneSinkPerOutput) {
  UseSinks();
  ASSERT_EQ(S_OK, builder->RenderFile(film.c_str(), nullptr));
  EXPECT_EQ(4u, FilterCount());

  FakeFilter* source = Find(film);
  ASSERT_NE(nullptr, source) << "the source is named after its file";
  EXPECT_EQ(film, source->loadedFile);
  EXPECT_EQ(MEDIATYPE_Stream, source->loadedType.major);
  EXPECT_EQ(kFileSubtype, source->loadedType.subtype);

  FakeFilter* splitter = Find(u"Fake Splitter");
  ASSERT_NE(nullptr, splitter) << "the splitter is named as the mapper knows it";
  ASSERT_EQ(3u, splitter->PinCount());
  EXPECT_NE(nullptr, splitter->PinAt(0)->Peer());

  EXPECT_EQ((std::vector<std::u16string>{u"Audio", u"Video"}), offered);
  EXPECT_EQ(MEDIATYPE_Audio, offeredTypes.at(0).major);
  EXPECT_EQ(MEDIASUBTYPE_PCM, offeredTypes.at(0).subtype);
  ASSERT_EQ(2u, sinks.size());
  EXPECT_EQ(static_cast<IPin*>(sinks[0]->PinAt(0)), splitter->PinAt(1)->Peer());
  EXPECT_EQ(static_cast<IPin*>(sinks[1]->PinAt(0)), splitter->PinAt(2)->Peer());
  EXPECT_NE(nullptr, Find(u"Audio Sink"));

  // The built graph plays: sinks change state first and their completion ends the wait.
  ASSERT_EQ(S_OK, control->Run());
  std::vector<std::string> paused = log->Take("Pause");
  ASSERT_EQ(4u, paused.size());
  EXPECT_EQ("source", paused.back());
  sinks[0]->Signal(EC_COMPLETE, S_OK);
  sinks[1]->Signal(EC_COMPLETE, S_OK);
  LONG code = 0;
  EXPECT_EQ(S_OK, events->WaitForCompletion(0, &code));
  EXPECT_EQ(EC_COMPLETE, code);
}

TEST_F(RenderFileTest, WithoutASinkFactoryOutputsStayOpenAndTheRenderIsPartial) {
  EXPECT_EQ(VFW_S_PARTIAL_RENDER, builder->RenderFile(film.c_str(), nullptr));
  EXPECT_EQ(2u, FilterCount());
  FakeFilter* splitter = Find(u"Fake Splitter");
  ASSERT_NE(nullptr, splitter);
  EXPECT_EQ(nullptr, splitter->PinAt(1)->Peer());
  EXPECT_EQ(nullptr, splitter->PinAt(2)->Peer());
}

TEST_F(RenderFileTest, ADeclinedPinMakesThePartialRender) {
  UseSinks({u"Video"});
  EXPECT_EQ(VFW_S_PARTIAL_RENDER, builder->RenderFile(film.c_str(), nullptr));
  EXPECT_EQ(3u, FilterCount());
  EXPECT_EQ(1u, sinks.size());
}

TEST_F(RenderFileTest, AMissingFileIsFileNotFoundAndLeavesTheGraphEmpty) {
  UseSinks();
  std::u16string missing = Wide((dir / "absent.cpk").string());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
            builder->RenderFile(missing.c_str(), nullptr));
  std::u16string noFolder = Wide((dir / "absent" / "x.cpk").string());
  EXPECT_TRUE(FAILED(builder->RenderFile(noFolder.c_str(), nullptr)));
  EXPECT_EQ(0u, FilterCount());
}

TEST_F(RenderFileTest, UnrecognisedBytesAreUnknownFileType) {
  UseSinks();
  std::u16string riff = WriteFile("movie.avi", "RIFF\0\0\0\0AVI LIST\0\0\0\0FDSC");
  EXPECT_EQ(VFW_E_UNKNOWN_FILE_TYPE, builder->RenderFile(riff.c_str(), nullptr));
  std::u16string empty = WriteFile("empty.cpk", "");
  EXPECT_EQ(VFW_E_UNKNOWN_FILE_TYPE, builder->RenderFile(empty.c_str(), nullptr));
  EXPECT_EQ(0u, FilterCount());
}

TEST_F(RenderFileTest, AnyValueOfASubtypeMaySelectIt) {
  // A first value that fails and a malformed one do not stop a later match.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT, kTypeKey, &key));
  const char riff[] = "0,4,,52494646";
  const char broken[] = "0,4,,5249";
  RegSetValueExA(key, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(riff), sizeof(riff));
  RegSetValueExA(key, "1", 0, REG_SZ, reinterpret_cast<const BYTE*>(broken), sizeof(broken));
  RegCloseKey(key);
  std::u16string avi = WriteFile("movie.avi", "RIFF\0\0\0\0AVI ");
  GUID subtype{};
  CLSID source{};
  EXPECT_EQ(S_OK, platform::DetectFileType(avi.c_str(), &subtype, &source));
  EXPECT_EQ(kFileSubtype, subtype);
  EXPECT_EQ(kSourceClass, source);
  EXPECT_EQ(VFW_E_UNKNOWN_FILE_TYPE, platform::DetectFileType(film.c_str(), &subtype, &source));
}

TEST_F(RenderFileTest, ATypeWithoutSourceFilterIsReadByTheAsyncReader) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kTypeKey, 0, KEY_ALL_ACCESS, &key));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "Source Filter"));
  RegCloseKey(key);
  GUID subtype{};
  CLSID source{};
  EXPECT_EQ(S_OK, platform::DetectFileType(film.c_str(), &subtype, &source));
  EXPECT_EQ(CLSID_AsyncReader, source);
}

TEST_F(RenderFileTest, ASourceFilterThatCannotBeMadeIsCannotLoadSourceFilter) {
  UseSinks();
  RegisterCheckBytes("0,4,,46494C4D", "not a class");
  EXPECT_EQ(VFW_E_CANNOT_LOAD_SOURCE_FILTER, builder->RenderFile(film.c_str(), nullptr));
  RegisterCheckBytes("0,4,,46494C4D", "{5A0E9C1F-2B7D-4C3A-8E61-0D2F94B71301}");
  EXPECT_EQ(VFW_E_CANNOT_LOAD_SOURCE_FILTER, builder->RenderFile(film.c_str(), nullptr));
  // The splitter class exists but reads no files.
  RegisterCheckBytes("0,4,,46494C4D", "{5A0E9C12-2B7D-4C3A-8E61-0D2F94B71302}");
  EXPECT_EQ(VFW_E_CANNOT_LOAD_SOURCE_FILTER, builder->RenderFile(film.c_str(), nullptr));
  EXPECT_EQ(0u, FilterCount());
}

TEST_F(RenderFileTest, NoRegisteredFilterForTheStreamIsCannotRenderAndUndoesTheSource) {
  UseSinks({u"Output"});
  UnregisterSplitter();
  EXPECT_EQ(VFW_E_CANNOT_RENDER, builder->RenderFile(film.c_str(), nullptr));
  EXPECT_EQ(0u, FilterCount());
  EXPECT_EQ(std::vector<std::u16string>{u"Output"}, offered) << "the sink factory had its say";
}

TEST_F(RenderFileTest, ASplitterThatRefusesTheFileGivesItsOwnReason) {
  UseSinks({u"Output"});
  g_splitterRefusal = VFW_E_INVALIDMEDIATYPE;
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, builder->RenderFile(film.c_str(), nullptr));
  EXPECT_EQ(0u, FilterCount());
}

TEST_F(RenderFileTest, RenderingNeedsAStoppedGraphAndAFileName) {
  EXPECT_EQ(E_POINTER, builder->RenderFile(nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG, builder->RenderFile(film.c_str(), u"list"));
  Add("alone");
  ASSERT_EQ(S_OK, control->Pause());
  EXPECT_EQ(VFW_E_NOT_STOPPED, builder->RenderFile(film.c_str(), nullptr));
  ASSERT_EQ(S_OK, control->Stop());
}

TEST_F(RenderFileTest, AddSourceFilterLoadsTheFileUnderTheGivenName) {
  CComHolder<IBaseFilter> source;
  ASSERT_EQ(S_OK, builder->AddSourceFilter(film.c_str(), u"Clip", source.ReleaseAndGetAddressOf()));
  EXPECT_EQ(static_cast<IBaseFilter*>(Find(u"Clip")), source.Get());
  EXPECT_EQ(film, static_cast<FakeFilter*>(source.Get())->loadedFile);
  EXPECT_EQ(E_POINTER, builder->AddSourceFilter(film.c_str(), nullptr, nullptr));

  // Render takes it from here, through the mapper, the same way.
  UseSinks();
  FakeFilter* fake = static_cast<FakeFilter*>(source.Get());
  EXPECT_EQ(S_OK, builder->Render(fake->PinAt(0)));
  EXPECT_EQ(4u, FilterCount());
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, builder->Render(fake->PinAt(0)));
}

TEST_F(RenderFileTest, ConnectGoesThroughARegisteredFilterWhenPinsDoNotMeet) {
  CComHolder<IBaseFilter> source;
  ASSERT_EQ(S_OK, builder->AddSourceFilter(film.c_str(), nullptr, source.ReleaseAndGetAddressOf()));
  FakeFilter* sink = Add("pcm sink");
  FakePin* in = sink->AddPin(PINDIR_INPUT, u"In", {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}});
  FakeFilter* fake = static_cast<FakeFilter*>(source.Get());
  EXPECT_EQ(S_OK, builder->Connect(fake->PinAt(0), in));
  FakeFilter* splitter = Find(u"Fake Splitter");
  ASSERT_NE(nullptr, splitter);
  EXPECT_EQ(static_cast<IPin*>(in), splitter->PinAt(1)->Peer());

  // Nothing registered turns audio into video: the pins stay apart.
  FakeFilter* other = Add("video sink");
  FakePin* videoIn = other->AddPin(PINDIR_INPUT, u"In", {{MEDIATYPE_Video, MEDIASUBTYPE_NULL}});
  FakeFilter* tone = Add("tone");
  FakePin* toneOut = tone->AddPin(PINDIR_OUTPUT, u"Out", {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}});
  EXPECT_TRUE(FAILED(builder->Connect(toneOut, videoIn)));
  EXPECT_EQ(nullptr, videoIn->Peer());
}

TEST_F(RenderFileTest, TheSinkFactoryIsReleasedWithTheGraph) {
  bool released = false;
  struct Flag {
    bool* released = nullptr;
    ~Flag() {
      if (released) *released = true;
    }
  };
  auto flag = std::make_shared<Flag>();
  flag->released = &released;
  auto* factory = new platform::CallbackSinkFactory(
      [flag](IPin*, const AM_MEDIA_TYPE*, IBaseFilter**) -> HRESULT { return S_FALSE; });
  CComHolder<platform::IGraphRendering> rendering;
  ASSERT_EQ(S_OK, builder->QueryInterface(platform::IID_IGraphRendering,
                                          rendering.ReleaseAndGetVoidAddressOf()));
  ASSERT_EQ(S_OK, rendering->SetRenderSinkFactory(factory));
  flag.reset();
  EXPECT_FALSE(released);
  rendering.Reset();
  control.Reset();
  events.Reset();
  builder.Reset();
  EXPECT_TRUE(released);
}

}  // namespace
}  // namespace graph_test
