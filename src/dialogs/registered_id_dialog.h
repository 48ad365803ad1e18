// The registered-ID dialog (template 103), one template for three tasks chosen by the init
// parameter: 0 edits the registered-ID list of the master copy; 2 picks one fixed-ID candidate and
// sends it to the Hide-mode drivers without changing the master copy; any other value edits the
// fixed-ID candidates and chooses the fixed ID.
#pragma once

#include <windows.h>

#include "idlist/id_list.h"

enum RegisteredIDTask : int { RegisteredIDList = 0, FixedIDSetup = 1, FixedIDSelection = 2 };

// Ends with 1 after OK, 0 after Cancel. In tasks 0 and 1 nothing is written before OK or Export;
// the caller propagates the master copy after OK.
INT_PTR CALLBACK RegisteredIDDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// rundll32 entry: picks a fixed ID for this computer's printers (task 2, no owner).
extern "C" INT_PTR WINAPI SelectFixedJobAccountMode(HWND window, HINSTANCE instance, LPSTR commandLine, int show);

// Opens the dialog modally for `task`, owned by `owner`; the dialog's result, -1 when it could not
// be created. After the selection's OK (task 2), `chosen`, when given, holds the row chosen, also
// when the drivers' copies could not take it.
INT_PTR OpenRegisteredIDDialog(HWND owner, int task, IdRow* chosen = nullptr);
