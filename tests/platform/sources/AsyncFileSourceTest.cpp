// The async file source: loading files, connecting its output pin, and serving
// the bytes through IAsyncReader, synchronously and through the request queue.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "SourcesTestSupport.h"

namespace sources_test {
namespace {

constexpr LONGLONG kUnits = 10000000;

std::vector<BYTE> Pattern(size_t size) {
  std::vector<BYTE> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

// An input pin of a downstream filter that takes IAsyncReader from its peer
// and, like a parser, reads the first bytes while it accepts the connection.
class SinkPin final : public IPin {
 public:
  HRESULT refuseWith = S_OK;
  IAsyncReader* reader = nullptr;  // counted
  IPin* connector = nullptr;       // counted
  GUID majortype{};
  GUID subtype{};
  BYTE head[4]{};
  HRESULT headRead = E_FAIL;

  ~SinkPin() { Drop(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPin) {
      *ppv = static_cast<IPin*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  ULONG Count() const { return m_refs; }

  HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override {
    if (refuseWith != S_OK) return refuseWith;
    HRESULT hr = pConnector->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader));
    if (FAILED(hr)) return hr;
    headRead = reader->SyncRead(0, sizeof(head), head);
    majortype = pmt->majortype;
    subtype = pmt->subtype;
    connector = pConnector;
    connector->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    Drop();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) override {
    *dir = PINDIR_INPUT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return S_OK;
  }

 private:
  void Drop() {
    if (reader) std::exchange(reader, nullptr)->Release();
    if (connector) std::exchange(connector, nullptr)->Release();
  }
  ULONG m_refs = 1;
};

class AsyncFileSourceTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    bytes = Pattern(10000);
    path = folder.Write("movie.cpk", bytes);
    Create(CLSID_AsyncReader, IID_IBaseFilter, filter);
    ASSERT_EQ(S_OK, filter->QueryInterface(IID_IFileSourceFilter,
                                           fileSource.ReleaseAndGetVoidAddressOf()));
  }
  void TearDown() override {
    reader.Reset();
    pin.Reset();
    fileSource.Reset();
    if (filter.Get()) EXPECT_EQ(1u, RefCount(filter.Get()));
    filter.Reset();
    EXPECT_EQ(1u, sink.Count());
    ComTest::TearDown();
  }

