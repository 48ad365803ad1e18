#include "admin/mode_exports.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "admin/apply_mode.h"
#include "idlist/driver_list.h"
#include "capability/driver_capability.h"
#include "settings/export_barrier.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/registry.h"

namespace {

// The entry named exactly `driverName` among the drivers of the platform's family, or -1.
int FindDriver(const DriverList& list, const char* driverName)
{
    const bool nt = IsNTPlatform();
    const DWORD first = nt ? 0 : list.NtDriverCount;
    const DWORD end = nt ? list.NtDriverCount : DriverEntryCount(list);
    for (DWORD i = first; i < end; ++i) {
        const DRIVER_INFO_3A* driver = DriverEntry(list, i);
        if (driver && driver->pName && strcmp(driver->pName, driverName) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

const char* ModeWord(DWORD mode)
{
    static const char* const words[] = {"none", "tab", "popup", "hide"};
    return mode < 4 ? words[mode] : "?";
}

// The entry named exactly `driverName` in exactly `environment`, or -1.
int FindDriverIn(const DriverList& list, const char* driverName, const char* environment)
{
    for (DWORD i = 0; i < DriverEntryCount(list); ++i) {
        const DRIVER_INFO_3A* driver = DriverEntry(list, i);
        if (driver && driver->pName && driver->pEnvironment && strcmp(driver->pName, driverName) == 0 &&
            strcmp(driver->pEnvironment, environment) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

DWORD ApplyToNamedDriver(const char* driverName, const char* environment, DWORD mode)
{
    OwnedDriverList owned;
    if (!owned.built)
        return ERROR_UNKNOWN_PRINTER_DRIVER;
    int index = AllDrivers;
    if (driverName) {
        index = environment ? FindDriverIn(owned.list, driverName, environment) : FindDriver(owned.list, driverName);
        if (index < 0)
            return ERROR_UNKNOWN_PRINTER_DRIVER;
    }
    return ApplyJobAccountMode(&owned.list, index, mode);
}

int SetModeReportingError(const char* driverName, const char* environment, DWORD mode)
{
    const DWORD error = ExportAnswer(DWORD{ERROR_NOT_ENOUGH_MEMORY},
                                     [&] { return ApplyToNamedDriver(driverName, environment, mode); });
    // Set after the list is released, so that nothing on the way out overwrites it.
    SetLastError(error);
    return error == ERROR_SUCCESS ? 1 : 0;
}

int ApplyDefaultMode()
{
    if (ReadCommonNumber("DefaultAllMode", 0) == 0)
        return 1;
    const DWORD mode = static_cast<DWORD>(ReadCommonNumber("DefaultMode", 0));
    // "DefaultMode" 1 in the registry marks an installation still due; the administration dialog
    // tries it again each time it opens.
    if (!SetJobAccountMode(nullptr, mode)) {
        // The caller (a deployment script, rundll32) learns why from the thread's last error.
        const DWORD error = GetLastError();
        WriteRegistryDword("DefaultMode", 1);
        SetLastError(error);
        return 0;
    }
    WriteRegistryDword("DefaultMode", 0);
    return 1;
}

}  // namespace

extern "C" int WINAPI SetJobAccountMode(const char* driverName, DWORD mode)
{
    return SetModeReportingError(driverName, nullptr, mode);
}

extern "C" int WINAPI SetDriverJobAccountMode(const char* driverName, const char* environment, DWORD mode)
{
    if (!driverName || !environment) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return SetModeReportingError(driverName, environment, mode);
}

extern "C" int WINAPI DefaultSetJobAccountMode() { return ExportAnswer(0, ApplyDefaultMode); }

extern "C" int WINAPI DefaultSetJobAccountMode64(HWND, HINSTANCE, LPSTR, int) { return ExportAnswer(0, ApplyDefaultMode); }

namespace {

// Starts the shell of the Windows directory by its full path, answering as WinExec does: above 31
// once started, else the reason (0 when it is no file error). A bare "Explorer.exe" is searched for
// in the folder of the program that called and in the current folder first, where anyone may have
// left a program of that name. The shared Windows directory is asked for: under Terminal Services
// an application may be given a Windows directory of its user's own.
int StartShell()
{
    const wchar_t program[] = L"\\explorer.exe";
    const size_t programChars = sizeof program / sizeof program[0];  // with the terminator
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemWindowsDirectoryW(path, MAX_PATH);
    if (length == 0 || length + programChars > MAX_PATH)
        return ERROR_PATH_NOT_FOUND;
    wmemcpy(path + length, program, programChars);
    wchar_t commandLine[MAX_PATH + 2];  // CreateProcessW may write into it
    commandLine[0] = L'"';
    wmemcpy(commandLine + 1, path, length + programChars - 1);
    commandLine[length + programChars] = L'"';
    commandLine[length + programChars + 1] = L'\0';
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        const DWORD error = GetLastError();
        return error <= 31 ? static_cast<int>(error) : 0;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 33;
}

}  // namespace

extern "C" int WINAPI ShellRestart(HWND, HINSTANCE, LPSTR, int)
{
    HWND shell = FindWindowA("Progman", nullptr);
    if (shell)
        PostMessageA(shell, WM_QUIT, 0, 0);
    return StartShell();
}

namespace {

// One line per driver: name, environment, mode, driver flag and settings file, tab-separated.
std::string DriverLines()
{
    OwnedDriverList owned;
    const DriverList& list = owned.list;
    std::string text;
    for (DWORD i = 0; i < DriverEntryCount(list); ++i) {
        const DRIVER_INFO_3A* driver = DriverEntry(list, i);
        DWORD mode = ModeNoSupport;
        DWORD flag = 0;
        char settingsPath[PathChars] = {};
        const bool supported = ReadDriverCapability(driver, &mode, &flag, settingsPath);
        text += driver->pName ? driver->pName : "";
        text += '\t';
        text += driver->pEnvironment ? driver->pEnvironment : "";
        text += '\t';
        text += supported ? ModeWord(mode) : "unsupported";
        text += '\t';
        text += std::to_string(flag);
        text += '\t';
        text += settingsPath;
        text += "\r\n";
    }
    return text;
}

}  // namespace

extern "C" DWORD WINAPI ListJobAccountDrivers(char* buffer, DWORD size)
{
    return ExportAnswer(DWORD{0}, [&] {
        const std::string text = DriverLines();
        const DWORD needed = static_cast<DWORD>(text.size() + 1);
        if (buffer && size >= needed)
            memcpy(buffer, text.c_str(), needed);
        return needed;
    });
}
