#include <gtest/gtest.h>

#include <thread>

#include <cstring>

#include <platform/Faults.h>

#include "SplitterTestKit.h"
#include "com/CMediaTypeRecord.h"
#include "splitter/CCpkSplitterOutputPin.h"
#include "splitter/SplitterIdentifiers.h"

using filmwriter::FilmFormat;
using filmwriter::FilmWriter;

namespace {

class SplitterConnectionTest : public SplitterGraphTest {
 protected:
  // The one media type a splitter output offers, through its enumerator.
  CMediaTypeRecord OfferedType(const WCHAR* pinName) {
    CMediaTypeRecord type;
    CComHolder<IPin> pin = SplitterPin(pinName);
    EXPECT_TRUE(pin);
    if (!pin) {
      return type;
    }
    CComHolder<IEnumMediaTypes> types;
    EXPECT_EQ(pin->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
    AM_MEDIA_TYPE* first = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(1, &first, &fetched), S_OK);
    if (first != nullptr) {
      type = *first;
      DeleteMediaTypeCopy(first);
    }
    AM_MEDIA_TYPE* second = nullptr;
    EXPECT_EQ(types->Next(1, &second, &fetched), S_FALSE);
    EXPECT_EQ(second, nullptr);
    return type;
  }

  bool InputConnected() {
    CComHolder<IPin> input = SplitterPin(WIDE("Input"));
    CComHolder<IPin> peer;
    return input->ConnectedTo(peer.ReleaseAndGetAddressOf()) == S_OK;
  }
};

std::basic_string<WCHAR> Name(const WCHAR* text) { return std::basic_string<WCHAR>(text); }

FilmWriter AudioOnlyMovie() {
  FilmWriter writer;
  writer.AddAudio(Pattern(100, 1));
  return writer;
}

FilmWriter VideoOnlyMovie() {
  FilmFormat format;
  format.channels = 0;
  FilmWriter writer(format);
  writer.AddVideo(Pattern(100, 1), 40);
  // An audio row in a file without audio channels belongs to no output.
  writer.AddStoredRow(0xFFFFFFFFu, 0, Pattern(50, 2));
  writer.AddVideo(Pattern(120, 3), 40);
  return writer;
}

}  // namespace

TEST_F(SplitterConnectionTest, ANewFilterHasOnlyItsInputPin) {
  EXPECT_EQ(m_filter->PinCount(), 1);
  ASSERT_NE(m_filter->PinAt(0), nullptr);
  EXPECT_EQ(Name(m_filter->PinAt(0)->PinName()), Name(WIDE("Input")));
  EXPECT_EQ(m_filter->PinAt(1), nullptr);
  EXPECT_EQ(m_filter->PinAt(-1), nullptr);
  CLSID classId = GUID_NULL;
  EXPECT_EQ(m_splitter->GetClassID(&classId), S_OK);
  EXPECT_TRUE(IsEqualGUID(classId, CLSID_CpkSplitter));
}

TEST_F(SplitterConnectionTest, TheInputAcceptsTheFilmSubtypeUnderAnyMajorType) {
  CComHolder<IPin> input = SplitterPin(WIDE("Input"));
  AM_MEDIA_TYPE type = {};
  type.subtype = MEDIASUBTYPE_CpkFilm;
  for (const GUID* major : {&MEDIATYPE_Stream, &MEDIATYPE_Video, &GUID_NULL}) {
    type.majortype = *major;
    EXPECT_EQ(input->QueryAccept(&type), S_OK);
  }
  type.subtype = MEDIASUBTYPE_PCM;
  EXPECT_EQ(input->QueryAccept(&type), S_FALSE);
  CComHolder<IEnumMediaTypes> types;
  ASSERT_EQ(input->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
  AM_MEDIA_TYPE* offered = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(1, &offered, &fetched), S_FALSE);
}

