// Playing FILM files through the platform's graph: whole files, a run
// stopped part-way and started again, rendering by the graph's own choice,
// and the module's unloading once every object is gone.
#pragma once

#include <string>

#include "CTestReport.h"
#include "FilmShapes.h"

// Writes the shape's file into the working folder; its full path, or empty.
std::wstring WriteShape(CTestReport* report, FilmShape& shape);
void PlayWholeFile(CTestReport* report, FilmShape& shape, const std::wstring& path);
void StopPartWayAndReplay(CTestReport* report, FilmShape& shape, const std::wstring& path);
void RenderByTheGraph(CTestReport* report, FilmShape& shape, const std::wstring& path);
// The module was loaded through COM on this thread's apartment from
// modulePath: every object is gone, so it answers DllCanUnloadNow with S_OK
// and this thread's CoFreeUnusedLibraries unloads it.
void CheckModuleUnloads(CTestReport* report, const std::string& when,
                        const std::wstring& modulePath);
// The module's own DllCanUnloadNow.
HRESULT CanUnloadNow(HMODULE module);
