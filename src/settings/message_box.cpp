#include "settings/message_box.h"

#include "settings/module_state.h"

bool WindowStationVisible()
{
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    return station && GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE);
}

int ShowModuleMessage(HWND owner, const char* text, UINT type)
{
    if (!WindowStationVisible()) {
        SetLastError(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
        return 0;
    }
    return MessageBoxA(owner, text, Module.AppName, type);
}
