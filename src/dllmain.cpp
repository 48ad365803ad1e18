// Load-time entry: the module learns its settings at each load, before any export can be called,
// and gives back at its unload what its calls kept.
#include <windows.h>

#include "settings/module_state.h"
#include "settings/profile_cache.h"
#include "settings/system_library.h"

// libstdc++ sets aside a reserve at load for the exceptions it throws when memory runs out, and gives
// it back only here (the function a leak checker calls at exit).
namespace __gnu_cxx {
void __freeres();
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        Module.ModuleInstance = instance;
        InitModuleSettings();
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Freed while the process goes on (the spooler and printing applications load and free
        // driver modules for as long as they run), with no thread inside the module any more. At
        // process exit other threads may have been stopped anywhere, so nothing is touched then.
        ReleaseRememberedReads();
        ReleaseSystemLibraries();
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
