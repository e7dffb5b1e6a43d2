#include "module/ClassTable.h"

#include "module/SetupData.h"
#include "splitter/CCpkSplitterFilter.h"
#include "splitter/SplitterIdentifiers.h"

const ClassTemplateEntry g_classTemplates[] = {
    {WIDE("Tessaly Parser"), &CLSID_CpkSplitter, &CreateCpkSplitterFilter, nullptr,
     &g_cpkSplitterSetup},
};

const int g_classTemplateCount =
    static_cast<int>(sizeof(g_classTemplates) / sizeof(g_classTemplates[0]));