  // Loads the test file as a FILM byte stream and takes the pin and its reader.
  void LoadFilm() {
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_CpkFilm;
    ASSERT_EQ(S_OK, fileSource->Load(Wide(path).c_str(), &type));
    ASSERT_EQ(S_OK, filter->FindPin(u"Output", pin.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, pin->QueryInterface(IID_IAsyncReader, reader.ReleaseAndGetVoidAddressOf()));
  }

  std::vector<BYTE> Expected(size_t from, size_t count) const {
    return std::vector<BYTE>(bytes.begin() + from, bytes.begin() + from + count);
  }

  TempFolder folder;
  std::vector<BYTE> bytes;
  std::string path;
  SinkPin sink;
  CComHolder<IBaseFilter> filter;
  CComHolder<IFileSourceFilter> fileSource;
  CComHolder<IPin> pin;
  CComHolder<IAsyncReader> reader;
};

TEST_F(AsyncFileSourceTest, IsOneObjectWithTheSourceInterfacesAndNoPinBeforeLoad) {
  CComHolder<IUnknown> viaFilter, viaSource;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IUnknown, viaFilter.ReleaseAndGetVoidAddressOf()));
  ASSERT_EQ(S_OK, fileSource->QueryInterface(IID_IUnknown, viaSource.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(viaFilter.Get(), viaSource.Get());
  CComHolder<IMediaFilter> mediaFilter;
  EXPECT_EQ(S_OK,
            filter->QueryInterface(IID_IMediaFilter, mediaFilter.ReleaseAndGetVoidAddressOf()));
  CLSID clsid{};
  EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
  EXPECT_EQ(CLSID_AsyncReader, clsid);

  CComHolder<IEnumPins> pins;
  ASSERT_EQ(S_OK, filter->EnumPins(pins.ReleaseAndGetAddressOf()));
  IPin* none = nullptr;
  ULONG fetched = 7;
  EXPECT_EQ(S_FALSE, pins->Next(1, &none, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(u"Output", pin.ReleaseAndGetAddressOf()));
  LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(E_FAIL, fileSource->GetCurFile(&name, nullptr));
  EXPECT_EQ(nullptr, name);
}

TEST_F(AsyncFileSourceTest, JoinsAGraphUnderItsNameAndKeepsItsClockAndState) {
  CComHolder<IFilterGraph> graph;
  Create(CLSID_FilterGraph, IID_IFilterGraph, graph);
  ASSERT_EQ(S_OK, graph->AddFilter(filter.Get(), u"File Source"));
  FILTER_INFO info{};
  ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
  EXPECT_EQ(u"File Source", std::u16string(info.achName));
  EXPECT_EQ(graph.Get(), info.pGraph);
  info.pGraph->Release();

  CComHolder<IReferenceClock> clock, held;
  Create(CLSID_SystemClock, IID_IReferenceClock, clock);
  ASSERT_EQ(S_OK, filter->SetSyncSource(clock.Get()));
  ASSERT_EQ(S_OK, filter->GetSyncSource(held.ReleaseAndGetAddressOf()));
  EXPECT_EQ(clock.Get(), held.Get());
  ASSERT_EQ(S_OK, filter->Pause());
  FILTER_STATE state = State_Stopped;
  ASSERT_EQ(S_OK, filter->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  ASSERT_EQ(S_OK, filter->Stop());
  ASSERT_EQ(S_OK, filter->SetSyncSource(nullptr));
  ASSERT_EQ(S_OK, graph->RemoveFilter(filter.Get()));
  ASSERT_EQ(S_OK, filter->QueryFilterInfo(&info));
  EXPECT_EQ(nullptr, info.pGraph);
}

TEST_F(AsyncFileSourceTest, LoadFailsWithThePlatformsErrorForMissingFilesAndFolders) {
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
            fileSource->Load(Wide(folder.File("absent.cpk")).c_str(), nullptr));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
            fileSource->Load(Wide(folder.File("absent/movie.cpk")).c_str(), nullptr));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
            fileSource->Load(Wide(folder.File("")).c_str(), nullptr));
  EXPECT_EQ(E_POINTER, fileSource->Load(nullptr, nullptr));
  EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(u"Output", pin.ReleaseAndGetAddressOf()));
}

TEST_F(AsyncFileSourceTest, LoadRecordsThePathAndTheByteStreamType) {
  LoadFilm();
  LPOLESTR name = nullptr;
  AM_MEDIA_TYPE type{};
  ASSERT_EQ(S_OK, fileSource->GetCurFile(&name, &type));
  EXPECT_EQ(Wide(path), std::u16string(name));
  EXPECT_EQ(MEDIATYPE_Stream, type.majortype);
  EXPECT_EQ(MEDIASUBTYPE_CpkFilm, type.subtype);
  CoTaskMemFree(name);
  CoTaskMemFree(type.pbFormat);

  // Without a type the subtype stays open; a non-ASCII path reaches the file too.
  std::string other = folder.Write("fïlm ✓.cpk", Pattern(3));
  ASSERT_EQ(S_OK, fileSource->Load(Wide(other).c_str(), nullptr));
  ASSERT_EQ(S_OK, fileSource->GetCurFile(&name, &type));
  EXPECT_EQ(Wide(other), std::u16string(name));
  EXPECT_EQ(MEDIATYPE_Stream, type.majortype);
  EXPECT_EQ(MEDIASUBTYPE_NULL, type.subtype);
  CoTaskMemFree(name);
  LONGLONG total = 0, available = 0;
  EXPECT_EQ(S_OK, reader->Length(&total, &available));
  EXPECT_EQ(3, total);
}

