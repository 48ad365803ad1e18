// The registry entries that make the shell load the extension for printers' property sheets.
#pragma once

#include <windows.h>

// Each returns 0, else the error code of the first registry call that failed; what was done
// before that call stays done.
LONG RegisterExtension();
LONG UnregisterExtension();
