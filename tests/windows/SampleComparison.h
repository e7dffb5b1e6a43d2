// Compares what a recording sink received with what the FILM writer predicts.
#pragma once

#include <string>
#include <vector>

#include "CRecordingPin.h"
#include "CTestReport.h"
#include "filmwriter/FilmWriter.h"

std::vector<filmwriter::ExpectedSample> SamplesOf(const filmwriter::FilmExpectation& expect,
                                                  filmwriter::Stream stream);

// Empty when the sample matches; otherwise what differs.
std::string SampleDifference(const RecordedSample& got, const filmwriter::ExpectedSample& want);

// One check: every sample, in order, and nothing more; prefixOnly accepts
// fewer samples than predicted (a run stopped part-way).
void CheckSamples(CTestReport* report, const std::string& name,
                  const std::vector<RecordedSample>& got,
                  const std::vector<filmwriter::ExpectedSample>& want, bool prefixOnly = false);
