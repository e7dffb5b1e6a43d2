#include "SampleComparison.h"

#include <cstring>
#include <sstream>

using filmwriter::ExpectedSample;

std::vector<ExpectedSample> SamplesOf(const filmwriter::FilmExpectation& expect,
                                      filmwriter::Stream stream) {
  std::vector<ExpectedSample> samples;
  for (const ExpectedSample& sample : expect.samples) {
    if (sample.stream == stream) {
      samples.push_back(sample);
    }
  }
  return samples;
}

std::string SampleDifference(const RecordedSample& got, const ExpectedSample& want) {
  std::ostringstream out;
  if (got.timeResult != S_OK || got.start != want.start || got.stop != want.stop) {
    out << "GetTime " << HexResult(got.timeResult) << " " << got.start << ".." << got.stop
        << ", expected S_OK " << want.start << ".." << want.stop << "; ";
  }
  if (got.mediaTimeResult != S_OK || got.mediaStart != want.start || got.mediaStop != want.stop) {
    out << "GetMediaTime " << HexResult(got.mediaTimeResult) << " " << got.mediaStart << ".."
        << got.mediaStop << ", expected S_OK " << want.start << ".." << want.stop << "; ";
  }
  HRESULT sync = want.syncPoint ? S_OK : S_FALSE;
  if (got.syncResult != sync) {
    out << "IsSyncPoint " << HexResult(got.syncResult) << ", expected " << HexResult(sync) << "; ";
  }
  if (got.discontinuityResult != S_FALSE) {
    out << "IsDiscontinuity " << HexResult(got.discontinuityResult) << ", expected S_FALSE; ";
  }
  if (got.length != static_cast<LONG>(want.payload.size())) {
    out << "GetActualDataLength " << got.length << ", expected " << want.payload.size() << "; ";
  } else if (got.bytes.size() != want.payload.size() ||
             (want.determinedLength > 0 &&
              std::memcmp(got.bytes.data(), want.payload.data(), want.determinedLength) != 0)) {
    size_t at = 0;
    while (at < want.determinedLength && at < got.bytes.size() &&
           got.bytes[at] == want.payload[at]) {
      ++at;
    }
    out << "payload differs at byte " << at << "; ";
  }
  return out.str();
}

void CheckSamples(CTestReport* report, const std::string& name,
                  const std::vector<RecordedSample>& got, const std::vector<ExpectedSample>& want,
                  bool prefixOnly) {
  std::ostringstream detail;
  bool countOk = prefixOnly ? got.size() <= want.size() : got.size() == want.size();
  if (!countOk) {
    detail << got.size() << " samples, expected " << want.size() << "; ";
  }
  for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
    std::string difference = SampleDifference(got[i], want[i]);
    if (!difference.empty()) {
      detail << "sample " << i << " (row " << want[i].row << "): " << difference;
      break;
    }
  }
  std::string text = detail.str();
  report->Check(text.empty(), name + " (" + std::to_string(got.size()) + " samples)", text);
}