TEST_F(AsyncFileSourceTest, OutputPinDescribesItselfAndItsOneType) {
  LoadFilm();
  PIN_INFO info{};
  ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
  EXPECT_EQ(filter.Get(), info.pFilter);
  EXPECT_EQ(PINDIR_OUTPUT, info.dir);
  EXPECT_EQ(u"Output", std::u16string(info.achName));
  info.pFilter->Release();
  LPWSTR id = nullptr;
  ASSERT_EQ(S_OK, pin->QueryId(&id));
  EXPECT_EQ(u"Output", std::u16string(id));
  CoTaskMemFree(id);

  CComHolder<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, pin->EnumMediaTypes(types.ReleaseAndGetAddressOf()));
  AM_MEDIA_TYPE* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, got, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_EQ(MEDIATYPE_Stream, got[0]->majortype);
  EXPECT_EQ(MEDIASUBTYPE_CpkFilm, got[0]->subtype);
  EXPECT_EQ(S_OK, pin->QueryAccept(got[0]));
  got[0]->subtype = MEDIASUBTYPE_PCM;
  EXPECT_EQ(S_FALSE, pin->QueryAccept(got[0]));
  CoTaskMemFree(got[0]);

  CComHolder<IEnumPins> pins;
  ASSERT_EQ(S_OK, filter->EnumPins(pins.ReleaseAndGetAddressOf()));
  IPin* listed = nullptr;
  ASSERT_EQ(S_OK, pins->Next(1, &listed, nullptr));
  EXPECT_EQ(pin.Get(), listed);
  listed->Release();
}

TEST_F(AsyncFileSourceTest, ConnectsToAnInputPinThatReadsDuringTheConnection) {
  LoadFilm();
  ASSERT_EQ(S_OK, pin->Connect(&sink, nullptr));
  EXPECT_EQ(S_OK, sink.headRead);
  EXPECT_EQ(0, std::memcmp(sink.head, bytes.data(), sizeof(sink.head)));
  EXPECT_EQ(MEDIATYPE_Stream, sink.majortype);
  EXPECT_EQ(MEDIASUBTYPE_CpkFilm, sink.subtype);

  CComHolder<IPin> peer;
  ASSERT_EQ(S_OK, pin->ConnectedTo(peer.ReleaseAndGetAddressOf()));
  EXPECT_EQ(static_cast<IPin*>(&sink), peer.Get());
  peer.Reset();
  AM_MEDIA_TYPE type{};
  ASSERT_EQ(S_OK, pin->ConnectionMediaType(&type));
  EXPECT_EQ(MEDIASUBTYPE_CpkFilm, type.subtype);
  CoTaskMemFree(type.pbFormat);

  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, pin->Connect(&sink, nullptr));
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, fileSource->Load(Wide(path).c_str(), nullptr));
  ASSERT_EQ(S_OK, filter->Pause());
  EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Disconnect());
  ASSERT_EQ(S_OK, filter->Stop());
  EXPECT_EQ(S_OK, pin->Disconnect());
  EXPECT_EQ(S_FALSE, pin->Disconnect());
  sink.Disconnect();
  EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.ReleaseAndGetAddressOf()));
  EXPECT_EQ(nullptr, peer.Get());
  EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&type));
}

TEST_F(AsyncFileSourceTest, RefusedConnectionsLeaveThePinFree) {
  LoadFilm();
  AM_MEDIA_TYPE audio{};
  audio.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pin->Connect(&sink, &audio));
  sink.refuseWith = VFW_E_TYPE_NOT_ACCEPTED;
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pin->Connect(&sink, nullptr));
  CComHolder<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.ReleaseAndGetAddressOf()));
  ASSERT_EQ(S_OK, filter->Run(0));
  sink.refuseWith = S_OK;
  EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Connect(&sink, nullptr));
  ASSERT_EQ(S_OK, filter->Stop());
  // A partial type leaves the open fields to the source.
  AM_MEDIA_TYPE partial{};
  partial.majortype = MEDIATYPE_Stream;
  EXPECT_EQ(S_OK, pin->Connect(&sink, &partial));
  EXPECT_EQ(MEDIASUBTYPE_CpkFilm, sink.subtype);
  EXPECT_EQ(S_OK, pin->Disconnect());
  sink.Disconnect();
}

