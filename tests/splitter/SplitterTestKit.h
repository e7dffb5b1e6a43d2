// Graphs for the splitter tests: an in-memory source, the splitter, and
// capturing sinks on its outputs, with helpers that build FILM files and
// compare what arrived with what the writer predicts.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Platform.h"
#include "com/CComHolder.h"
#include "filmwriter/FilmWriter.h"
#include "splitter/CCpkSplitterFilter.h"
#include "support/DeliveryCheck.h"
#include "support/FilmChunkPosition.h"
#include "support/MemoryAsyncSource.h"
#include "support/Pattern.h"
#include "support/RecordingSinkFilter.h"

// Builds a small well-formed movie: 22,050 Hz 8-bit mono audio interleaved
// with video frames, every payload distinct.
filmwriter::FilmWriter SmallMovie(int audioRows = 4, int videoRows = 4);
// What is left of expect when rows are lost: the other samples keep their
// times, and the first sample of a stream after a lost row is a discontinuity.
filmwriter::FilmExpectation WithoutRows(filmwriter::FilmExpectation expect,
                                        const std::vector<uint32_t>& rows);

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
  HRESULT ConnectOutput(const WCHAR* name, RecordingSinkFilter** sink);
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
  RecordingSinkFilter* m_audioSink = nullptr;  // borrowed from m_sinks
  RecordingSinkFilter* m_videoSink = nullptr;
  std::vector<CComHolder<IBaseFilter>> m_sinks;

 private:
  LONG m_liveObjects = 0;
  LONG m_liveSources = 0;
};
