// A stand-in for the module whose text exports all run out of memory: each answers 0 with
// ERROR_NOT_ENOUGH_MEMORY, as the module's exports do then. The command-line host's tests put it
// beside jobacct under the module's name.
#include <windows.h>

namespace {

DWORD OutOfMemory()
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI DiagnoseJobAccount(const char*, char*, DWORD) { return OutOfMemory(); }
extern "C" __declspec(dllexport) DWORD WINAPI ListJobAccountDrivers(char*, DWORD) { return OutOfMemory(); }
extern "C" __declspec(dllexport) DWORD WINAPI ListJobAccountIDs(DWORD, char*, DWORD) { return OutOfMemory(); }