TEST_F(SplitterConnectionTest, PositionIsAnsweredFromTheStartAndSeekingByTheOutputs) {
  // One interface set for the filter's whole life; IDispatch is the dual
  // IMediaPosition's.
  CComHolder<IUnknown> position;
  EXPECT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
            S_OK);
  CComHolder<IUnknown> dispatch;
  EXPECT_EQ(m_splitter->QueryInterface(IID_IDispatch, dispatch.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(dispatch.Get(), position.Get());
  ASSERT_EQ(Load(SmallMovie()), S_OK);
  CComHolder<IUnknown> after;
  EXPECT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, after.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(after.Get(), position.Get());
  CComHolder<IUnknown> seeking;
  EXPECT_EQ(m_splitter->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddressOf()),
            E_NOINTERFACE);
  for (const WCHAR* name : {WIDE("Input"), WIDE("Audio"), WIDE("Video")}) {
    CComHolder<IPin> pin = SplitterPin(name);
    ASSERT_TRUE(pin);
    CComHolder<IUnknown> answer;
    // The outputs are what a renderer's pass-through asks upstream of it.
    EXPECT_EQ(pin->QueryInterface(IID_IMediaSeeking, answer.ReleaseAndGetVoidAddressOf()),
              name[0] == 'I' ? E_NOINTERFACE : S_OK);
    EXPECT_EQ(pin->QueryInterface(IID_IMediaPosition, answer.ReleaseAndGetVoidAddressOf()),
              E_NOINTERFACE);
  }
}

TEST_F(SplitterConnectionTest, ThePositionObjectSpeaksForTheFilterAndKnowsTheDuration) {
  FilmFormat format;
  format.timeBase = 600;
  FilmWriter writer(format);
  writer.AddVideo(Pattern(100, 1), 900);
  writer.AddVideo(Pattern(100, 2), 600);  // ends at tick 1,500
  ASSERT_EQ(Load(writer), S_OK);
  m_splitter->AddRef();
  const ULONG before = m_splitter->Release();
  CComHolder<IMediaPosition> position;
  ASSERT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
            S_OK);
  m_splitter->AddRef();
  EXPECT_EQ(m_splitter->Release(), before + 1);
  REFTIME duration = 0;
  EXPECT_EQ(position->get_Duration(&duration), S_OK);
  EXPECT_DOUBLE_EQ(duration, 2.5);
  // Its identity is the filter's.
  CComHolder<IBaseFilter> back;
  EXPECT_EQ(position->QueryInterface(IID_IBaseFilter, back.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(back.Get(), m_splitter.Get());
}

// The last frame's start and length sum past 32 bits: 2^31 − 1 + 2^32 − 1
// ticks, at one tick a second.
TEST_F(SplitterConnectionTest, ADurationPastThirtyTwoBitsOfTicksDoesNotWrap) {
  FilmFormat format;
  format.timeBase = 1;
  FilmWriter writer(format);
  writer.AddVideo(Pattern(100, 1), 0xFFFFFFFFu, true, 0x7FFFFFFFu);
  ASSERT_EQ(Load(writer), S_OK);
  CComHolder<IMediaPosition> position;
  ASSERT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
            S_OK);
  REFTIME duration = 0;
  EXPECT_EQ(position->get_Duration(&duration), S_OK);
  EXPECT_DOUBLE_EQ(duration, 6442450942.0);
  CComHolder<IMediaSeeking> seeking;
  ASSERT_EQ(SplitterPin(WIDE("Video"))
                ->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddressOf()),
            S_OK);
  LONGLONG units = 0;
  EXPECT_EQ(seeking->GetDuration(&units), S_OK);
  EXPECT_EQ(units, 64424509420000000LL);
}

TEST_F(SplitterConnectionTest, AMovieWithBothStreamsOffersAudioThenVideo) {
  ASSERT_EQ(Load(SmallMovie()), S_OK);
  EXPECT_TRUE(InputConnected());
  std::vector<std::basic_string<WCHAR>> expected = {Name(WIDE("Input")), Name(WIDE("Audio")),
                                                    Name(WIDE("Video"))};
  EXPECT_EQ(PinNames(), expected);
  EXPECT_EQ(m_filter->PinAt(3), nullptr);
}

TEST_F(SplitterConnectionTest, AudioOnlyAndVideoOnlyMoviesOfferOneOutput) {
  ASSERT_EQ(Load(AudioOnlyMovie()), S_OK);
  EXPECT_EQ(PinNames(),
            (std::vector<std::basic_string<WCHAR>>{Name(WIDE("Input")), Name(WIDE("Audio"))}));
  TearDown();
  SetUp();
  ASSERT_EQ(Load(VideoOnlyMovie()), S_OK);
  EXPECT_EQ(m_filter->PinCount(), 2);
  EXPECT_EQ(Name(m_filter->PinAt(1)->PinName()), Name(WIDE("Video")));
}

