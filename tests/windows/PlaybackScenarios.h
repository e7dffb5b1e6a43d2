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
// loadedHere: the module was loaded on this thread's apartment, so it must
// still be loaded until this thread frees unused libraries.
void CheckModuleUnloads(CTestReport* report, const std::string& when, const std::string& modulePath,
                        bool loadedHere);
