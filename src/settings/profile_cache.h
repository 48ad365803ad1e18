// Profile reads of the files a print job reads (the string file, the drivers' capability and
// settings files, the user's account file), remembered until the file changes. Every print job reads a dozen of their keys; the profile
// functions take one process-wide lock and look at the file on each read, so the remembered
// answer also spares concurrent resolutions each other's waits.
#pragma once

#include <windows.h>

// As ReadProfileText, answered from memory while the file's last-write time and size are those
// of the remembered read. A file written in the last two seconds is read afresh every time, as
// its time may not yet tell a second write from the first.
DWORD ReadProfileTextRemembered(const char* file, const char* section, const char* key, const char* fallback,
                                char* buffer, DWORD size);

// As ReadProfileNumber, through the same memory.
DWORD ReadProfileNumberRemembered(const char* file, const char* section, const char* key, DWORD fallback);
