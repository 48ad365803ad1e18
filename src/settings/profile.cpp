#include "settings/profile.h"

#include <cstring>

#include "settings/module_state.h"
#include "settings/profile_cache.h"
#include "settings/text.h"

namespace {

// The profile functions take a null or empty file name to mean WIN.INI, which is never this
// module's file.
bool NamesAFile(const char* file) { return file && file[0]; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Leading blanks, an optional sign, then decimal digits up to the first non-digit. The value
// saturates instead of wrapping: a positive magnitude beyond 32 bits is 0xFFFFFFFF, and a negative
// one stops at -2^31, so an out-of-range number never turns into a plausible small one.
unsigned long ScanDecimal(const char* text)
{
    while (IsBlank(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    const unsigned long long limit = negative ? 0x80000000ull : 0xFFFFFFFFull;
    unsigned long long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + static_cast<unsigned>(*text - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    unsigned long value = static_cast<unsigned long>(magnitude);
    return negative ? 0ul - value : value;
}

}  // namespace

DWORD ReadProfileText(const char* file, const char* section, const char* key, const char* fallback,
                      char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    if (!NamesAFile(file)) {
        CopyCut(buffer, size, fallback);
        return static_cast<DWORD>(strlen(buffer));
    }
    DWORD length = GetPrivateProfileStringA(section, key, fallback ? fallback : "", buffer, size, file);
    if (length >= size)
        length = size - 1;
    buffer[length] = '\0';
    return length;
}

DWORD ReadProfileNumber(const char* file, const char* section, const char* key, DWORD fallback)
{
    // Wide enough that leading zeros in a hand-edited value do not push its digits out.
    char text[TextChars] = {};
    if (ReadProfileText(file, section, key, "", text) == 0)
        return fallback;
    return ScanDecimal(text);
}

bool WriteProfileText(const char* file, const char* section, const char* key, const char* value)
{
    if (!NamesAFile(file))
        return false;
    return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

DWORD ReadStringText(const char* key, const char* fallback, char* buffer, DWORD size)
{
    return ReadProfileTextRemembered(Module.StringFilePath, "string", key, fallback, buffer, size);
}

DWORD ReadCommonNumber(const char* key, DWORD fallback)
{
    return ReadProfileNumberRemembered(Module.StringFilePath, "common", key, fallback);
}

DWORD ReadCommonText(const char* key, const char* fallback, char* buffer, DWORD size)
{
    return ReadProfileTextRemembered(Module.StringFilePath, "common", key, fallback, buffer, size);
}

unsigned long ParseDecimal(const char* text)
{
    return text ? ScanDecimal(text) : 0;
}
