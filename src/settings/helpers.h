// Owned string copies and operating-system version probes.
#pragma once

#include <windows.h>

// A zero-filled local-heap block one byte longer than the text; null for null or no memory.
char* DuplicateString(const char* text);
// True when a block was freed; false for null or a failed free.
bool FreeString(char* text);

bool IsNTPlatform();
bool Is2000OrLater();
bool IsXPOrLater();
bool IsVistaOrLater();
bool Is64BitBuild();
