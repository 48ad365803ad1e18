// A DLL that someone left in the folder of a printing application under the name of a system DLL
// (the tests copy it there as netapi32.dll, wsock32.dll, hhctrl.ocx, version.dll). Each load of it
// leaves the file "<its own path>.loaded" behind, and it refuses to be used.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        lstrcatA(path, ".loaded");
        HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (marker != INVALID_HANDLE_VALUE)
            CloseHandle(marker);
    }
    return FALSE;
}
