// The administration exports that apply modes without a dialog, and the shell restart.
#pragma once

#include <windows.h>

// On failure the thread's last error holds the reason: ERROR_UNKNOWN_PRINTER_DRIVER when no
// driver of that name (or no supporting driver at all) is listed, else the failed step's code.
// ERROR_SUCCESS_REBOOT_REQUIRED: the change was made, but the spooler could not be restarted and
// no box could say so (no visible window station): printing needs the computer restarted.
extern "C" int WINAPI SetJobAccountMode(const char* driverName, DWORD mode);
// The same for the driver of that name in exactly that environment ("Windows x64", "Windows NT
// x86", "Windows 4.0"), where a name alone may stand for two drivers of different widths.
extern "C" int WINAPI SetDriverJobAccountMode(const char* driverName, const char* environment, DWORD mode);
extern "C" int WINAPI DefaultSetJobAccountMode();
extern "C" int WINAPI DefaultSetJobAccountMode64(HWND window, HINSTANCE instance, LPSTR commandLine, int show);
extern "C" int WINAPI ShellRestart(HWND window, HINSTANCE instance, LPSTR commandLine, int show);

// Writes one line per enumerated driver into `buffer` (tab-separated: name, environment, mode word,
// driver flag, settings file; "unsupported" for a driver without job accounting), the whole text
// terminated. Returns the bytes the text needs with its terminator; nothing is written when
// `size` is smaller.
extern "C" DWORD WINAPI ListJobAccountDrivers(char* buffer, DWORD size);
