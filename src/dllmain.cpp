// Load-time entry: the module learns its settings once, before any export can be called.
#include <windows.h>

#include "settings/module_state.h"

namespace {

// The statically linked C++ runtime sets itself up on every load of the module (thread data with a
// TLS index and handles, the 32-bit unwinder's frame registration) and gives none of it back on
// unload. Spoolers, shells and printing applications load and unload driver modules for as long as
// they run, and each cycle would leak until a load fails and takes the process with it. Pinned, the
// module and its runtime are set up once per process, and later loads and unloads only count.
void PinModule(HINSTANCE instance)
{
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(instance), &pinned);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        PinModule(instance);
        Module.ModuleInstance = instance;
        InitModuleSettings();
    }
    return TRUE;
}
