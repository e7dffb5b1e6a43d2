// Registration of the class table rows: their COM class keys, and through
// each filter's own IAMovieSetup its entry in the platform's filter mapper.
// COM must already be initialised on the calling thread.
#pragma once

#include "Platform.h"
#include "module/ClassTable.h"

// Rows in table order; the first failure ends the walk, leaving earlier rows
// registered.
HRESULT RegisterAllClasses();
HRESULT RegisterAllClasses(const ClassTemplateEntry* table, int count);

// Rows from the last to the first, from the rows' own setup data: no object
// is created, and a row with nothing registered is no failure. A filter
// whose class the other registry view still holds keeps its entry in the
// mapper. A row registered to another module file that exists is left to
// that file, and the result is S_FALSE.
HRESULT UnregisterAllClasses();
HRESULT UnregisterAllClasses(const ClassTemplateEntry* table, int count);

// The module file's full path as the system reports it for the handle saved
// at attach.
HRESULT ModuleServerPath(WCHAR (&path)[MAX_PATH]);
