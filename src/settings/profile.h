// Reads from INI files through the private-profile functions into fixed buffers.
#pragma once

#include <windows.h>

// Reads section/key of `file` into `buffer` (size in bytes, terminator included); the text is cut
// to fit and always terminated. Returns the length copied. A null or empty file name reads as the
// fallback.
DWORD ReadProfileText(const char* file, const char* section, const char* key, const char* fallback,
                      char* buffer, DWORD size);

template <size_t N>
DWORD ReadProfileText(const char* file, const char* section, const char* key, const char* fallback,
                      char (&buffer)[N])
{
    return ReadProfileText(file, section, key, fallback, buffer, static_cast<DWORD>(N));
}

// A number read as ParseDecimal reads it; a missing key or an empty value gives the fallback, as
// does a null or empty file name.
DWORD ReadProfileNumber(const char* file, const char* section, const char* key, DWORD fallback);

// Writes (or with a null value deletes) section/key of `file`; false for a failed write and for a
// null or empty file name, which the profile functions would take as WIN.INI.
bool WriteProfileText(const char* file, const char* section, const char* key, const char* value);

// The string file's two sections.
DWORD ReadStringText(const char* key, const char* fallback, char* buffer, DWORD size);
DWORD ReadCommonNumber(const char* key, DWORD fallback);
DWORD ReadCommonText(const char* key, const char* fallback, char* buffer, DWORD size);

// Decimal value read leniently: leading blanks and a sign, then digits up to the first non-digit.
// Empty text gives 0. Out-of-range values saturate (0xFFFFFFFF; a negative one stops at -2^31).
unsigned long ParseDecimal(const char* text);
