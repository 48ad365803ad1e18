// Message boxes that tell an administrator what failed: the string file's text for the failure,
// then the file it concerns and the system's reason, so that a failed write or a refused file is
// never passed over as a success.
#pragma once

#include <windows.h>

#include "idlist/id_list.h"

// "<key's text, else fallback>", a blank line, "<file>" and the system's text for `error`, in a
// box owned by `owner`, captioned with the application name.
void ShowFileFailure(HWND owner, const char* key, const char* fallback, const char* file, DWORD error);

// The settings file `file` could not be written (OK of the ID-list dialogs, the menu's import).
void ShowSettingsWriteFailure(HWND owner, const char* file, DWORD error);

// The box for an ID file refused as a whole: larger than an ID file can be, or UTF-16 text.
void ShowIDFileRefusal(HWND owner, IdFileRead read, const char* file);
