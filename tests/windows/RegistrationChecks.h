// What regsvr32 leaves in the platform's registry and filter mapper, after
// registering the module and after unregistering it.
#pragma once

#include <string>

#include "CTestReport.h"

void CheckRegistered(CTestReport* report, const std::wstring& modulePath);
void CheckUnregistered(CTestReport* report);
