#include "settings/profile.h"

#include "settings/module_state.h"

DWORD ReadProfileText(const char* file, const char* section, const char* key, const char* fallback,
                      char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    DWORD length = GetPrivateProfileStringA(section, key, fallback ? fallback : "", buffer, size, file);
    if (length >= size)
        length = size - 1;
    buffer[length] = '\0';
    return length;
}

int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback)
{
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file));
}

DWORD ReadStringText(const char* key, const char* fallback, char* buffer, DWORD size)
{
    return ReadProfileText(Module.StringFilePath, "string", key, fallback, buffer, size);
}

int ReadCommonNumber(const char* key, int fallback)
{
    return ReadProfileNumber(Module.StringFilePath, "common", key, fallback);
}

DWORD ReadCommonText(const char* key, const char* fallback, char* buffer, DWORD size)
{
    return ReadProfileText(Module.StringFilePath, "common", key, fallback, buffer, size);
}

unsigned long ParseDecimal(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n' || *text == '\v' || *text == '\f')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    unsigned long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<unsigned>(*text - '0');
        if (value > 0xFFFFFFFFull)
            value = 0xFFFFFFFFull;  // saturate rather than wrap into a plausible small ID
    }
    unsigned long result = static_cast<unsigned long>(value);
    return negative ? 0ul - result : result;
}
