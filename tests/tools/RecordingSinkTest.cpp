#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include <platform/ComRef.h>
#include "sinks/CRecordingSink.h"
#include "support/StubOutputPin.h"

using platform::ComRef;
using tessaly::sinks::CRecordingSink;
using tessaly::sinks::ISinkObserver;
using tessaly::sinks::SinkSample;

namespace {

struct SeenSample {
  std::string stream;
  std::optional<REFERENCE_TIME> start, stop, mediaStart, mediaStop;
  bool sync;
  LONG length;
  std::vector<BYTE> bytes;
};

class RecordingObserver final : public ISinkObserver {
 public:
  HRESULT OnSample(const SinkSample& sample) override {
    events.push_back("sample");
    samples.push_back({sample.stream, sample.start, sample.stop, sample.mediaStart,
                       sample.mediaStop, sample.syncPoint, sample.length,
                       std::vector<BYTE>(sample.data, sample.data + sample.dataBytes)});
    return answer;
  }
  void OnEndOfStream(const std::string& stream) override { events.push_back("eos " + stream); }

  HRESULT answer = S_OK;
  std::vector<std::string> events;
  std::vector<SeenSample> samples;
};

// The upstream end of a connection: an output pin named "Audio" and nothing more.
class FakeOutputPin final : public StubOutputPin {
 public:
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override {
    std::memset(info, 0, sizeof(*info));
    info->dir = PINDIR_OUTPUT;
    std::memcpy(info->achName, u"Audio", sizeof(u"Audio"));
    return S_OK;
  }
};

// A graph that only listens: it records the events its filters raise.
class ListeningGraph final : public IFilterGraph, public IMediaEventSink {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IFilterGraph) {
      *ppv = static_cast<IFilterGraph*>(this);
    } else if (riid == IID_IMediaEventSink) {
      *ppv = static_cast<IMediaEventSink*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Notify(LONG code, LONG_PTR param1, LONG_PTR) override {
    events.push_back({code, static_cast<HRESULT>(param1)});
    return S_OK;
  }

  std::vector<std::pair<LONG, HRESULT>> events;
};

class RecordingSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    observer = std::make_shared<RecordingObserver>();
    ASSERT_EQ(CRecordingSink::Create(observer, sink.Out()), S_OK);
    ASSERT_EQ(sink->JoinFilterGraph(&graph, u"sink"), S_OK);
    ASSERT_EQ(sink->FindPin(u"In", pin.Out()), S_OK);
    ASSERT_EQ(pin.As(IID_IMemInputPin, &input), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IMemAllocator, allocator.OutVoid()),
              S_OK);
    ALLOCATOR_PROPERTIES request{2, 64, 1, 0}, actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
  }
  void TearDown() override {
    if (allocator) allocator->Decommit();
    allocator.Reset();
    input.Reset();
    pin.Reset();
    if (sink) sink->JoinFilterGraph(nullptr, nullptr);
    sink.Reset();
    CoUninitialize();
  }

  void Connect() {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.formattype = FORMAT_WaveFormatEx;
    WAVEFORMATEX wave{1, 1, 8000, 8000, 1, 8, 0};
    type.cbFormat = sizeof(wave);
    type.pbFormat = reinterpret_cast<BYTE*>(&wave);
    ASSERT_EQ(pin->ReceiveConnection(&upstream, &type), S_OK);
  }

  platform::ComRef<IMediaSample> Sample(std::vector<BYTE> bytes) {
    platform::ComRef<IMediaSample> sample;
    EXPECT_EQ(allocator->GetBuffer(sample.Out(), nullptr, nullptr, 0), S_OK);
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    std::memcpy(buffer, bytes.data(), bytes.size());
    sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
    return sample;
  }

  std::shared_ptr<RecordingObserver> observer;
  ListeningGraph graph;
  FakeOutputPin upstream;
  platform::ComRef<IBaseFilter> sink;
  platform::ComRef<IPin> pin;
  platform::ComRef<IMemInputPin> input;
  platform::ComRef<IMemAllocator> allocator;
};

}  // namespace