TEST_F(SplitterConnectionTest, TheAudioTypeDescribesPcmFromTheHeader) {
  FilmFormat format;
  format.channels = 1;
  format.bitsPerSample = 8;
  format.sampleRate = 11025;
  FilmWriter writer(format);
  writer.AddAudio(Pattern(10, 1));
  ASSERT_EQ(Load(writer), S_OK);
  CMediaTypeRecord type = OfferedType(WIDE("Audio"));
  EXPECT_TRUE(IsEqualGUID(type.majortype, MEDIATYPE_Audio));
  EXPECT_TRUE(IsEqualGUID(type.subtype, MEDIASUBTYPE_PCM));
  EXPECT_TRUE(IsEqualGUID(type.formattype, FORMAT_WaveFormatEx));
  EXPECT_FALSE(type.bFixedSizeSamples);
  EXPECT_FALSE(type.bTemporalCompression);
  EXPECT_EQ(type.lSampleSize, 65536u);
  ASSERT_EQ(type.cbFormat, sizeof(WAVEFORMATEX));
  WAVEFORMATEX wave;
  std::memcpy(&wave, type.pbFormat, sizeof(wave));
  EXPECT_EQ(wave.wFormatTag, 1);
  EXPECT_EQ(wave.nChannels, 1);
  EXPECT_EQ(wave.nSamplesPerSec, 11025u);
  EXPECT_EQ(wave.nAvgBytesPerSec, 11025u);
  EXPECT_EQ(wave.nBlockAlign, 1);
  EXPECT_EQ(wave.wBitsPerSample, 8);
  EXPECT_EQ(wave.cbSize, 0);
}

