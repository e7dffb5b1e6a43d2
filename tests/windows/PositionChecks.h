// The splitter's IMediaPosition, directly and through IDispatch with the
// platform's own automation library and control type library.
#pragma once

#include <windows.h>

#include <strmif.h>

#include <string>

#include "CTestReport.h"
#include "filmwriter/FilmWriter.h"

void CheckPosition(CTestReport* report, const std::string& label, IBaseFilter* splitter,
                   const filmwriter::FilmExpectation& expect);
