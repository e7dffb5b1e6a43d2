// The warnings that follow a play whose splitter could not play everything:
// one line a kind of loss the graph heard of, then what the gaps in the
// streams add up to.
#pragma once

#include <string>

#include "tessaly/film/CFilmTableFile.h"
#include "tessaly/graph/CFilmGraph.h"

namespace tessaly::cli {

// Prints the warnings on standard error. Returns kExitReadFailed when a read
// of the file failed (everything that could be read has been written), else
// kExitSuccess: rows too damaged to play are no failure of the run.
int ReportLosses(const CFilmGraph& graph, const CFilmTableFile& table, const std::string& path);

}  // namespace tessaly::cli
