// The mode administration dialog (templates 102 and 105, menu 1) and its checks.
#pragma once

#include <windows.h>

// Checks the radio button of `mode`: 1 Tab, 2 Popup, 3 Hide, anything else No Support.
void CheckModeRadio(HWND dialog, DWORD mode);
// 1 when the process token's groups hold BUILTIN\Administrators, else 0.
int IsAdministrator();
// 1 when this computer shares a printer, else 0.
int AnySharedPrinter();

extern "C" INT_PTR CALLBACK ChangeJobAccountModeDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                            LPARAM lParam);
