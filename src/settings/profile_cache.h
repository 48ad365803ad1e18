// Profile reads of the files a print job reads (the string file, the drivers' capability and
// settings files, the user's account file), remembered until the file changes. Every print job reads a dozen of their keys; the profile
// functions take one process-wide lock and look at the file on each read, so the remembered
// answer also spares concurrent resolutions each other's waits.
#pragma once

#include <windows.h>

#include <string>

// The full path of the file the profile functions open for `file`: a bare file name lies in the
// Windows directory, any other name is taken from the current directory as a file name is. Empty
// for a null or empty name and for a path that does not fit.
std::string ProfileFileLocation(const char* file);

// As ReadProfileText, answered from memory while the file's last-write time and size are those
// of the remembered read. A file written in the last two seconds is read afresh every time, as
// its time may not yet tell a second write from the first.
DWORD ReadProfileTextRemembered(const char* file, const char* section, const char* key, const char* fallback,
                                char* buffer, DWORD size);

// As ReadProfileNumber, through the same memory.
DWORD ReadProfileNumberRemembered(const char* file, const char* section, const char* key, DWORD fallback);

// Gives back the memory of remembered reads. Only for the module's unload, when no thread can be
// inside a read.
void ReleaseRememberedReads();
