// The platform calls of the natively compiled sources, and the module's own functions around them
// that those sources name but the fuzzers never reach. The case mapping works on ASCII letters,
// as the platform's does for the texts the fuzzers compare; everything else reports the call and
// aborts, so that a fuzzed function that reaches the platform shows up as a crash.
#include <windows.h>

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

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

namespace {

// `in` converted whole from one encoding to another; false when a byte or a character has no form.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out)
{
    iconv_t convert = iconv_open(to, from);
    if (convert == reinterpret_cast<iconv_t>(-1))
        Unreachable("iconv_open for a code page the fuzzers do not use");
    out->assign(in.size() * 4 + 16, '\0');
    char* inPointer = const_cast<char*>(in.data());
    char* outPointer = &(*out)[0];
    size_t inLeft = in.size(), outLeft = out->size();
    const size_t result = iconv(convert, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(convert);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return false;
    out->resize(out->size() - outLeft);
    return true;
}

const char* CodePageName(UINT codePage)
{
    if (codePage == 932)
        return "CP932";
    if (codePage == 1252)
        return "CP1252";
    Unreachable("WideCharToMultiByte into a code page the fuzzers do not use");
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, WCHAR* wide, int wideLength)
{
    if (codePage != CP_UTF8 || length < 0)
        Unreachable("MultiByteToWideChar other than from a measured UTF-8 text");
    std::string utf16;
    if (!Convert("UTF-16LE", "UTF-8", std::string(text, static_cast<size_t>(length)), &utf16))
        return 0;
    const int needed = static_cast<int>(utf16.size() / 2);
    if (wideLength == 0)
        return needed;
    if (wideLength < needed)
        return 0;
    for (int i = 0; i < needed; ++i)
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(utf16[2 * i]) |
                                     static_cast<unsigned char>(utf16[2 * i + 1]) << 8);
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* wide, int wideLength, LPSTR text, int length, LPCSTR,
                        BOOL* usedDefault)
{
    if (wideLength < 0)
        Unreachable("WideCharToMultiByte of an unmeasured text");
    std::string utf16;
    for (int i = 0; i < wideLength; ++i) {
        utf16 += static_cast<char>(wide[i] & 0xFF);
        utf16 += static_cast<char>(wide[i] >> 8);
    }
    std::string converted;
    const bool exact = Convert(CodePageName(codePage), "UTF-16LE", utf16, &converted);
    if (usedDefault)
        *usedDefault = exact ? FALSE : TRUE;
    if (!exact)
        converted.assign(static_cast<size_t>(wideLength), '?');
    const int needed = static_cast<int>(converted.size());
    if (length == 0)
        return needed;
    if (length < needed)
        return 0;
    converted.copy(text, converted.size());
    return needed;
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