TEST_F(AsyncFileSourceTest, SyncReadAnswersInsideAtAndPastTheEnd) {
  LoadFilm();
  std::vector<BYTE> buffer(300, 0xEE);
  ASSERT_EQ(S_OK, reader->SyncRead(1234, 300, buffer.data()));
  EXPECT_EQ(Expected(1234, 300), buffer);
  ASSERT_EQ(S_OK, reader->SyncRead(9700, 300, buffer.data()));
  EXPECT_EQ(Expected(9700, 300), buffer);

  // Across the end: what exists, then zeros instead of whatever the buffer held.
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  ASSERT_EQ(S_FALSE, reader->SyncRead(9900, 300, buffer.data()));
  std::vector<BYTE> expected = Expected(9900, 100);
  expected.resize(300, 0);
  EXPECT_EQ(expected, buffer);
  EXPECT_EQ(S_FALSE, reader->SyncRead(10000, 10, buffer.data()));
  EXPECT_EQ(S_FALSE, reader->SyncRead(1LL << 40, 10, buffer.data()));

  EXPECT_EQ(E_INVALIDARG, reader->SyncRead(-1, 10, buffer.data()));
  EXPECT_EQ(E_INVALIDARG, reader->SyncRead(0, -1, buffer.data()));
  EXPECT_EQ(E_INVALIDARG, reader->SyncRead(INT64_MAX - 5, 10, buffer.data()));
  EXPECT_EQ(E_POINTER, reader->SyncRead(0, 10, nullptr));
  EXPECT_EQ(S_OK, reader->SyncRead(10000, 0, buffer.data()));

  LONGLONG total = 0, available = 0;
  ASSERT_EQ(S_OK, reader->Length(&total, &available));
  EXPECT_EQ(10000, total);
  EXPECT_EQ(10000, available);
  EXPECT_EQ(E_POINTER, reader->Length(nullptr, &available));
}

// A file still being written: what is available is the size it has now.
TEST_F(AsyncFileSourceTest, LengthFollowsAFileThatGrowsAfterLoading) {
  LoadFilm();
  {
    std::ofstream grow(path, std::ios::binary | std::ios::app);
    grow << std::string(500, 'x');
  }
  LONGLONG total = 0, available = 0;
  ASSERT_EQ(S_OK, reader->Length(&total, &available));
  EXPECT_EQ(10500, total);
  EXPECT_EQ(10500, available);
  std::vector<BYTE> buffer(10, 0);
  EXPECT_EQ(S_OK, reader->SyncRead(10490, 10, buffer.data()));
  EXPECT_EQ(std::vector<BYTE>(10, 'x'), buffer);
}

