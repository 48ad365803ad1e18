#include "settings/message_box.h"

#include "settings/helpers.h"
#include "settings/module_state.h"

namespace {

// Since Windows Vista session 0 holds the services alone and nobody logs on to it: its window
// station may still be marked visible (a service allowed to interact with the desktop), yet a box
// there is seen by nobody. Before Vista session 0 was the console user's.
bool InServicesSession()
{
    DWORD session = 0;
    return IsVistaOrLater() && ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0;
}

}  // namespace

bool WindowStationVisible()
{
    if (InServicesSession())
        return false;
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
