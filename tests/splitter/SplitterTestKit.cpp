#include "SplitterTestKit.h"

#include <algorithm>

#include "com/CTrackedObject.h"
#include "com/WideString.h"
#include "splitter/SplitterIdentifiers.h"

filmwriter::FilmExpectation WithoutRows(filmwriter::FilmExpectation expect,
                                        const std::vector<uint32_t>& rows) {
  std::vector<filmwriter::ExpectedSample> kept;
  bool afterLoss[2] = {false, false};
  for (filmwriter::ExpectedSample& sample : expect.samples) {
    bool& lost = afterLoss[sample.stream == filmwriter::Stream::Audio ? 0 : 1];
    if (std::find(rows.begin(), rows.end(), sample.row) != rows.end()) {
      lost = true;
      continue;
    }
    sample.discontinuity = sample.discontinuity || lost;
    lost = false;
    kept.push_back(std::move(sample));
  }
  expect.samples = std::move(kept);
  return expect;
}

filmwriter::FilmWriter SmallMovie(int audioRows, int videoRows) {
  filmwriter::FilmWriter writer;
  int rows = audioRows > videoRows ? audioRows : videoRows;
  for (int i = 0; i < rows; ++i) {
    if (i < audioRows) {
      writer.AddAudio(Pattern(2205 + 7 * i, static_cast<uint8_t>(i)));
    }
    if (i < videoRows) {
      writer.AddVideo(Pattern(300 + 13 * i, static_cast<uint8_t>(100 + i)), 40, i % 3 == 0);
    }
  }
  return writer;
}

void SplitterGraphTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  m_liveObjects = CTrackedObject::LiveObjectCount();
  m_liveSources = MemoryAsyncSource::LiveCount();
  HRESULT created = S_OK;
  CInnerUnknown* object = CreateCpkSplitterFilter(nullptr, &created);
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(created, S_OK);
  ASSERT_EQ(object->InnerQueryInterface(IID_IBaseFilter, m_splitter.ReleaseAndGetVoidAddressOf()),
            S_OK);
  m_filter = static_cast<CCpkSplitterFilter*>(object);
}

void SplitterGraphTest::TearDown() {
  StopGraph();
  for (auto& sink : m_sinks) {
    static_cast<RecordingSinkFilter*>(sink.Get())->Input()->DropKept();
  }
  if (m_splitter) {
    for (int i = m_filter->PinCount() - 1; i >= 0; --i) {
      CPinBase* pin = m_filter->PinAt(i);
      CComHolder<IPin> peer;
      if (static_cast<IPin*>(pin)->ConnectedTo(peer.ReleaseAndGetAddressOf()) == S_OK) {
        peer->Disconnect();
      }
      static_cast<IPin*>(pin)->Disconnect();
    }
  }
  if (m_source) {
    m_source->OutputPin()->Disconnect();
  }
  m_sinks.clear();
  m_audioSink = nullptr;
  m_videoSink = nullptr;
  m_filter = nullptr;
  m_splitter.Reset();
  m_source.Reset();
  EXPECT_EQ(CTrackedObject::LiveObjectCount(), m_liveObjects);
  EXPECT_EQ(MemoryAsyncSource::LiveCount(), m_liveSources);
  CoUninitialize();
}

HRESULT SplitterGraphTest::Load(const std::vector<uint8_t>& file) {
  m_source = new MemoryAsyncSource(file);
  m_source->SetSubtype(MEDIASUBTYPE_CpkFilm);
  CComHolder<IPin> input = SplitterPin(WIDE("Input"));
  if (!input) {
    return E_UNEXPECTED;
  }
  return m_source->OutputPin()->Connect(input.Get(), nullptr);
}

HRESULT SplitterGraphTest::ConnectOutput(const WCHAR* name, RecordingSinkFilter** sink) {
  CComHolder<IPin> output = SplitterPin(name);
  if (!output) {
    return VFW_E_NOT_FOUND;
  }
  auto* filter = new RecordingSinkFilter();
  m_sinks.emplace_back(static_cast<IBaseFilter*>(filter));
  if (sink != nullptr) {
    *sink = filter;
  }
  return output->Connect(static_cast<IPin*>(filter->Input()), nullptr);
}

void SplitterGraphTest::LoadAndConnectAll(const filmwriter::FilmWriter& writer) {
  ASSERT_EQ(Load(writer), S_OK);
  filmwriter::FilmExpectation expect = writer.Expect();
  if (expect.hasAudioOutput) {
    ASSERT_EQ(ConnectOutput(WIDE("Audio"), &m_audioSink), S_OK);
  }
  if (expect.hasVideoOutput) {
    ASSERT_EQ(ConnectOutput(WIDE("Video"), &m_videoSink), S_OK);
  }
}

void SplitterGraphTest::PauseGraph() {
  for (auto& sink : m_sinks) {
    sink->Pause();
  }
  if (m_splitter) {
    m_splitter->Pause();
  }
  if (m_source) {
    m_source->Pause();
  }
}

void SplitterGraphTest::RunGraph() {
  for (auto& sink : m_sinks) {
    sink->Run(0);
  }
  if (m_splitter) {
    m_splitter->Run(0);
  }
  if (m_source) {
    m_source->Run(0);
  }
}

void SplitterGraphTest::StopGraph() {
  for (auto& sink : m_sinks) {
    sink->Stop();
  }
  if (m_splitter) {
    m_splitter->Stop();
  }
  if (m_source) {
    m_source->Stop();
  }
}

CComHolder<IPin> SplitterGraphTest::SplitterPin(const WCHAR* name) {
  CComHolder<IPin> pin;
  if (FAILED(m_splitter->FindPin(name, pin.ReleaseAndGetAddressOf()))) {
    pin.Detach();
  }
  return pin;
}

std::vector<std::basic_string<WCHAR>> SplitterGraphTest::PinNames() {
  std::vector<std::basic_string<WCHAR>> names;
  for (int i = 0; i < m_filter->PinCount(); ++i) {
    names.emplace_back(m_filter->PinAt(i)->PinName());
  }
  return names;
}

void SplitterGraphTest::ExpectDelivered(const filmwriter::FilmExpectation& expect) {
  // Each output keeps its own rows in table order; across the two outputs
  // there is no order to check, as each may be fed by a thread of its own.
  const std::vector<ReceivedSample> none;
  EXPECT_EQ(CheckDelivery(expect, filmwriter::Stream::Audio,
                          m_audioSink != nullptr ? m_audioSink->Input()->Received() : none,
                          Delivered::Exactly),
            "");
  EXPECT_EQ(CheckDelivery(expect, filmwriter::Stream::Video,
                          m_videoSink != nullptr ? m_videoSink->Input()->Received() : none,
                          Delivered::Exactly),
            "");
}
