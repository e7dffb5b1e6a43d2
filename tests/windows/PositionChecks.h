// The splitter's IMediaPosition, directly and through IDispatch with the
// platform's own automation library and control type library.
#pragma once

#include <windows.h>

#include <strmif.h>

#include <string>

#include "CTestReport.h"
#include "filmwriter/FilmWriter.h"

// writer: the file's writer, whose table gives a movie without video its
// length (the bytes of its audio rows at the average rate).
void CheckPosition(CTestReport* report, const std::string& label, IBaseFilter* splitter,
                   const filmwriter::FilmWriter& writer);
