#include "settings/text.h"

#include <windows.h>

bool EqualNoCase(const char* a, const char* b)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}
