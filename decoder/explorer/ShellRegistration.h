// The keys through which Explorer finds the FILM handlers: the thumbnail
// provider under each extension's ShellEx key, the property handler under
// the property system's PropertyHandlers. Only these keys: the extensions'
// own values (the user's program, OpenWithProgids) are never touched.
#pragma once

#include "Platform.h"

// Writes the keys in this module's registry view.
HRESULT RegisterShellHandlers();

// Removes the keys whose value still names our classes, in both registry
// views, then the ShellEx and extension keys this left empty. The keys stay
// while the module of the other bitness is registered: an extension's
// ShellEx key is one for both.
HRESULT UnregisterShellHandlers();
