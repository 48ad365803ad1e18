// The administration exports that apply modes without a dialog, and the shell restart.
#pragma once

#include <windows.h>

// On failure the thread's last error holds the reason: ERROR_UNKNOWN_PRINTER_DRIVER when no
// driver of that name (or no supporting driver at all) is listed, else the failed step's code.
extern "C" int WINAPI SetJobAccountMode(const char* driverName, DWORD mode);
extern "C" int WINAPI DefaultSetJobAccountMode();
extern "C" int WINAPI DefaultSetJobAccountMode64(HWND window, HINSTANCE instance, LPSTR commandLine, int show);
extern "C" int WINAPI ShellRestart(HWND window, HINSTANCE instance, LPSTR commandLine, int show);

// Writes one line per enumerated driver into `buffer` (tab-separated: name, environment, mode word,
// driver flag, settings file; "unsupported" for a driver without job accounting), the whole text
// terminated. Returns the bytes the text needs with its terminator; nothing is written when
// `size` is smaller.
extern "C" DWORD WINAPI ListJobAccountDrivers(char* buffer, DWORD size);
