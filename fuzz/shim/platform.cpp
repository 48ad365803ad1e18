// The platform calls of the natively compiled sources, and the module's own functions around them
// that those sources name but the fuzzers never reach. The case mapping works on ASCII letters,
// as the platform's does for the texts the fuzzers compare; everything else reports the call and
// aborts, so that a fuzzed function that reaches the platform shows up as a crash.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "settings/code_page.h"
#include "settings/module_state.h"
#include "settings/profile_cache.h"

ModuleState Module;
// Kept by the list views' column sort, which is not built here.
int SortDirection = 1;

namespace {

[[noreturn]] void Unreachable(const char* call)
{
    fprintf(stderr, "platform call %s reached from a fuzzed function\n", call);
    abort();
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int lstrcmpiA(LPCSTR a, LPCSTR b)
{
    for (;; ++a, ++b) {
        const auto x = static_cast<unsigned char>(Upper(*a)), y = static_cast<unsigned char>(Upper(*b));
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

int CompareStringA(LCID, DWORD flags, LPCSTR a, int aLength, LPCSTR b, int bLength)
{
    if (aLength != -1 || bLength != -1 || !(flags & NORM_IGNORECASE))
        Unreachable("CompareStringA with lengths or without NORM_IGNORECASE");
    const int order = lstrcmpiA(a, b);
    return order < 0 ? 1 : (order == 0 ? CSTR_EQUAL : 3);
}

DWORD CharUpperBuffA(LPSTR text, DWORD length)
{
    for (DWORD i = 0; i < length; ++i)
        text[i] = Upper(text[i]);
    return length;
}

const CodePageTraits& ProcessCodePage() { Unreachable("ProcessCodePage"); }
DWORD ReadProfileTextRemembered(const char*, const char*, const char*, const char*, char*, DWORD)
{
    Unreachable("ReadProfileTextRemembered");
}
DWORD ReadProfileNumberRemembered(const char*, const char*, const char*, DWORD) { Unreachable("ReadProfileNumberRemembered"); }
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { Unreachable("CreateFileA"); }
BOOL ReadFile(HANDLE, void*, DWORD, DWORD*, void*) { Unreachable("ReadFile"); }
BOOL WriteFile(HANDLE, const void*, DWORD, DWORD*, void*) { Unreachable("WriteFile"); }
BOOL FlushFileBuffers(HANDLE) { Unreachable("FlushFileBuffers"); }
BOOL CloseHandle(HANDLE) { Unreachable("CloseHandle"); }
BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*) { Unreachable("GetFileSizeEx"); }
DWORD GetFileAttributesA(LPCSTR) { Unreachable("GetFileAttributesA"); }
BOOL SetFileAttributesA(LPCSTR, DWORD) { Unreachable("SetFileAttributesA"); }
BOOL GetFileAttributesExA(LPCSTR, GET_FILEEX_INFO_LEVELS, void*) { Unreachable("GetFileAttributesExA"); }
BOOL MoveFileExA(LPCSTR, LPCSTR, DWORD) { Unreachable("MoveFileExA"); }
BOOL DeleteFileA(LPCSTR) { Unreachable("DeleteFileA"); }
DWORD GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPSTR, DWORD, LPCSTR) { Unreachable("GetPrivateProfileStringA"); }
DWORD GetPrivateProfileSectionA(LPCSTR, LPSTR, DWORD, LPCSTR) { Unreachable("GetPrivateProfileSectionA"); }
BOOL WritePrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPCSTR) { Unreachable("WritePrivateProfileStringA"); }
DWORD GetLastError() { Unreachable("GetLastError"); }
void SetLastError(DWORD) { Unreachable("SetLastError"); }
void Sleep(DWORD) { Unreachable("Sleep"); }
DWORD GetCurrentProcessId() { Unreachable("GetCurrentProcessId"); }
DWORD GetCurrentThreadId() { Unreachable("GetCurrentThreadId"); }
LONG InterlockedIncrement(LONG volatile*) { Unreachable("InterlockedIncrement"); }
int wsprintfA(LPSTR, LPCSTR, ...) { Unreachable("wsprintfA"); }
