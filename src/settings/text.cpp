#include "settings/text.h"

#include <windows.h>

bool EqualNoCase(const char* a, const char* b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

std::string UpperCaseKey(std::string text)
{
    // Plain ASCII, by far the usual login name, needs no trip through the code page.
    bool ascii = true;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (!ascii && !text.empty())
        CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}
