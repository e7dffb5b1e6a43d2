// The Windows test program: drives TESSALY.AX through the platform's own
// registry, filter mapper, filter graph, file source, allocator and
// automation library. scripts/wine-test.sh runs it under Wine:
//   tessaly-wintest registered   <full path of TESSALY.AX>   (after regsvr32)
//   tessaly-wintest unregistered <full path of TESSALY.AX>   (after regsvr32 /u)
//   tessaly-wintest soak <full path of TESSALY.AX>   (1,000 random player
//     commands in the runtime's graph, twice; after regsvr32)
//   tessaly-wintest cinepak      (our Cinepak decoder against the platform's)
//   tessaly-wintest hold <full path of TESSALY.AX>   (a player: holds a filter
//     made through COM, prints "HOLDING", lets go at a line or the end of input)
//   tessaly-wintest render-default film|codec   (RenderFile on a FILM movie
//     it writes, with the runtime's default renderers; or the runtime's
//     Cinepak decompressor alone asked for the renderer's format; the outcome
//     is reported, not checked)
//   tessaly-wintest lock-key|unlock-key   (makes the FILM "Media Type" key of
//     this program's registry view, read-only, or writable again)
//   tessaly-wintest explorer <full path of TESSALYCV.AX>   (the FILM thumbnail
//     provider and property handler, called as the shell calls them)
//   tessaly-wintest explorer-gone   (no handler key of ours is left)
#include <windows.h>

#include <control.h>
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>
#include <strmif.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CComRef.h"
#include "CTestReport.h"
#include "CinepakDifferential.h"
#include "ExplorerChecks.h"
#include "FilmShapes.h"
#include "PlaybackScenarios.h"
#include "PlayerScenarios.h"
#include "RegistrationChecks.h"
#include "RenderDefault.h"
#include "TessalyIdentifiers.h"

namespace {

const WCHAR kFilmTypeKeyPath[] =
    L"Software\\Classes\\Media Type\\{E436EB83-524F-11CE-9F53-0020AF0BA770}"
    L"\\{6B1E4F21-D3A7-11D1-8C53-00A0C93B7E14}";

void RunRegistered(CTestReport* report, const std::wstring& modulePath) {
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
  }
  CheckModuleUnloads(report, "graphs released", modulePath);

  // The graph makes the splitter on a thread of its own, whose apartment may
  // let the module go before this thread asks: a load of this program's own
  // keeps it there to answer.
  HMODULE pinned = LoadLibraryW(modulePath.c_str());
  report->Check(pinned != nullptr, "RenderFile: the module file loads");
  FilmShape& both = shapes[shapes.size() - 2];
  RenderByTheGraph(report, both, WriteShape(report, both));
  if (pinned != nullptr) {
    const HRESULT hr = CanUnloadNow(pinned);
    report->Check(hr == S_OK, "rendered graph released: DllCanUnloadNow answers S_OK",
                  HexResult(hr));
    FreeLibrary(pinned);
  }
}

// A player's random day, in both graphs: the frames taken as they are
// under every command, then decoded under every command but Stop.
void Soak(CTestReport* report) {
  FilmShape seekingMovie = SeekingMovie();
  std::wstring seekingPath = WriteShape(report, seekingMovie);
  if (!seekingPath.empty()) {
    SoakInPlayerGraph(report, seekingMovie, seekingPath, SoakGraph::Compressed);
    SoakInPlayerGraph(report, seekingMovie, seekingPath, SoakGraph::DecodedWithoutStop);
  }
}

// A player holding the filter: the module stays loaded from modulePath
// until the script says so. Its interface set is the one it keeps.

void Hold(CTestReport* report, const std::wstring& modulePath) {
  CComRef<IBaseFilter> filter;
  HRESULT hr = CoCreateInstance(kClsidCpkSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                filter.OutVoid());
  if (!report->Check(SUCCEEDED(hr), "hold: CoCreateInstance(CLSID_CpkSplitter)", HexResult(hr))) {
    return;
  }
  WCHAR loadedFrom[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleA(kModuleFileName), loadedFrom, MAX_PATH);
  report->Check(lstrcmpiW(loadedFrom, modulePath.c_str()) == 0,
                "hold: the module is loaded from the installed path", Narrow(loadedFrom));
  CComRef<IMediaPosition> position;
  CComRef<IDispatch> dispatch;
  hr = filter->QueryInterface(IID_IMediaPosition, position.OutVoid());
  report->Check(hr == S_OK, "hold: an unconnected filter answers IMediaPosition", HexResult(hr));
  hr = filter->QueryInterface(IID_IDispatch, dispatch.OutVoid());
  report->Check(hr == S_OK && static_cast<IUnknown*>(dispatch.Get()) ==
                                  static_cast<IUnknown*>(position.Get()),
                "hold: IDispatch is the dual IMediaPosition", HexResult(hr));
  std::printf("HOLDING\n");
  std::fflush(stdout);
  char line[64];
  if (std::fgets(line, sizeof(line), stdin) == nullptr) {
    report->Note("hold: input ended");
  }
}

