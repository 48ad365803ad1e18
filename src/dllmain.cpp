// Load-time entry. The attach notification runs under the loader's lock, which holds up every
// other load in the process: it notes the instance and takes the one TLS index the module's runtime
// needs, nothing more (the settings are learnt at the first call that needs them). The unload gives
// back what the load and its calls kept.
#include <windows.h>

#include "runtime_frames.h"
#include "runtime_tls.h"
#include "settings/module_state.h"
#include "settings/profile_cache.h"
#include "settings/system_library.h"

// libstdc++ sets aside a reserve at load for the exceptions it throws when memory runs out, and gives
// it back only here (the function a leak checker calls at exit).
namespace __gnu_cxx {
void __freeres();
}

namespace {

void FreeWhatTheLoadKept()
{
    ReleaseRememberedReads();
    ReleaseSystemLibraries();
    ReleaseDelayLoadedLibraries();
    EndRuntimeThreadStorage();
    __gnu_cxx::__freeres();
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        Module.ModuleInstance = instance;
        // Without its index the runtime could not throw: the load fails instead, cleanly.
        return StartRuntimeThreadStorage() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        EndThreadStorageOfThread();
        break;
    case DLL_PROCESS_DETACH:
        // Freed while the process goes on (the spooler and printing applications load and free
        // driver modules for as long as they run), with no thread inside the module any more. At
        // process exit other threads may have been stopped anywhere, so nothing is touched then.
        if (reserved) {
#ifndef _WIN64
            NoteProcessEnding();
#endif
            break;
        }
        FreeWhatTheLoadKept();
        break;
    default:
        break;
    }
    return TRUE;
}
