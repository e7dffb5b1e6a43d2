// Our Cinepak decoder against the platform's own (opened through the video
// codec manager): random streams with inter frames, decoded by both into
// bitmaps of every layout the platform's decoder offers, compared byte for byte.
#pragma once

#include "CTestReport.h"

void CompareCinepakDecoders(CTestReport* report);