// The FILM "Media Type" key of this program's registry view, made ahead of
// registration with an access list that lets everyone read it and change
// the list, and nothing else; or back to no access list at all.
bool SetFilmTypeKeyAccess(CTestReport* report, bool readOnly) {
  const WCHAR* text = readOnly ? L"D:P(A;;KR;;;WD)(A;;RCWD;;;WD)" : L"D:NO_ACCESS_CONTROL";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return report->Check(false, "key access: security descriptor",
                         "error " + std::to_string(GetLastError()));
  }
  HKEY key;
  LONG error = readOnly ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFilmTypeKeyPath, 0, nullptr, 0,
                                          READ_CONTROL | WRITE_DAC, nullptr, &key, nullptr)
                        : RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFilmTypeKeyPath, 0,
                                        READ_CONTROL | WRITE_DAC, &key);
  if (error == ERROR_SUCCESS) {
    error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    RegCloseKey(key);
  }
  LocalFree(descriptor);
  // Wine lets the failed registration delete the key in its way.
  if (!readOnly && error == ERROR_FILE_NOT_FOUND) {
    return report->Check(true, "the FILM \"Media Type\" key is gone");
  }
  return report->Check(error == ERROR_SUCCESS,
                       readOnly ? "the FILM \"Media Type\" key is there, read-only"
                                : "the FILM \"Media Type\" key is writable again",
                       "error " + std::to_string(error));
}

// The module path as given, in wide characters whatever the code page.
std::wstring WideArgument(int index) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring argument = arguments != nullptr && index < count ? arguments[index] : L"";
  LocalFree(arguments);
  return argument;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "cinepak") == 0) {
    CTestReport report;
    CompareCinepakDecoders(&report);
    return report.Finish();
  }
  const bool render = argc == 3 && std::strcmp(argv[1], "render-default") == 0 &&
                      (std::strcmp(argv[2], "film") == 0 || std::strcmp(argv[2], "codec") == 0);
  if (render) {
    CTestReport report;
    if (FAILED(CoInitialize(nullptr))) {
      return 1;
    }
    const int outcome = std::strcmp(argv[2], "film") == 0 ? RenderWithDefaultRenderers(&report)
                                                          : ProbeCinepakDecoder(&report);
    CoUninitialize();
    return outcome;
  }
  const bool withPath =
      argc == 3 &&
      (std::strcmp(argv[1], "registered") == 0 || std::strcmp(argv[1], "unregistered") == 0 ||
       std::strcmp(argv[1], "hold") == 0 || std::strcmp(argv[1], "soak") == 0 ||
       std::strcmp(argv[1], "explorer") == 0);
  if (argc == 2 && std::strcmp(argv[1], "explorer-gone") == 0) {
    CTestReport report;
    CheckExplorerHandlersGone(&report);
    return report.Finish();
  }
  const bool keyAccess = argc == 2 && (std::strcmp(argv[1], "lock-key") == 0 ||
                                       std::strcmp(argv[1], "unlock-key") == 0);
  if (!withPath && !keyAccess) {
    std::fprintf(stderr,
                 "usage: %s registered|unregistered|hold|soak <full path of TESSALY.AX>\n"
                 "       %s explorer <full path of TESSALYCV.AX>\n"
                 "       %s lock-key|unlock-key|cinepak|explorer-gone\n"
                 "       %s render-default film|codec\n",
                 argv[0], argv[0], argv[0], argv[0]);
    return 2;
  }
  CTestReport report;
  if (keyAccess) {
    SetFilmTypeKeyAccess(&report, std::strcmp(argv[1], "lock-key") == 0);
    return report.Finish();
  }
  const std::wstring modulePath = WideArgument(2);
  // A single-threaded apartment: CoFreeUnusedLibraries then frees an
  // unloadable module at once instead of after the free-threaded delay.
  HRESULT hr = CoInitialize(nullptr);
  if (report.Check(SUCCEEDED(hr), "CoInitialize", HexResult(hr))) {
    if (std::strcmp(argv[1], "registered") == 0) {
      RunRegistered(&report, modulePath);
    } else if (std::strcmp(argv[1], "soak") == 0) {
      Soak(&report);
    } else if (std::strcmp(argv[1], "explorer") == 0) {
      CheckExplorerHandlers(&report, modulePath);
    } else if (std::strcmp(argv[1], "hold") == 0) {
      Hold(&report, modulePath);
    } else {
      CheckUnregistered(&report);
    }
    CoUninitialize();
  }
  return report.Finish();
}
