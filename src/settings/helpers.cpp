#include "settings/helpers.h"

#include <cstring>

char* DuplicateString(const char* text)
{
    if (!text)
        return nullptr;
    size_t length = strlen(text);
    char* copy = static_cast<char*>(LocalAlloc(LPTR, length + 1));
    if (copy)
        memcpy(copy, text, length);
    return copy;
}

bool FreeString(char* text)
{
    return text && LocalFree(text) == nullptr;
}

namespace {

// Read afresh on every call: a process may be told another version per program.
OSVERSIONINFOA CurrentVersion()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return info;
}

}  // namespace

bool IsNTPlatform() { return CurrentVersion().dwPlatformId == VER_PLATFORM_WIN32_NT; }

bool Is2000OrLater() { return CurrentVersion().dwMajorVersion >= 5; }

bool IsXPOrLater()
{
    OSVERSIONINFOA info = CurrentVersion();
    return info.dwMajorVersion > 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion >= 1);
}

bool IsVistaOrLater() { return CurrentVersion().dwMajorVersion >= 6; }

bool Is64BitBuild() { return sizeof(void*) == 8; }
