// The another-client path dialog (template 104): which client's registered-ID list this one reads.
#pragma once

#include <windows.h>

// Init parameter unused. Ends with 1 after OK (the master copy then holds the new "Path" and
// "Mode"), 0 after Cancel.
INT_PTR CALLBACK AnotherClientDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
