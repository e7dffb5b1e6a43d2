// Graphs for the splitter tests: an in-memory source, the splitter, and
// capturing sinks on its outputs, with helpers that build FILM files and
// compare what arrived with what the writer predicts.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Platform.h"
#include "com/CComHolder.h"
#include "filmwriter/FilmWriter.h"
#include "framework/CInputPinBase.h"
#include "splitter/CCpkSplitterFilter.h"
#include "support/MemoryAsyncSource.h"
#include "support/TestFilterBase.h"

struct CapturedSample {
  // Arrival order across every sink of one graph, for diagnostics only:
  // the outputs may be fed by threads of their own, so only the order
  // within one sink is a property of the splitter.
  int sequence;
  HRESULT timeResult;
  REFERENCE_TIME start;
  REFERENCE_TIME stop;
  HRESULT mediaTimeResult;
  LONGLONG mediaStart;
  LONGLONG mediaStop;
  bool syncPoint;
  bool discontinuity;
  bool preroll;
  bool typeChanged;
  int flushes;   // flushes that had ended (EndFlush) when the sample came
  DWORD thread;  // the delivering thread
  std::vector<BYTE> bytes;
};

// An input pin that accepts any type and records every sample it takes.
class CaptureInputPin : public CInputPinBase {
 public:
  CaptureInputPin(TestFilterBase* owner, std::atomic<int>* sequence);
  ~CaptureInputPin() override { DropKept(); }

  HRESULT TestMediaType(const CMediaTypeRecord* type) override { return S_OK; }
  HRESULT FinishConnection(IPin* peer) override { return S_OK; }
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  // As a renderer does, a flush lets go of every kept sample.
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;

  // Keeps every received sample until DropKept, so that the worker finds no
  // free buffer for the next one.
  void KeepSamples(bool keep);
  // Kept samples survive a flush too, as a renderer that keeps its frame on
  // screen through a seek would keep them.
  void KeepThroughFlush(bool keep);
  void DropKept();
  // A slow flush: BeginFlush waits on its way in until ReleaseFlush.
  void HoldBeginFlush();
  // Returns once a BeginFlush waits, with no time limit.
  void WaitUntilFlushHeld();
  void ReleaseFlush();
  // The receive with this number (from 0) answers result and records nothing.
  void RefuseReceive(int index, HRESULT result);
  // Downstream asks for this layout; the splitter must overrule it.
  void AskFor(const ALLOCATOR_PROPERTIES& properties);

  // Return once the count is reached, with no time limit, so that a slow
  // machine cannot fail them; a splitter that never gets there hangs the
  // test until ctest's timeout ends it. Always true, so callers can assert.
  bool WaitForSamples(size_t count);
  bool WaitForEndOfStream(int count);

  std::vector<CapturedSample> Samples();
  // Forgets the samples and end-of-stream calls recorded so far.
  void ClearRecords();
  int EndOfStreamCount();
  // For each end of stream, the flushes that had ended when it came.
  std::vector<int> EndOfStreamFlushes();
  int ReceiveCount();
  int FlushCount();
  // Start and stop of the last segment announced, or -1 before any.
  REFERENCE_TIME SegmentStart();
  REFERENCE_TIME SegmentStop();
  IMemAllocator* Allocator() const { return m_allocator.Get(); }

 private:
  std::atomic<int>* m_sequence;  // borrowed: the graph's
  std::mutex m_recordLock;
  std::condition_variable m_changed;
  std::vector<CapturedSample> m_samples;
  int m_endOfStream = 0;
  std::vector<int> m_endOfStreamFlushes;
  int m_receives = 0;
  int m_flushes = 0;
  REFERENCE_TIME m_lastSegmentStart = -1;
  REFERENCE_TIME m_lastSegmentStop = -1;
  std::map<int, HRESULT> m_refusals;
  bool m_keep = false;
  bool m_keepThroughFlush = false;
  std::vector<IMediaSample*> m_kept;  // counted
  bool m_holdFlush = false;
  bool m_flushHeld = false;
  bool m_askFor = false;
  ALLOCATOR_PROPERTIES m_requirements = {};
};

class CaptureSinkFilter : public TestFilterBase {
 public:
  explicit CaptureSinkFilter(std::atomic<int>* sequence);
  CaptureInputPin* Input() { return static_cast<CaptureInputPin*>(PinAt(0)); }
};

// Builds a small well-formed movie: 22,050 Hz 8-bit mono audio interleaved
// with video frames, every payload distinct.
filmwriter::FilmWriter SmallMovie(int audioRows = 4, int videoRows = 4);
std::vector<uint8_t> Pattern(size_t length, uint8_t seed);
// What is left of expect when rows are lost: the other samples keep their
// times, and the first sample of a stream after a lost row is a discontinuity.
filmwriter::FilmExpectation WithoutRows(filmwriter::FilmExpectation expect,
                                        const std::vector<uint32_t>& rows);

// File position of a row's chunk, read from the built file's own table.
uint32_t ChunkPosition(const std::vector<uint8_t>& file, uint32_t row);

// Source, splitter and one sink per output on real threads. Every test ends
// with all of them gone: TearDown stops, disconnects and releases them and
// checks the live-object counts.
class SplitterGraphTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the source over file and the splitter, and connects them.
  HRESULT Load(const std::vector<uint8_t>& file);
  HRESULT Load(const filmwriter::FilmWriter& writer) { return Load(writer.Build()); }
  // Connects the named splitter output to a new capturing sink.
  HRESULT ConnectOutput(const WCHAR* name, CaptureSinkFilter** sink);
  // Load plus a sink on every output the file has.
  void LoadAndConnectAll(const filmwriter::FilmWriter& writer);

  // The graph's order: downstream filters change state first.
  void PauseGraph();
  void RunGraph();
  void StopGraph();

  // A counted reference to the splitter pin, or empty.
  CComHolder<IPin> SplitterPin(const WCHAR* name);
  std::vector<std::basic_string<WCHAR>> PinNames();

  // Checks the samples that arrived on both sinks against the writer.
  void ExpectDelivered(const filmwriter::FilmExpectation& expect);

  CCpkSplitterFilter* m_filter = nullptr;  // borrowed from m_splitter
  CComHolder<IBaseFilter> m_splitter;
  CComHolder<MemoryAsyncSource> m_source;
  CaptureSinkFilter* m_audioSink = nullptr;  // borrowed from m_sinks
  CaptureSinkFilter* m_videoSink = nullptr;
  std::vector<CComHolder<IBaseFilter>> m_sinks;
  std::atomic<int> m_sequence{0};

 private:
  LONG m_liveObjects = 0;
  LONG m_liveSources = 0;
};
