#include "settings/system_library.h"

#include <delayimp.h>

#include <cwchar>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const char* const LibraryNames[] = {"netapi32.dll", "wsock32.dll", "oleaut32.dll", "comctl32.dll"};
const size_t LibraryCount = sizeof LibraryNames / sizeof LibraryNames[0];

void* volatile KeptModules[LibraryCount];

// A DLL's plain file name, widened; false for anything else (a path, a name past ASCII).
bool WidenFileName(const char* name, wchar_t (&wide)[MAX_PATH])
{
    if (!name || !name[0])
        return false;
    size_t length = 0;
    for (; name[length]; ++length) {
        const unsigned char c = static_cast<unsigned char>(name[length]);
        if (length + 1 >= MAX_PATH || c >= 0x80 || c == '\\' || c == '/' || c == ':')
            return false;
        wide[length] = c;
    }
    wide[length] = L'\0';
    return true;
}

// The folder of the system DLLs of this process's width, without a closing backslash; 0 when it
// cannot be told. A 32-bit process on 64-bit Windows is told "system32" by GetSystemDirectoryW and
// reaches its own DLLs in SysWOW64 only through the file system redirector, which a thread of a
// printing application may have turned off (Wow64DisableWow64FsRedirection, while it copies driver
// files): the 64-bit DLL would be found. The WOW64 folder's own name holds either way; outside WOW64
// (32-bit Windows) it is not there and the call fails.
UINT SystemFolder(wchar_t (&folder)[MAX_PATH])
{
#ifndef _WIN64
    const UINT wow64 = GetSystemWow64DirectoryW(folder, MAX_PATH);
    if (wow64 > 0 && wow64 < MAX_PATH)
        return wow64;
#endif
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length < MAX_PATH ? length : 0;
}

// Whether the calling thread's activation context redirects `name` to an assembly (comctl32
// version 6 for an application whose manifest asks for it).
bool RedirectedByActivationContext(const wchar_t* name)
{
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof data;
    return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data) != FALSE;
}

// For a loader that knows no search flags (Windows Vista and 7 without update KB2533623). A full
// path is never looked up in the activation context, so it would give an application that asked
// for comctl32 version 6 the system folder's version 5 (no visual styles, none of version 6's
// controls). A name the context redirects is therefore loaded by its bare name: the redirection
// decides before any folder is searched, and the application's folder is never reached. Every
// other name is loaded by its full path in the system folder.
HMODULE LoadWithoutSearchFlags(const wchar_t* name)
{
    if (RedirectedByActivationContext(name))
        return LoadLibraryW(name);
    wchar_t path[MAX_PATH];
    const UINT folder = SystemFolder(path);
    const size_t nameLength = wcslen(name);
    if (folder == 0 || folder + 1 + nameLength >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[folder] = L'\\';
    wmemcpy(path + folder + 1, name, nameLength + 1);
    return LoadLibraryW(path);
}

// The delay-load helper's slots of the DLLs it bound through the hook below, each once, so that
// their references can be given back at unload (the runtime's helper keeps them for good). Seven
// DLLs are bound at first call; the room is generous.
HMODULE* volatile BoundSlots[16];

void RememberBoundSlot(HMODULE* slot)
{
    for (HMODULE* volatile& entry : BoundSlots) {
        void* held = InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&entry), slot, nullptr);
        if (!held || held == slot)
            return;
    }
}

// The runtime's delay-load helper asks this hook before it loads a DLL bound at first call, and
// loads the bare name itself when the hook answers null: the hook loads it from the system folder
// and never answers null. A DLL the system folder cannot give ends the call as the helper ends one
// it cannot load, with its "module not found" exception.
FARPROC WINAPI LoadDelayedFromSystemFolder(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || !info)
        return nullptr;
    HMODULE module = LoadSystemLibrary(info->szDll);
    if (!module) {
        info->dwLastError = GetLastError();
        ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
        RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
        return nullptr;
    }
    if (info->pidd)
        RememberBoundSlot(reinterpret_cast<HMODULE*>(reinterpret_cast<BYTE*>(&__ImageBase) + info->pidd->rvaHmod));
    return reinterpret_cast<FARPROC>(module);
}

}  // namespace

// Read by the runtime's delay-load helper; this definition takes the place of the runtime's empty one.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystemFolder;
}

HMODULE LoadSystemLibrary(const char* name)
{
    wchar_t wide[MAX_PATH];
    if (!WidenFileName(name, wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // With the flag the loader still applies the caller's activation context to the bare name
    // first (side-by-side comctl32 stays in force), then searches the system folder of the
    // process's width and nothing else, for the DLL and for the DLLs it imports.
    if (HMODULE module = LoadLibraryExW(wide, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return nullptr;
    return LoadWithoutSearchFlags(wide);
}

HMODULE LoadLibraryWithItsFolder(const char* path)
{
    if (HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return nullptr;
    // A loader without the search flags: the altered search path puts the library's own folder
    // first, where the application's folder would be.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE KeptSystemLibrary(SystemLibrary library)
{
    const size_t index = static_cast<size_t>(library);
    if (index >= LibraryCount)
        return nullptr;
    void* kept = InterlockedCompareExchangePointer(&KeptModules[index], nullptr, nullptr);
    if (kept)
        return static_cast<HMODULE>(kept);
    HMODULE loaded = LoadSystemLibrary(LibraryNames[index]);
    if (!loaded)
        return nullptr;
    // Threads that met the library unloaded at the same time each loaded it: the first one's
    // reference is kept, the others give theirs back.
    void* earlier = InterlockedCompareExchangePointer(&KeptModules[index], loaded, nullptr);
    if (!earlier)
        return loaded;
    FreeLibrary(loaded);
    return static_cast<HMODULE>(earlier);
}

void ReleaseSystemLibraries()
{
    for (void* volatile& kept : KeptModules)
        if (void* module = InterlockedExchangePointer(&kept, nullptr))
            FreeLibrary(static_cast<HMODULE>(module));
}

void ReleaseDelayLoadedLibraries()
{
    for (HMODULE* volatile& entry : BoundSlots) {
        auto* slot = static_cast<HMODULE*>(InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&entry), nullptr));
        if (!slot)
            continue;
        if (void* module = InterlockedExchangePointer(reinterpret_cast<void* volatile*>(slot), nullptr))
            FreeLibrary(static_cast<HMODULE>(module));
    }
}
