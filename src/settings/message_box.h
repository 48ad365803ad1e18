// Message boxes only where someone can answer them.
#pragma once

#include <windows.h>

// Whether this process's window station is the one a user sees. A service, a SYSTEM task, a
// deployment tool's custom action or a driver host of the spooler runs in a window station nobody
// sees: a box or dialog there waits for ever. One that cannot be asked counts as unseen, and so
// does every window station of session 0 from Windows Vista on.
bool WindowStationVisible();

// The same, for an export about to open a box or dialog: where nobody would see it, false with
// ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION as the thread's last error.
bool WindowsCanBeAnswered();

// MessageBoxA captioned with the module's AppName. Where nobody can see it, no window is made: the
// result is 0 with ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION as the thread's last error.
int ShowModuleMessage(HWND owner, const char* text, UINT type);
