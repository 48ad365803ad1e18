#include "settings/message_box.h"

#include "settings/module_state.h"

bool WindowStationVisible()
{
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    return station && GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE);
}

bool WindowsCanBeAnswered()
{
    if (WindowStationVisible())
        return true;
    SetLastError(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
    return false;
}

int ShowModuleMessage(HWND owner, const char* text, UINT type)
{
    return WindowsCanBeAnswered() ? MessageBoxA(owner, text, Module.AppName, type) : 0;
}