TEST_F(SplitterConnectionTest, TheVideoTypeDescribesCinepakWithFixedFrameTiming) {
  FilmFormat format;
  format.width = 320;
  format.height = 240;
  format.timeBase = 15;
  FilmWriter writer(format);
  writer.AddVideo(Pattern(100, 1), 1);
  ASSERT_EQ(Load(writer), S_OK);
  CMediaTypeRecord type = OfferedType(WIDE("Video"));
  const GUID cvid = {0x64697663, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  EXPECT_TRUE(IsEqualGUID(type.majortype, MEDIATYPE_Video));
  EXPECT_TRUE(IsEqualGUID(type.subtype, cvid));
  EXPECT_TRUE(IsEqualGUID(type.formattype, FORMAT_VideoInfo));
  EXPECT_TRUE(type.bFixedSizeSamples);
  EXPECT_EQ(type.lSampleSize, 1u);
  ASSERT_EQ(type.cbFormat, sizeof(VIDEOINFOHEADER));
  VIDEOINFOHEADER video;
  std::memcpy(&video, type.pbFormat, sizeof(video));
  EXPECT_EQ(video.AvgTimePerFrame, 200000);
  EXPECT_EQ(video.dwBitRate, 2000u);
  EXPECT_EQ(video.bmiHeader.biWidth, 320);
  EXPECT_EQ(video.bmiHeader.biHeight, 240);
  EXPECT_EQ(video.rcSource.right, 320);
  EXPECT_EQ(video.rcTarget.bottom, 240);
}

TEST_F(SplitterConnectionTest, OutputsAcceptOnlyTheirOfferedTypeUpToSampleSizeFields) {
  ASSERT_EQ(Load(SmallMovie()), S_OK);
  CMediaTypeRecord offered = OfferedType(WIDE("Audio"));
  CComHolder<IPin> audio = SplitterPin(WIDE("Audio"));
  EXPECT_EQ(audio->QueryAccept(&offered), S_OK);
  CMediaTypeRecord relaxed = offered;
  relaxed.lSampleSize = 4;
  relaxed.bFixedSizeSamples = TRUE;
  relaxed.bTemporalCompression = TRUE;
  EXPECT_EQ(audio->QueryAccept(&relaxed), S_OK);
  CMediaTypeRecord changed = offered;
  changed.pbFormat[sizeof(WAVEFORMATEX) - 1] ^= 1;
  EXPECT_EQ(audio->QueryAccept(&changed), S_FALSE);
  CComHolder<IPin> video = SplitterPin(WIDE("Video"));
  EXPECT_EQ(video->QueryAccept(&offered), S_FALSE);

  CCpkSplitterOutputPin* pin = static_cast<CCpkSplitterOutputPin*>(m_filter->PinAt(1));
  CMediaTypeRecord out;
  EXPECT_EQ(pin->OfferedMediaType(0, &out), S_OK);
  EXPECT_TRUE(out == offered);
  EXPECT_EQ(pin->OfferedMediaType(1, &out), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(pin->OfferedMediaType(-1, &out), VFW_S_NO_MORE_ITEMS);

  // A connection proposing another type is refused.
  auto* sink = new RecordingSinkFilter();
  m_sinks.emplace_back(static_cast<IBaseFilter*>(sink));
  EXPECT_EQ(video->Connect(static_cast<IPin*>(sink->Input()), &offered), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST_F(SplitterConnectionTest, EveryOutputConnectionRunsOnOneLargeBuffer) {
  ASSERT_EQ(Load(SmallMovie()), S_OK);
  RecordingSinkFilter* sink = new RecordingSinkFilter();
  m_sinks.emplace_back(static_cast<IBaseFilter*>(sink));
  sink->Input()->requirements = ALLOCATOR_PROPERTIES{4, 1024, 16, 8};
  CComHolder<IPin> video = SplitterPin(WIDE("Video"));
  ASSERT_EQ(video->Connect(static_cast<IPin*>(sink->Input()), nullptr), S_OK);
  ALLOCATOR_PROPERTIES granted = {};
  ASSERT_NE(sink->Input()->Allocator(), nullptr);
  ASSERT_EQ(sink->Input()->Allocator()->GetProperties(&granted), S_OK);
  EXPECT_EQ(granted.cBuffers, 1);
  EXPECT_EQ(granted.cbBuffer, 262144);
  EXPECT_EQ(granted.cbAlign, 1);
  EXPECT_EQ(granted.cbPrefix, 2);  // room for the two bytes each frame drops
}

TEST_F(SplitterConnectionTest, AnUpstreamWithoutAsyncReaderIsRefusedBeforeAnyRead) {
  m_source = new MemoryAsyncSource(SmallMovie().Build());
  m_source->SetSubtype(MEDIASUBTYPE_CpkFilm);
  m_source->OfferAsyncReader(false);
  CComHolder<IPin> input = SplitterPin(WIDE("Input"));
  EXPECT_EQ(m_source->OutputPin()->Connect(input.Get(), nullptr), E_NOINTERFACE);
  EXPECT_EQ(m_source->ReadCount(), 0u);
  EXPECT_FALSE(InputConnected());
  EXPECT_EQ(m_filter->PinCount(), 1);
}

TEST_F(SplitterConnectionTest, UnacceptableOrUnreadableFilesLeaveTheInputUnconnected) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    GUID subtype;
    HRESULT expected;
  };
  FilmFormat silent;
  silent.channels = 0;
  FilmWriter neither(silent);
  neither.AddStoredRow(0xFFFFFFFFu, 0, Pattern(20, 1));
  FilmWriter noTable = SmallMovie();
  noTable.Layout().dataOffset = 48;
  std::vector<Case> cases = {
      {"another subtype", SmallMovie().Build(), MEDIASUBTYPE_PCM, VFW_E_TYPE_NOT_ACCEPTED},
      {"neither stream", neither.Build(), MEDIASUBTYPE_CpkFilm, VFW_E_TYPE_NOT_ACCEPTED},
      {"no table region", noTable.Build(), MEDIASUBTYPE_CpkFilm, E_FAIL},
      {"shorter than a header", Pattern(20, 2), MEDIASUBTYPE_CpkFilm, E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    m_source = new MemoryAsyncSource(c.file);
    m_source->SetSubtype(c.subtype);
    m_source->SetPastEnd(MemoryAsyncSource::PastEnd::Fail);
    CComHolder<IPin> input = SplitterPin(WIDE("Input"));
    EXPECT_EQ(m_source->OutputPin()->Connect(input.Get(), nullptr), c.expected);
    EXPECT_FALSE(InputConnected());
    EXPECT_EQ(m_filter->PinCount(), 1);
    // The interface set stays what it was; only the connection is refused.
    CComHolder<IUnknown> position;
    EXPECT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
              S_OK);
    // Paused and stopped without a connection: nothing streams, nothing fails.
    EXPECT_EQ(m_splitter->Pause(), S_OK);
    EXPECT_EQ(m_splitter->Stop(), S_OK);
    EXPECT_EQ(m_splitter->Stop(), S_OK);
  }
}

TEST_F(SplitterConnectionTest, DisconnectingTheInputKeepsTheOutputs) {
  ASSERT_EQ(Load(SmallMovie()), S_OK);
  CComHolder<IPin> input = SplitterPin(WIDE("Input"));
  EXPECT_EQ(input->Disconnect(), S_OK);
  EXPECT_EQ(m_source->OutputPin()->Disconnect(), S_OK);
  EXPECT_EQ(m_filter->PinCount(), 3);
  EXPECT_EQ(input->Disconnect(), S_FALSE);
}

TEST_F(SplitterConnectionTest, ASecondFileWaitsUntilTheOldOutputsAreDisconnected) {
  LoadAndConnectAll(SmallMovie());
  CComHolder<IPin> oldAudio = SplitterPin(WIDE("Audio"));
  CComHolder<IPin> input = SplitterPin(WIDE("Input"));
  ASSERT_EQ(input->Disconnect(), S_OK);
  ASSERT_EQ(m_source->OutputPin()->Disconnect(), S_OK);

  CComHolder<MemoryAsyncSource> second = new MemoryAsyncSource(VideoOnlyMovie().Build());
  second->SetSubtype(MEDIASUBTYPE_CpkFilm);
  EXPECT_EQ(second->OutputPin()->Connect(input.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_FALSE(InputConnected());
  EXPECT_EQ(SplitterPin(WIDE("Audio")).Get(), oldAudio.Get());

  // Once nothing hangs on the old outputs, the new file replaces them.
  for (const WCHAR* name : {WIDE("Audio"), WIDE("Video")}) {
    CComHolder<IPin> pin = SplitterPin(name);
    CComHolder<IPin> peer;
    ASSERT_EQ(pin->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
    peer->Disconnect();
    pin->Disconnect();
  }
  ASSERT_EQ(second->OutputPin()->Connect(input.Get(), nullptr), S_OK);
  EXPECT_EQ(PinNames(),
            (std::vector<std::basic_string<WCHAR>>{Name(WIDE("Input")), Name(WIDE("Video"))}));
  EXPECT_FALSE(SplitterPin(WIDE("Audio")));
  CComHolder<IMediaPosition> position;
  ASSERT_EQ(m_splitter->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()),
            S_OK);
  REFTIME duration = 0;
  EXPECT_EQ(position->get_Duration(&duration), S_OK);
  // The second file's two frames, 80 ticks at 600 a second in 100-ns units.
  EXPECT_EQ(duration, 1333333 / 1e7);
  // The retired pin a caller still holds stays a valid object.
  PIN_INFO info = {};
  ASSERT_EQ(oldAudio->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(Name(info.achName), Name(WIDE("Audio")));
  info.pFilter->Release();

  // And the new output streams the new file.
  m_sinks.clear();
  m_audioSink = nullptr;
  ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  PauseGraph();
  ASSERT_TRUE(m_videoSink->Input()->WaitForEndOfStream(1));
  ExpectDelivered(VideoOnlyMovie().Expect());
  StopGraph();

  // A third file takes the retired pins back instead of piling up new ones.
  CComHolder<IPin> video = SplitterPin(WIDE("Video"));
  CComHolder<IPin> peer;
  ASSERT_EQ(video->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
  peer->Disconnect();
  video->Disconnect();
  EXPECT_EQ(input->Disconnect(), S_OK);
  EXPECT_EQ(second->OutputPin()->Disconnect(), S_OK);
  CComHolder<MemoryAsyncSource> third = new MemoryAsyncSource(SmallMovie().Build());
  third->SetSubtype(MEDIASUBTYPE_CpkFilm);
  ASSERT_EQ(third->OutputPin()->Connect(input.Get(), nullptr), S_OK);
  EXPECT_EQ(SplitterPin(WIDE("Audio")).Get(), oldAudio.Get());
  EXPECT_EQ(SplitterPin(WIDE("Video")).Get(), video.Get());
  CComHolder<IEnumMediaTypes> types;
  ASSERT_EQ(oldAudio->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
  AM_MEDIA_TYPE* type = nullptr;
  ASSERT_EQ(types->Next(1, &type, nullptr), S_OK);
  EXPECT_TRUE(IsEqualGUID(type->majortype, MEDIATYPE_Audio));
  DeleteMediaTypeCopy(type);
  EXPECT_EQ(types->Next(1, &type, nullptr), S_FALSE) << "one type, not the old one as well";
  EXPECT_EQ(input->Disconnect(), S_OK);
  EXPECT_EQ(third->OutputPin()->Disconnect(), S_OK);
}

TEST_F(SplitterConnectionTest, CreationReportsEveryAllocationThatFails) {
  LONG live = CTrackedObject::LiveObjectCount();
  platform::ResetAllocationFaults();
  HRESULT result = S_OK;
  delete CreateCpkSplitterFilter(nullptr, &result);
  ASSERT_EQ(result, S_OK);
  const int64_t allocations = platform::AllocationCount(platform::AllocationKind::HeapObject);
  int reported = 0;
  for (int64_t n = 1; n <= allocations; ++n) {
    SCOPED_TRACE(n);
    result = S_OK;
    platform::FailNthAllocation(platform::AllocationKind::HeapObject, n);
    CInnerUnknown* object = CreateCpkSplitterFilter(nullptr, &result);
    platform::ResetAllocationFaults();
    if (n == 1) {
      EXPECT_EQ(object, nullptr);
      continue;
    }
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(result == S_OK || result == E_OUTOFMEMORY);
    reported += result == E_OUTOFMEMORY ? 1 : 0;
    delete object;
  }
  // The staging buffer and the input pin at least.
  EXPECT_GE(reported, 2);
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), live);
}

TEST_F(SplitterConnectionTest, AnOutputWhoseFormatCannotBeCopiedIsNotOffered) {
  platform::ResetAllocationFaults();
  ASSERT_EQ(Load(SmallMovie()), S_OK);
  const int64_t allocations = platform::AllocationCount(platform::AllocationKind::TaskMemory);
  for (int64_t n = 1; n <= allocations; ++n) {
    SCOPED_TRACE(n);
    TearDown();
    SetUp();
    platform::FailNthAllocation(platform::AllocationKind::TaskMemory, n);
    Load(SmallMovie());
    platform::ResetAllocationFaults();
    for (int index = 1; index < m_filter->PinCount(); ++index) {
      CMediaTypeRecord type;
      ASSERT_EQ(m_filter->PinAt(index)->OfferedMediaType(0, &type), S_OK);
      EXPECT_NE(type.cbFormat, 0u);
    }
  }
}

TEST_F(SplitterConnectionTest, ConnectionChangesRacingPauseOrWhilePausedAreRefused) {
  LoadAndConnectAll(SmallMovie(3, 3));
  m_audioSink->Pause();
  m_videoSink->Pause();
  // Pause has committed the outputs and waits at the input's activation.
  m_source->HoldLengthCalls();
  std::thread pauser([&] { EXPECT_EQ(m_splitter->Pause(), S_OK); });
  m_source->WaitUntilHeld();
  EXPECT_EQ(SplitterPin(WIDE("Video"))->Disconnect(), VFW_E_NOT_STOPPED);
  EXPECT_EQ(SplitterPin(WIDE("Input"))->Disconnect(), VFW_E_NOT_STOPPED);
  m_source->ReleaseHeld();
  pauser.join();
  EXPECT_EQ(SplitterPin(WIDE("Audio"))->Disconnect(), VFW_E_NOT_STOPPED);
  // Both outputs kept what their workers use, and deliver everything.
  ASSERT_TRUE(m_audioSink->Input()->WaitForEndOfStream(1));
  ASSERT_TRUE(m_videoSink->Input()->WaitForEndOfStream(1));
  ExpectDelivered(SmallMovie(3, 3).Expect());
}
