// What the FILM splitter tells the platform's filter mapper about itself.
#pragma once

#include "Platform.h"

extern const AMOVIESETUP_FILTER g_cpkSplitterSetup;

// The splitter's SetupData answers this.
const AMOVIESETUP_FILTER* CpkSplitterSetupData();
