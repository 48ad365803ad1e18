// The open-file dialog through which an administrator picks an ID file to import.
#pragma once

#include <windows.h>

#include "settings/module_state.h"

// True and the chosen file's path; false when the administrator cancels.
bool ChooseIDFile(HWND owner, char (&path)[PathChars]);
