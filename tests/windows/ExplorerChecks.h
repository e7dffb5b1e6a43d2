// Explorer's view of FILM movies, called as the shell calls it (Wine's own
// shell never calls a provider): the classes found through the extensions'
// keys, thumbnails and properties of movies from our writer, against our
// decoder's picture and what the splitter reports in a graph; and after
// uninstalling, no handler key left.
#pragma once

#include <string>

#include "CTestReport.h"

// decoderPath: the TESSALYCV.AX the classes must name in this program's view.
void CheckExplorerHandlers(CTestReport* report, const std::wstring& decoderPath);
void CheckExplorerHandlersGone(CTestReport* report);
