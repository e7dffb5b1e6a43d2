#include "PlaybackScenarios.h"

#include <windows.h>

#include <control.h>
#include <strmif.h>

#include "CComRef.h"
#include "CPlaybackGraph.h"
#include "GraphInspection.h"
#include "PositionChecks.h"
#include "TessalyIdentifiers.h"

namespace {

// Receives let through before the hold, counted over both outputs: with a
// worker per output they interleave in any order.
constexpr LONG kHeldAtSample = 7;

}  // namespace

std::wstring WriteShape(CTestReport* report, FilmShape& shape) {
  bool written = shape.writer.WriteFile(shape.fileName);
  if (!report->Check(written, shape.name + ": FILM file written")) {
    return std::wstring();
  }
  WCHAR name[MAX_PATH];
  WCHAR full[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, shape.fileName.c_str(), -1, name, MAX_PATH);
  if (GetFullPathNameW(name, MAX_PATH, full, nullptr) == 0) {
    return std::wstring();
  }
  return full;
}

void PlayWholeFile(CTestReport* report, FilmShape& shape, const std::wstring& path) {
  CPlaybackGraph graph(report, shape.name);
  if (!graph.Build(path, shape.writer)) {
    return;
  }
  CheckPosition(report, shape.name, graph.Splitter(), shape.writer);
  graph.Play("run");
  graph.CheckDelivered("run");
}

void StopPartWayAndReplay(CTestReport* report, FilmShape& shape, const std::wstring& path) {
  CPlaybackGraph graph(report, shape.name);
  if (!graph.Build(path, shape.writer)) {
    return;
  }
  graph.Gate()->CloseAt(kHeldAtSample);
  HRESULT hr = graph.Run();
  if (!report->Check(SUCCEEDED(hr), shape.name + ": IMediaControl::Run", HexResult(hr))) {
    return;
  }
  // No time limits here: a delivery that never comes, or a Stop that waits
  // for the held receive, hangs the program until the script's step timeout
  // ends it, instead of failing at random on a slow machine.
  graph.Gate()->WaitHeld();
  const LONG heldAt = graph.Gate()->HeldAt();
  report->Check(heldAt == kHeldAtSample,
                shape.name + ": delivery held at sample " + std::to_string(kHeldAtSample),
                "held at " + std::to_string(heldAt));
  hr = graph.Stop();
  report->Check(hr == S_OK, shape.name + ": IMediaControl::Stop in the middle of the file returns",
                HexResult(hr));
  // Stop has joined the splitter's workers, so every receive let through
  // before the hold is recorded, and none after it.
  std::string perOutput;
  const size_t recorded = graph.RecordedCount(&perOutput);
  report->Check(recorded == kHeldAtSample,
                shape.name + ": " + std::to_string(kHeldAtSample) + " samples before Stop",
                perOutput);
  graph.CheckDelivered("before Stop", true);

  graph.ClearRecords();
  graph.Gate()->CloseAt(-1);
  graph.Play("run after Stop");
  graph.CheckDelivered("run after Stop replays from the first row");
}

void RenderByTheGraph(CTestReport* report, FilmShape& shape, const std::wstring& path) {
  CPlaybackGraph graph(report, "RenderFile, " + shape.name);
  if (!graph.BuildByRenderFile(path, shape.writer)) {
    return;
  }
  graph.Play("run");
  graph.CheckDelivered("run");
}

void CheckModuleUnloads(CTestReport* report, const std::string& when,
                        const std::wstring& modulePath) {
  HMODULE module = GetModuleHandleA(kModuleFileName);
  if (!report->Check(module != nullptr, when + ": the module was loaded through COM")) {
    return;
  }
  WCHAR loadedFrom[MAX_PATH] = {};
  GetModuleFileNameW(module, loadedFrom, MAX_PATH);
  report->Check(lstrcmpiW(loadedFrom, modulePath.c_str()) == 0,
                when + ": COM loaded the module from the registered path", Narrow(loadedFrom));
  report->Check(CanUnloadNow(module) == S_OK, when + ": DllCanUnloadNow answers S_OK",
                HexResult(CanUnloadNow(module)));
  CoFreeUnusedLibraries();
  if (GetModuleHandleA(kModuleFileName) != nullptr) {
    // The platform keeps a "Both" module loaded for a grace period (ten
    // minutes by default) in case a thread is still leaving its code; a
    // delay of 0 asks for the unload at once.
    report->Note("CoFreeUnusedLibraries left the module loaded; asking again without delay");
    CoFreeUnusedLibrariesEx(0, 0);
  }
  report->Check(GetModuleHandleA(kModuleFileName) == nullptr,
                when + ": the unused module is unloaded");
}

HRESULT CanUnloadNow(HMODULE module) {
  typedef HRESULT(STDAPICALLTYPE * CanUnloadNowFn)();
  auto canUnload = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return canUnload != nullptr ? canUnload() : E_NOINTERFACE;
}