TEST_F(AsyncFileSourceTest, ConcurrentSyncReadsEachGetTheirOwnBytes) {
  LoadFilm();
  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<BYTE> buffer(97);
      for (int i = 0; i < 200; ++i) {
        LONGLONG position = (t * 2503 + i * 389) % (10000 - 97);
        if (reader->SyncRead(position, 97, buffer.data()) != S_OK ||
            buffer != Expected(static_cast<size_t>(position), 97)) {
          ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(std::vector<int>(kThreads, 0), mismatches);
}

class AsyncRequestTest : public AsyncFileSourceTest {
 protected:
  void SetUp() override {
    AsyncFileSourceTest::SetUp();
    LoadFilm();
    ALLOCATOR_PROPERTIES props{3, 4096, 1, 0};
    ASSERT_EQ(S_OK, reader->RequestAllocator(nullptr, &props, allocator.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, allocator->Commit());
  }
  void TearDown() override {
    if (allocator.Get()) allocator->Decommit();
    allocator.Reset();
    AsyncFileSourceTest::TearDown();
  }

  // A sample asking for count bytes at position.
  void Ask(CComHolder<IMediaSample>& sample, LONGLONG position, LONGLONG count) {
    ASSERT_EQ(S_OK, allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0));
    REFERENCE_TIME start = position * kUnits, stop = (position + count) * kUnits;
    ASSERT_EQ(S_OK, sample->SetTime(&start, &stop));
  }
  std::vector<BYTE> Payload(IMediaSample* sample) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    return std::vector<BYTE>(data, data + sample->GetActualDataLength());
  }

  CComHolder<IMemAllocator> allocator;
};

TEST_F(AsyncRequestTest, RequestsComeBackInOrderWithTheirBytesAndUserValues) {
  CComHolder<IMediaSample> first, last;
  Ask(first, 100, 4096);
  Ask(last, 8000, 4096);
  ASSERT_EQ(S_OK, reader->Request(first.Get(), 11));
  // The end of the file shortens the last request and its stop time.
  ASSERT_EQ(S_OK, reader->Request(last.Get(), 22));
  REFERENCE_TIME start = 0, stop = 0;
  ASSERT_EQ(S_OK, last->GetTime(&start, &stop));
  EXPECT_EQ(10000 * kUnits, stop);

  IMediaSample* done = nullptr;
  DWORD_PTR user = 0;
  ASSERT_EQ(S_OK, reader->WaitForNext(INFINITE, &done, &user));
  EXPECT_EQ(first.Get(), done);
  EXPECT_EQ(11u, user);
  EXPECT_EQ(Expected(100, 4096), Payload(done));
  ASSERT_EQ(S_OK, reader->WaitForNext(INFINITE, &done, &user));
  EXPECT_EQ(last.Get(), done);
  EXPECT_EQ(22u, user);
  EXPECT_EQ(Expected(8000, 2000), Payload(done));

  EXPECT_EQ(VFW_E_TIMEOUT, reader->WaitForNext(0, &done, &user));
  EXPECT_EQ(nullptr, done);
}

TEST_F(AsyncRequestTest, RequestsThatCannotBeServedAreRefused) {
  CComHolder<IMediaSample> sample;
  Ask(sample, 10000, 16);
  EXPECT_EQ(HRESULT_FROM_WIN32(38), reader->Request(sample.Get(), 0));
  Ask(sample, 0, 4097);
  EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, reader->Request(sample.Get(), 0));
  ASSERT_EQ(S_OK, allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0));
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, reader->Request(sample.Get(), 0));
  EXPECT_EQ(E_POINTER, reader->Request(nullptr, 0));
  IMediaSample* done = nullptr;
  EXPECT_EQ(VFW_E_TIMEOUT, reader->WaitForNext(0, &done, nullptr));
}

TEST_F(AsyncRequestTest, FlushHandsBackPendingRequestsUnreadAndRefusesNewOnes) {
  CComHolder<IMediaSample> pending, later;
  Ask(pending, 0, 64);
  Ask(later, 64, 64);
  ASSERT_EQ(S_OK, reader->Request(pending.Get(), 5));
  ASSERT_EQ(S_OK, reader->BeginFlush());
  EXPECT_EQ(VFW_E_WRONG_STATE, reader->Request(later.Get(), 6));
  IMediaSample* done = nullptr;
  DWORD_PTR user = 0;
  EXPECT_EQ(VFW_E_WRONG_STATE, reader->WaitForNext(INFINITE, &done, &user));
  EXPECT_EQ(pending.Get(), done);
  EXPECT_EQ(5u, user);
  EXPECT_EQ(0, pending->GetActualDataLength());
  EXPECT_EQ(VFW_E_WRONG_STATE, reader->WaitForNext(INFINITE, &done, &user));
  EXPECT_EQ(nullptr, done);

  ASSERT_EQ(S_OK, reader->EndFlush());
  ASSERT_EQ(S_OK, reader->Request(later.Get(), 6));
  ASSERT_EQ(S_OK, reader->WaitForNext(INFINITE, &done, &user));
  EXPECT_EQ(Expected(64, 64), Payload(done));
}

