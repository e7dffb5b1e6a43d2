// The classes this module serves, one row each.
#pragma once

#include "Platform.h"

class CInnerUnknown;

using ClassCreator = CInnerUnknown* (*)(IUnknown* outer, HRESULT* result);
using ClassInitHook = void (*)(BOOL loading, const CLSID* classId);

struct ClassTemplateEntry {
  const WCHAR* m_name;  // the class description in the registry
  const CLSID* m_classId;
  ClassCreator m_creator;                 // null for a class COM cannot create here
  ClassInitHook m_initHook;               // null when the class needs no attach/detach work
  const AMOVIESETUP_FILTER* m_setupData;  // null for a class that is not a filter
};

extern const ClassTemplateEntry g_classTemplates[];
extern const int g_classTemplateCount;

// The first row serving classId, or null.
const ClassTemplateEntry* FindClassTemplate(REFCLSID classId);
