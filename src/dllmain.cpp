// Load-time entry: the module learns its settings once, before any export can be called.
#include <windows.h>

#include "settings/module_state.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        Module.ModuleInstance = instance;
        InitModuleSettings();
    }
    return TRUE;
}
