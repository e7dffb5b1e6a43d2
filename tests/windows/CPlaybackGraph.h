// The platform's filter graph with a FILM file source, the splitter made
// through the registry, and a recording sink on each splitter output.
#pragma once

#include <windows.h>

#include <control.h>
#include <strmif.h>

#include <string>

#include "CComRef.h"
#include "CReceiveGate.h"
#include "CRecordingSink.h"
#include "CTestReport.h"
#include "filmwriter/FilmWriter.h"

class CPlaybackGraph {
 public:
  CPlaybackGraph(CTestReport* report, const std::string& label);
  ~CPlaybackGraph();
  CPlaybackGraph(const CPlaybackGraph&) = delete;
  CPlaybackGraph& operator=(const CPlaybackGraph&) = delete;

  // Every step is a check; FALSE when a later step cannot be tried.
  bool Build(const std::wstring& path, filmwriter::FilmWriter& writer);
  // The graph's own choice instead: sinks first, then IGraphBuilder::RenderFile.
  bool BuildByRenderFile(const std::wstring& path, filmwriter::FilmWriter& writer);
  // Run, wait for EC_COMPLETE from every sink, Stop.
  bool Play(const std::string& what);
  HRESULT Run();
  HRESULT Stop();
  // Each sink's samples against the prediction, and one end-of-stream each
  // unless the run was stopped part-way.
  void CheckDelivered(const std::string& what, bool stoppedPartWay = false);
  void ClearRecords();

  IBaseFilter* Splitter() const { return m_splitter.Get(); }
  CReceiveGate* Gate() { return &m_gate; }
  // Samples recorded on both outputs; perOutput says how they divide.
  size_t RecordedCount(std::string* perOutput);
  // Drops every reference the graph's objects hold.
  void Release();

 private:
  bool CreateGraph(filmwriter::FilmWriter& writer);
  bool AddSource(const std::wstring& path);
  bool ConnectSplitter();
  bool AddSink(const WCHAR* name, CRecordingSink** sink, CComRef<IBaseFilter>* holder);
  bool ConnectOutput(const WCHAR* name, CRecordingSink* sink);
  void CheckConnection(const WCHAR* name, CRecordingSink* sink);
  void CheckAudioType(const AM_MEDIA_TYPE& type);
  void CheckVideoType(const AM_MEDIA_TYPE& type);

  CTestReport* m_report;  // borrowed
  std::string m_label;
  filmwriter::FilmFormat m_format;
  filmwriter::FilmExpectation m_expect;
  CReceiveGate m_gate;
  CComRef<IGraphBuilder> m_graph;
  CComRef<IMediaControl> m_control;
  CComRef<IMediaEvent> m_events;
  CComRef<IBaseFilter> m_source;
  CComRef<IBaseFilter> m_splitter;
  CComRef<IBaseFilter> m_audioHolder;
  CComRef<IBaseFilter> m_videoHolder;
  CRecordingSink* m_audioSink = nullptr;  // borrowed from m_audioHolder
  CRecordingSink* m_videoSink = nullptr;  // borrowed from m_videoHolder
};
