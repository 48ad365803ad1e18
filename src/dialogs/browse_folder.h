// The system's folder browser, for the dialogs that point at or export to a folder.
#pragma once

#include <windows.h>

#include "settings/module_state.h"

// Shows the folder browser with the folder in `path` selected (the user's documents folder when
// `path` is empty). 1 when a folder was chosen, `path` then holding its path (or, for an item
// outside the file system, its display name); 0 when cancelled.
int BrowseForFolder(HWND owner, char (&path)[PathChars]);
