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

constexpr LONG kHeldAtSample = 7;
constexpr DWORD kHeldTimeoutMs = 30000;
constexpr DWORD kStopTimeoutMs = 30000;

// Opens the gate if Stop has not returned in time, so that a Stop that waits
// for a held delivery is reported instead of hanging the run.
class CStopWatchdog {
 public:
  explicit CStopWatchdog(CReceiveGate* gate)
      : m_gate(gate), m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    m_thread = CreateThread(nullptr, 0, &CStopWatchdog::Main, this, 0, nullptr);
  }
  ~CStopWatchdog() {
    SetEvent(m_done);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    CloseHandle(m_done);
  }
  bool Fired() const { return m_fired != 0; }

 private:
  static DWORD WINAPI Main(void* self) {
    auto* watchdog = static_cast<CStopWatchdog*>(self);
    if (WaitForSingleObject(watchdog->m_done, kStopTimeoutMs) == WAIT_TIMEOUT) {
      InterlockedExchange(&watchdog->m_fired, 1);
      watchdog->m_gate->Open();
    }
    return 0;
  }

  CReceiveGate* m_gate;  // borrowed
  HANDLE m_done;         // owned
  HANDLE m_thread;       // owned
  volatile LONG m_fired = 0;
};

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
  CheckPosition(report, shape.name, graph.Splitter(), shape.writer.Expect());
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
  report->Check(SUCCEEDED(hr), shape.name + ": IMediaControl::Run", HexResult(hr));
  bool held =
      report->Check(graph.Gate()->WaitHeld(kHeldTimeoutMs),
                    shape.name + ": delivery held at sample " + std::to_string(kHeldAtSample));
  {
    CStopWatchdog watchdog(graph.Gate());
    hr = graph.Stop();
    report->Check(
        hr == S_OK && !watchdog.Fired(),
        shape.name + ": IMediaControl::Stop in the middle of the file returns",
        HexResult(hr) + (watchdog.Fired() ? ", only after the held delivery was let go" : ""));
  }
  if (held) {
    report->Check(graph.RecordedCount() == kHeldAtSample,
                  shape.name + ": " + std::to_string(kHeldAtSample) + " samples before Stop",
                  std::to_string(graph.RecordedCount()));
    graph.CheckDelivered("before Stop", true);
  }

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

void CheckModuleUnloads(CTestReport* report, const std::string& when, const std::string& modulePath,
                        bool loadedHere) {
  HMODULE module = GetModuleHandleA(kModuleFileName);
  if (!loadedHere && module == nullptr) {
    // The graph made the splitter on a thread of its own, whose apartment
    // has already let the module go.
    report->Check(true, when + ": the module is unloaded");
    return;
  }
  if (!report->Check(module != nullptr, when + ": the module was loaded through COM")) {
    return;
  }
  char loadedFrom[MAX_PATH] = {};
  GetModuleFileNameA(module, loadedFrom, MAX_PATH);
  report->Check(lstrcmpiA(loadedFrom, modulePath.c_str()) == 0,
                when + ": COM loaded the module from the registered path", loadedFrom);
  typedef HRESULT(STDAPICALLTYPE * CanUnloadNow)();
  auto canUnload = reinterpret_cast<CanUnloadNow>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  HRESULT hr = canUnload != nullptr ? canUnload() : E_NOINTERFACE;
  report->Check(hr == S_OK, when + ": DllCanUnloadNow answers S_OK", HexResult(hr));
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
