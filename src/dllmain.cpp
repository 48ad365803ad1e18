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

namespace {

// The statically linked runtime's locks are semaphores that it creates and never closes: the 32-bit
// unwinder's registry of the module's exception frames makes one at every load, the emulated TLS
// of exceptions another once a thread throws. Every call the runtime makes to CreateSemaphoreW goes
// through the module's import slot of that name, which is defined here rather than taken from the
// import library, so the module learns of each one and closes them at its unload. The module's own
// code creates no semaphores.
HANDLE runtimeSemaphores[16];

HANDLE WINAPI CreateRuntimeSemaphore(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum, LPCWSTR name)
{
    HANDLE semaphore = CreateSemaphoreExW(security, initial, maximum, name, 0, SEMAPHORE_ALL_ACCESS);
    for (HANDLE& slot : runtimeSemaphores) {
        if (semaphore && !InterlockedCompareExchangePointer(&slot, semaphore, nullptr))
            break;
    }
    return semaphore;
}

// Called after the module's last code has run: the runtime's locks, which nobody holds now, are
// still taken and given back once more while its exception frames are deregistered, and an untaken
// lock never waits on its semaphore.
void CloseRuntimeSemaphores()
{
    for (HANDLE& slot : runtimeSemaphores) {
        HANDLE semaphore = InterlockedExchangePointer(&slot, nullptr);
        if (semaphore)
            CloseHandle(semaphore);
    }
}

}  // namespace

#ifdef _WIN64
#define IMPORT_SLOT(name, argumentBytes) "__imp_" #name
#else
#define IMPORT_SLOT(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#endif
extern "C" decltype(&CreateSemaphoreW) runtimeCreateSemaphore __asm__(IMPORT_SLOT(CreateSemaphoreW, 16));
decltype(&CreateSemaphoreW) runtimeCreateSemaphore = &CreateRuntimeSemaphore;

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
        CloseRuntimeSemaphores();
    }
    return TRUE;
}
