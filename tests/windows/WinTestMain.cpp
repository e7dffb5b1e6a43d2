// The Windows test program: drives TESSALY.AX through the platform's own
// registry, filter mapper, filter graph, file source, allocator and
// automation library. scripts/wine-test.sh runs it under Wine:
//   tessaly-wintest registered   <full path of TESSALY.AX>   (after regsvr32)
//   tessaly-wintest unregistered <full path of TESSALY.AX>   (after regsvr32 /u)
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CTestReport.h"
#include "FilmShapes.h"
#include "PlaybackScenarios.h"
#include "PlayerScenarios.h"
#include "RegistrationChecks.h"

namespace {

void RunRegistered(CTestReport* report, const std::string& modulePath) {
  CheckRegistered(report, modulePath);

  std::vector<FilmShape> shapes = PlaybackShapes();
  for (FilmShape& shape : shapes) {
    std::wstring path = WriteShape(report, shape);
    if (!path.empty()) {
      PlayWholeFile(report, shape, path);
    }
  }
  std::vector<FilmShape> cutShapes = CutShapes();
  for (FilmShape& shape : cutShapes) {
    std::wstring path = WriteShape(report, shape);
    if (!path.empty()) {
      PlayWholeFile(report, shape, path);
    }
  }
  FilmShape longShape = LongShape();
  std::wstring longPath = WriteShape(report, longShape);
  if (!longPath.empty()) {
    StopPartWayAndReplay(report, longShape, longPath);
  }
  std::vector<FilmShape> movies = PlayerShapes();
  for (FilmShape& movie : movies) {
    std::wstring path = WriteShape(report, movie);
    if (!path.empty()) {
      PlayInPlayerGraph(report, movie, path);
    }
  }
  FilmShape seekingMovie = SeekingMovie();
  std::wstring seekingPath = WriteShape(report, seekingMovie);
  if (!seekingPath.empty()) {
    SeekInPlayerGraph(report, seekingMovie, seekingPath);
    SoakInPlayerGraph(report, seekingMovie, seekingPath);
  }
  CheckModuleUnloads(report, "graphs released", modulePath, true);

  FilmShape& both = shapes[shapes.size() - 2];
  RenderByTheGraph(report, both, WriteShape(report, both));
  CheckModuleUnloads(report, "rendered graph released", modulePath, false);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 ||
      (std::strcmp(argv[1], "registered") != 0 && std::strcmp(argv[1], "unregistered") != 0)) {
    std::fprintf(stderr, "usage: %s registered|unregistered <full path of TESSALY.AX>\n", argv[0]);
    return 2;
  }
  CTestReport report;
  // A single-threaded apartment: CoFreeUnusedLibraries then frees an
  // unloadable module at once instead of after the free-threaded delay.
  HRESULT hr = CoInitialize(nullptr);
  if (report.Check(SUCCEEDED(hr), "CoInitialize", HexResult(hr))) {
    if (std::strcmp(argv[1], "registered") == 0) {
      RunRegistered(&report, argv[2]);
    } else {
      CheckUnregistered(&report);
    }
    CoUninitialize();
  }
  return report.Finish();
}
