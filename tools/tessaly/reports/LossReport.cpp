#include "tessaly/reports/LossReport.h"

#include <cstdio>

#include "film/FilmLayout.h"
#include "tessaly/CCommandError.h"
#include "tessaly/film/CFilmKeyFrames.h"
#include "tessaly/film/CFilmTruncation.h"
#include "tessaly/reports/HResultText.h"

namespace tessaly::cli {

namespace {

void Warn(const std::string& text) { std::fprintf(stderr, "tessaly: warning: %s\n", text.c_str()); }

// What the splitter found past the end of a file that lacks no row and did
// not change: the table's own damage, named as info counts it.
std::string UncutShortfall(const CFilmTruncation& truncation, const CFilmTableFile& table) {
  if (table.Read() && table.FileSize() < film::kHeaderLength + table.RegionLength()) {
    return "the file ends inside its sample-table region, after every row that plays; nothing of "
           "the movie is missing";
  }
  const uint64_t damaged = truncation.RowsDamaged();
  if (damaged > 0) {
    return "chunks of rows too damaged ever to play (" + std::to_string(damaged) +
           " in the sample table: too large for the splitter's buffers or too short to hold a "
           "frame) reach past the file's end; skipped, and the file is not cut short";
  }
  return "the splitter found data missing at a stream's end that the sample table does not "
         "show; played what exists";
}

// The line for one kind of loss; sets *readFailed for a read that failed.
std::string KindLine(HRESULT cause, const CFilmTruncation& truncation, const CFilmTableFile& table,
                     const CFilmGraph& graph, const std::string& path, bool* readFailed) {
  if (cause == VFW_E_FILE_TOO_SHORT) {
    if (truncation.CutShort()) {
      bool audio = false;
      bool video = false;
      for (const OutputPin& pin : graph.Outputs()) {
        audio = audio || pin.name == "Audio";
        video = video || pin.name == "Video";
      }
      return path + " is cut short, " + truncation.Summary(audio, video) + "; played what exists";
    }
    if (graph.FileChanged()) {
      return path +
             " lacked data while it played (it changed as it was read); played what "
             "existed";
    }
    return path + ": " + UncutShortfall(truncation, table);
  }
  if (cause == VFW_E_BUFFER_OVERFLOW) {
    return path + ": chunks too large for the splitter's buffers were skipped (" +
           DescribeHResult(cause) + ")";
  }
  if (cause == VFW_E_INVALIDMEDIATYPE) {
    return path + ": damaged chunks (too short to hold a frame) were skipped (" +
           DescribeHResult(cause) + ")";
  }
  *readFailed = true;
  return path + " could not be read in full: " + DescribeHResult(cause) +
         "; wrote everything that could be read";
}

// The entry count decides whether the file offers video at all, the table
// length which rows stream: video rows past a count that holds none are in
// the table, but no pin plays them.
void WarnOfUnofferedVideo(const CFilmGraph& graph, const CFilmTableFile& table,
                          const std::string& path) {
  for (const OutputPin& pin : graph.Outputs()) {
    if (pin.name == "Video") return;
  }
  const uint64_t frames = CFilmKeyFrames(table).VideoFrames();
  if (frames == 0) return;
  Warn(path + ": " + std::to_string(frames) + " video frame" + (frames == 1 ? "" : "s") +
       " in the sample table not played: its entry count (" +
       std::to_string(CFilmTableFile::Field(table.Table(), 12)) +
       ") holds no video row, so the file offers no Video pin");
}

}  // namespace

int ReportLosses(const CFilmGraph& graph, const CFilmTableFile& table, const std::string& path) {
  WarnOfUnofferedVideo(graph, table, path);
  const std::vector<HRESULT>& causes = graph.LossCauses();
  if (causes.empty()) return kExitSuccess;
  const CFilmTruncation truncation(table);
  bool readFailed = false;
  for (HRESULT cause : causes) Warn(KindLine(cause, truncation, table, graph, path, &readFailed));
  const std::string gaps = graph.Tally()->Summary();
  if (!gaps.empty()) Warn(path + ": not played: " + gaps);
  return readFailed ? kExitReadFailed : kExitSuccess;
}

}  // namespace tessaly::cli