TEST_F(RecordingSinkTest, TakesOnlyCompleteTypesAndKeepsTheConnectionsFormat) {
  AM_MEDIA_TYPE pattern{};
  pattern.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(pin->ReceiveConnection(&upstream, &pattern), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(pin->QueryAccept(&pattern), S_FALSE);
  Connect();
  AM_MEDIA_TYPE again{};
  again.majortype = MEDIATYPE_Audio;
  again.formattype = FORMAT_WaveFormatEx;
  EXPECT_EQ(pin->ReceiveConnection(&upstream, &again), VFW_E_ALREADY_CONNECTED);

  AM_MEDIA_TYPE connected{};
  ASSERT_EQ(pin->ConnectionMediaType(&connected), S_OK);
  EXPECT_EQ(connected.majortype, MEDIATYPE_Audio);
  ASSERT_EQ(connected.cbFormat, sizeof(WAVEFORMATEX));
  EXPECT_EQ(reinterpret_cast<WAVEFORMATEX*>(connected.pbFormat)->nSamplesPerSec, 8000u);
  CoTaskMemFree(connected.pbFormat);
  platform::ComRef<IPin> peer;
  ASSERT_EQ(pin->ConnectedTo(peer.Out()), S_OK);
  EXPECT_EQ(peer.Get(), &upstream);

  platform::ComRef<IEnumPins> pins;
  ASSERT_EQ(sink->EnumPins(pins.Out()), S_OK);
  IPin* fetched[2] = {};
  ULONG count = 0;
  EXPECT_EQ(pins->Next(2, fetched, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(fetched[0], pin.Get());
  fetched[0]->Release();
}

TEST_F(RecordingSinkTest, ReportsTimesSyncLengthAndBytesOfEachSample) {
  Connect();
  ASSERT_EQ(sink->Pause(), S_OK);
  platform::ComRef<IMediaSample> timed = Sample({1, 2, 3, 4, 5});
  REFERENCE_TIME start = 100, stop = 250;
  timed->SetTime(&start, &stop);
  timed->SetMediaTime(&start, &stop);
  timed->SetSyncPoint(TRUE);
  EXPECT_EQ(input->Receive(timed.Get()), S_OK);
  timed.Reset();

  platform::ComRef<IMediaSample> startOnly = Sample({9});
  REFERENCE_TIME onlyStart = 7;
  startOnly->SetTime(&onlyStart, nullptr);
  startOnly->SetMediaTime(nullptr, nullptr);
  startOnly->SetSyncPoint(FALSE);
  EXPECT_EQ(input->Receive(startOnly.Get()), S_OK);

  ASSERT_EQ(observer->samples.size(), 2u);
  const SeenSample& first = observer->samples[0];
  EXPECT_EQ(first.stream, "Audio");
  EXPECT_EQ(first.start, 100);
  EXPECT_EQ(first.stop, 250);
  EXPECT_EQ(first.mediaStart, 100);
  EXPECT_EQ(first.mediaStop, 250);
  EXPECT_TRUE(first.sync);
  EXPECT_EQ(first.length, 5);
  EXPECT_EQ(first.bytes, (std::vector<BYTE>{1, 2, 3, 4, 5}));
  const SeenSample& second = observer->samples[1];
  EXPECT_EQ(second.start, 7);
  EXPECT_FALSE(second.stop.has_value()) << "a start without a stop leaves the stop out";
  EXPECT_FALSE(second.mediaStart.has_value());
  EXPECT_FALSE(second.mediaStop.has_value());
  EXPECT_FALSE(second.sync);
}

TEST_F(RecordingSinkTest, EndOfStreamWhilePausedCompletesOnlyWhenTheGraphRuns) {
  Connect();
  ASSERT_EQ(sink->Pause(), S_OK);
  EXPECT_EQ(pin->EndOfStream(), S_OK);
  EXPECT_EQ(observer->events, std::vector<std::string>{"eos Audio"});
  EXPECT_TRUE(graph.events.empty());
  ASSERT_EQ(sink->Run(0), S_OK);
  ASSERT_EQ(graph.events.size(), 1u);
  EXPECT_EQ(graph.events[0].first, EC_COMPLETE);
  EXPECT_EQ(sink->Run(0), S_OK);
  EXPECT_EQ(graph.events.size(), 1u) << "one end of stream completes once";

  ASSERT_EQ(sink->Stop(), S_OK);
  ASSERT_EQ(sink->Run(0), S_OK);
  EXPECT_EQ(pin->EndOfStream(), S_OK);
  ASSERT_EQ(graph.events.size(), 2u) << "while running, completion is immediate";
}

TEST_F(RecordingSinkTest, ARefusingObserverAbortsPlaybackOnce) {
  Connect();
  ASSERT_EQ(sink->Run(0), S_OK);
  observer->answer = E_FAIL;
  platform::ComRef<IMediaSample> sample = Sample({1});
  EXPECT_EQ(input->Receive(sample.Get()), E_FAIL);
  EXPECT_EQ(input->Receive(sample.Get()), E_FAIL);
  EXPECT_EQ(observer->samples.size(), 1u) << "later samples are refused without the observer";
  ASSERT_EQ(graph.events.size(), 1u);
  EXPECT_EQ(graph.events[0].first, EC_ERRORABORT);
  EXPECT_EQ(graph.events[0].second, E_FAIL);
}

TEST_F(RecordingSinkTest, StoppedOrFlushingSinksDoNotRecord) {
  Connect();
  platform::ComRef<IMediaSample> sample = Sample({1});
  EXPECT_EQ(input->Receive(sample.Get()), VFW_E_WRONG_STATE);
  ASSERT_EQ(sink->Pause(), S_OK);
  EXPECT_EQ(pin->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(pin->BeginFlush(), S_OK);
  EXPECT_EQ(input->Receive(sample.Get()), S_FALSE);
  EXPECT_EQ(pin->EndOfStream(), S_FALSE);
  ASSERT_EQ(pin->EndFlush(), S_OK);
  EXPECT_EQ(input->Receive(sample.Get()), S_OK);
  EXPECT_EQ(observer->samples.size(), 1u);
  ASSERT_EQ(sink->Stop(), S_OK);
  EXPECT_EQ(pin->Disconnect(), S_OK);
  EXPECT_EQ(pin->Disconnect(), S_FALSE);
}

TEST(SinkMediaTypeTest, ReadsAPinsFormatOnlyAsItsFormatTypeSaysAndWhenWhole) {
  WAVEFORMATEX wave{};
  wave.nSamplesPerSec = 22050;
  wave.cbSize = 7;
  VIDEOINFOHEADER video{};
  video.bmiHeader.biWidth = 320;
  const auto typeOf = [](const GUID& formattype, const void* format, size_t bytes) {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Audio;
    type.formattype = formattype;
    type.pbFormat = static_cast<BYTE*>(const_cast<void*>(format));
    type.cbFormat = static_cast<ULONG>(bytes);
    return tessaly::sinks::CSinkMediaType(type);
  };
  const size_t shortPcm = offsetof(WAVEFORMATEX, cbSize);
  EXPECT_EQ(typeOf(FORMAT_WaveFormatEx, &wave, sizeof(wave)).WaveFormat()->cbSize, 7);
  EXPECT_EQ(typeOf(FORMAT_WaveFormatEx, &wave, shortPcm).WaveFormat()->cbSize, 0)
      << "the 16-byte PCM form has no cbSize";
  EXPECT_EQ(typeOf(FORMAT_WaveFormatEx, &wave, shortPcm).WaveFormat()->nSamplesPerSec, 22050u);
  EXPECT_FALSE(typeOf(FORMAT_WaveFormatEx, &wave, shortPcm - 1).WaveFormat());
  EXPECT_FALSE(typeOf(FORMAT_VideoInfo, &wave, sizeof(wave)).WaveFormat());
  EXPECT_EQ(typeOf(FORMAT_VideoInfo, &video, sizeof(video)).VideoInfo()->bmiHeader.biWidth, 320);
  EXPECT_FALSE(typeOf(FORMAT_VideoInfo, &video, sizeof(video) - 1).VideoInfo());
  EXPECT_FALSE(typeOf(FORMAT_WaveFormatEx, &video, sizeof(video)).VideoInfo());
}
