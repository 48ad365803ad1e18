// The exports through which the command-line host imports and lists registered IDs.
#pragma once

#include <windows.h>

// Told of each refused line of an ID file: its number (from 1) and code (2, 3 or 4).
typedef void(WINAPI* IDFileRefusalFn)(void* context, DWORD line, DWORD code);

// Imports an ID file into the registered-ID list of the master copy and propagates it. Returns 0,
// the last refused line's code (2, 3 or 4), -1 for an unreadable ID file, -2 for a master copy
// that could not be written, -3 for a driver's copy that could not be updated; the thread's last
// error tells why for -1 (also given when memory runs out) and -2.
extern "C" int WINAPI ImportJobAccountIDFile(const char* idFile, IDFileRefusalFn refused, void* context);

// Writes the registered-ID list (or with `fixed` non-zero the fixed-ID list) of the master copy as
// an ID file into `buffer`, terminated. Returns the bytes it needs with the terminator; nothing is
// written when `size` is smaller.
extern "C" DWORD WINAPI ListJobAccountIDs(DWORD fixed, char* buffer, DWORD size);
