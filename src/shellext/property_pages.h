// The "Job Account" page the extension adds to a Tab-mode printer's property sheet.
#pragma once

#include <windows.h>
#include <prsht.h>

// Clipboard format in which the shell's data object names the printer.
extern const char PrinterNameFormat[];

// The page's callback: on release it gives back the page's record and its hold on the extension
// object. Allows every page creation.
UINT CALLBACK JobAccountPageCallback(HWND window, UINT message, LPPROPSHEETPAGEA page);
