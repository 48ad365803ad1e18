// Reads from INI files through the private-profile functions into fixed buffers.
#pragma once

#include <windows.h>

// Reads section/key of `file` into `buffer` (size in bytes, terminator included); the text is cut
// to fit and always terminated. Returns the length copied.
DWORD ReadProfileText(const char* file, const char* section, const char* key, const char* fallback,
                      char* buffer, DWORD size);

template <size_t N>
DWORD ReadProfileText(const char* file, const char* section, const char* key, const char* fallback,
                      char (&buffer)[N])
{
    return ReadProfileText(file, section, key, fallback, buffer, static_cast<DWORD>(N));
}

int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback);

// The string file's two sections.
DWORD ReadStringText(const char* key, const char* fallback, char* buffer, DWORD size);
int ReadCommonNumber(const char* key, int fallback);
DWORD ReadCommonText(const char* key, const char* fallback, char* buffer, DWORD size);

// Decimal value read leniently: leading blanks and a sign, then digits up to the first non-digit.
// Empty text gives 0.
unsigned long ParseDecimal(const char* text);
