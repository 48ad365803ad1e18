// The "Hide Mode" and "Help" menu commands of the mode administration dialog.
#pragma once

#include <windows.h>

#include "idlist/driver_list.h"

// Runs menu command `id` of the dialog; `drivers` receive the master copy after a change. False
// for a command that is not a menu command handled here.
bool RunModeMenuCommand(HWND dialog, UINT id, const DriverList* drivers);

// The version box text: "<AppName> Ver.<product version>[added]\n" followed by the copyright
// lines. 0 (and an empty buffer) when the module's version resource cannot be read.
int BuildVersionText(char* buffer, size_t size);
template <size_t N>
int BuildVersionText(char (&buffer)[N]) { return BuildVersionText(buffer, N); }
