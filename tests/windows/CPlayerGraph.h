// The graph a real player builds, all of it the runtime's own but the
// splitter: the async file source; IGraphBuilder::Connect from it to a Sample
// Grabber that asks for RGB24, so that the graph finds the splitter by its
// check bytes and a decompressor for 'cvid' by itself; the grabber into a
// Null Renderer; the audio output into a second grabber (PCM) and renderer.
#pragma once

#include <windows.h>

#include <control.h>
#include <strmif.h>

#include <string>

#include "CComRef.h"
#include "CGrabberCallback.h"
#include "CTestReport.h"
#include "SampleGrabber.h"

class CPlayerGraph {
 public:
  CPlayerGraph(CTestReport* report, const std::string& label);
  ~CPlayerGraph();
  CPlayerGraph(const CPlayerGraph&) = delete;
  CPlayerGraph& operator=(const CPlayerGraph&) = delete;

  // How the video reaches its grabber: decoded to RGB24 by the decompressor
  // the graph inserts, or as the splitter's 'cvid' frames, straight.
  enum class VideoPath { Decoded, Compressed };

  // Every step is a check; FALSE when playing cannot be tried.
  bool Build(const std::wstring& path, bool withAudio, VideoPath videoPath = VideoPath::Decoded);

  IGraphBuilder* Graph() const { return m_graph.Get(); }
  IMediaControl* Control() const { return m_control.Get(); }
  IMediaEvent* Events() const { return m_events.Get(); }
  // The graph's clock time (100-ns units), or -1 without a clock.
  REFERENCE_TIME ClockTime();
  // The picture layout the decompressor delivers: width, height, rows bottom-up.
  LONG Width() const { return m_width; }
  LONG Height() const { return m_height; }
  bool BottomUp() const { return m_bottomUp; }

  CGrabberCallback* Video() { return &m_video; }
  CGrabberCallback* Audio() { return &m_audio; }
  // Stops the graph and drops every reference to its objects.
  void Release();

 private:
  bool AddGrabber(const WCHAR* name, const GUID& major, const GUID& sub, CGrabberCallback* callback,
                  CComRef<IBaseFilter>* grabber);
  bool AddRenderer(const WCHAR* name, IBaseFilter* grabber);
  bool ConnectVideo(VideoPath videoPath);
  bool ConnectAudio();
  void ReadPictureLayout();

  CTestReport* m_report;  // borrowed
  std::string m_label;
  // Declared before the graph's objects, so that the grabbers let go of them first.
  CGrabberCallback m_video;
  CGrabberCallback m_audio;
  CComRef<IGraphBuilder> m_graph;
  CComRef<IMediaControl> m_control;
  CComRef<IMediaEvent> m_events;
  CComRef<IBaseFilter> m_source;
  CComRef<IBaseFilter> m_splitter;
  CComRef<IBaseFilter> m_videoGrabber;
  CComRef<IBaseFilter> m_audioGrabber;
  LONG m_width = 0;
  LONG m_height = 0;
  bool m_bottomUp = true;
};