TEST_F(AsyncRequestTest, BeginFlushWakesAWaiterOnAnotherThread) {
  HRESULT waited = S_OK;
  IMediaSample* done = reinterpret_cast<IMediaSample*>(1);
  std::thread waiter([&] { waited = reader->WaitForNext(INFINITE, &done, nullptr); });
  ASSERT_EQ(S_OK, reader->BeginFlush());
  waiter.join();
  EXPECT_EQ(VFW_E_WRONG_STATE, waited);
  EXPECT_EQ(nullptr, done);
  EXPECT_EQ(S_OK, reader->EndFlush());
}

TEST_F(AsyncRequestTest, WaitersOnSeveralThreadsServeEachRequestOnce) {
  constexpr int kThreads = 3;
  constexpr int kPerThread = 10;
  CComHolder<IMemAllocator> many;
  ALLOCATOR_PROPERTIES props{kThreads * kPerThread, 500, 1, 0};
  ASSERT_EQ(S_OK, reader->RequestAllocator(nullptr, &props, many.ReleaseAndGetAddressOf()));
  ASSERT_EQ(S_OK, many->Commit());
  std::vector<CComHolder<IMediaSample>> samples(kThreads * kPerThread);
  for (size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(S_OK, many->GetBuffer(samples[i].ReleaseAndGetAddressOf(), nullptr, nullptr, 0));
    REFERENCE_TIME start = static_cast<LONGLONG>(i) * 313 * kUnits;
    REFERENCE_TIME stop = start + 500 * kUnits;
    ASSERT_EQ(S_OK, samples[i]->SetTime(&start, &stop));
    ASSERT_EQ(S_OK, reader->Request(samples[i].Get(), i));
  }
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::vector<DWORD_PTR>> served(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        IMediaSample* done = nullptr;
        DWORD_PTR user = 0;
        if (reader->WaitForNext(INFINITE, &done, &user) != S_OK || done != samples[user].Get() ||
            Payload(done) != Expected(user * 313, 500)) {
          ++wrong[t];
        }
        served[t].push_back(user);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(std::vector<int>(kThreads, 0), wrong);
  std::vector<DWORD_PTR> all;
  for (const auto& part : served) all.insert(all.end(), part.begin(), part.end());
  std::sort(all.begin(), all.end());
  std::vector<DWORD_PTR> each(samples.size());
  for (size_t i = 0; i < each.size(); ++i) each[i] = i;
  EXPECT_EQ(each, all);
  samples.clear();
  many->Decommit();
}

TEST_F(AsyncRequestTest, SyncReadAlignedFillsTheSampleItsTimesName) {
  CComHolder<IMediaSample> sample;
  Ask(sample, 9000, 4096);
  EXPECT_EQ(S_FALSE, reader->SyncReadAligned(sample.Get()));
  EXPECT_EQ(Expected(9000, 1000), Payload(sample.Get()));
  Ask(sample, 10, 20);
  EXPECT_EQ(S_OK, reader->SyncReadAligned(sample.Get()));
  EXPECT_EQ(Expected(10, 20), Payload(sample.Get()));
}

TEST_F(AsyncRequestTest, RequestAllocatorKeepsAPreferredAllocatorThatAgrees) {
  CComHolder<IMemAllocator> preferred, actual;
  Create(CLSID_MemoryAllocator, IID_IMemAllocator, preferred);
  ALLOCATOR_PROPERTIES props{2, 512, 0, 0};
  ASSERT_EQ(S_OK,
            reader->RequestAllocator(preferred.Get(), &props, actual.ReleaseAndGetAddressOf()));
  EXPECT_EQ(preferred.Get(), actual.Get());
  ALLOCATOR_PROPERTIES agreed{};
  ASSERT_EQ(S_OK, actual->GetProperties(&agreed));
  EXPECT_EQ(512, agreed.cbBuffer);
  EXPECT_EQ(E_POINTER, reader->RequestAllocator(nullptr, nullptr, actual.ReleaseAndGetAddressOf()));
}

}  // namespace
}  // namespace sources_test
