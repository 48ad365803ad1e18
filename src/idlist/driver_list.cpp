#include "idlist/driver_list.h"

#include <cstring>

#include "capability/driver_capability.h"
#include "settings/helpers.h"
#include "settings/message_box.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/text.h"

namespace {

const char EnvironmentX64[] = "Windows x64";
const char EnvironmentNtX86[] = "Windows NT x86";
const char EnvironmentWin40[] = "Windows 4.0";

struct DisplaySuffixes {
    char Win9x[32];
    char Win2000[32];
    char X64[32];
    char X86[32];
};

// Each suffix is a space and at most 30 characters from the string file.
void ReadSuffix(const char* key, const char* fallback, char (&suffix)[32])
{
    suffix[0] = ' ';
    ReadStringText(key, fallback, suffix + 1, sizeof suffix - 1);
}

DisplaySuffixes ReadSuffixes()
{
    DisplaySuffixes s;
    ReadSuffix("Win9x", "[Windows95/98/Me]", s.Win9x);
    ReadSuffix("Win2000", "[WindowsNT4.0/2000]", s.Win2000);
    ReadSuffix("X64", "- x64", s.X64);
    ReadSuffix("X86", "- x86", s.X86);
    return s;
}

DWORD SizeOfDrivers(const char* environment, DWORD* count)
{
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, nullptr, 0, &needed, &returned);
    *count = returned;
    return needed;
}

// Fills `bytes` bytes at `buffer`; a failed enumeration yields no records.
void EnumerateInto(const char* environment, BYTE* buffer, DWORD bytes, DWORD* count)
{
    DWORD needed = 0;
    DWORD returned = 0;
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, buffer, bytes, &needed, &returned))
        returned = 0;
    *count = returned;
}

struct Platform {
    bool nt;
    bool win2000;
    bool x64Build;
};

// The display name, or false when the entry is of the other width and that build is unknown.
bool ComposeDisplayName(const DRIVER_INFO_3A* driver, const Platform& platform, const DisplaySuffixes& suffixes,
                        char (&name)[256])
{
    CopyCut(name, driver->pName ? driver->pName : "");
    if (platform.nt && driver->cVersion == 0)
        AppendCut(name, suffixes.Win9x);
    else if (platform.win2000 && driver->cVersion == 2)
        AppendCut(name, suffixes.Win2000);

    const char* environment = driver->pEnvironment ? driver->pEnvironment : "";
    if (!platform.x64Build) {
        if (strcmp(environment, EnvironmentX64) == 0) {
            if (!Module.ModPath64[0])
                return false;
            AppendCut(name, suffixes.X64);
        }
    } else if (strcmp(environment, EnvironmentWin40) == 0 || strcmp(environment, EnvironmentNtX86) == 0) {
        if (!Module.ModPath32[0])
            return false;
        AppendCut(name, suffixes.X86);
    }
    return true;
}

void ShowNoPrinterMessage()
{
    char text[TextChars] = {};
    ReadStringText("NoPrinterMessage", "No printer for Job Account.", text, sizeof text);
    ShowModuleMessage(nullptr, text, MB_OK);
}

}  // namespace

const DRIVER_INFO_3A* DriverEntry(const DriverList& list, DWORD index)
{
    if (!list.Drivers)
        return nullptr;
    if (index < list.NtDriverCount)
        return reinterpret_cast<const DRIVER_INFO_3A*>(list.Drivers) + index;
    index -= list.NtDriverCount;
    if (index < list.Win40DriverCount)
        return reinterpret_cast<const DRIVER_INFO_3A*>(list.Drivers + list.NtBytes) + index;
    return nullptr;
}

int BuildDriverList(HWND combo, DriverList* list)
{
    const Platform platform = {IsNTPlatform(), Is2000OrLater(), Is64BitBuild()};
    for (DWORD& count : list->ModeCounts)
        count = 0;

    const char* ntEnvironment = platform.win2000 ? "all" : EnvironmentNtX86;
    list->NtBytes = platform.nt ? SizeOfDrivers(ntEnvironment, &list->NtDriverCount) : 0;
    if (!platform.nt)
        list->NtDriverCount = 0;
    list->Win40Bytes = platform.win2000 ? 0 : SizeOfDrivers(EnvironmentWin40, &list->Win40DriverCount);
    if (platform.win2000)
        list->Win40DriverCount = 0;

    int listed = 0;
    if (list->NtBytes != 0 || list->Win40Bytes != 0) {
        list->Drivers = static_cast<BYTE*>(LocalAlloc(LPTR, list->NtBytes + list->Win40Bytes));
        if (!list->Drivers)
            return 0;
        list->NtDriverCount = 0;
        list->Win40DriverCount = 0;
        if (list->NtBytes != 0)
            EnumerateInto(ntEnvironment, list->Drivers, list->NtBytes, &list->NtDriverCount);
        if (list->Win40Bytes != 0)
            EnumerateInto(EnvironmentWin40, list->Drivers + list->NtBytes, list->Win40Bytes,
                          &list->Win40DriverCount);

        const DWORD entries = DriverEntryCount(*list);
        const size_t arrayBytes = (entries ? entries : 1) * sizeof(DWORD);
        list->Modes = static_cast<DWORD*>(LocalAlloc(LPTR, arrayBytes));
        if (!list->Modes)
            return 0;
        list->DriverFlags = static_cast<DWORD*>(LocalAlloc(LPTR, arrayBytes));
        if (!list->DriverFlags)
            return 0;

        const DisplaySuffixes suffixes = ReadSuffixes();
        if (combo)
            SendMessageA(combo, CB_RESETCONTENT, 0, 0);

        for (DWORD i = 0; i < entries; ++i) {
            const DRIVER_INFO_3A* driver = DriverEntry(*list, i);
            if (!ReadDriverCapability(driver, &list->Modes[i], &list->DriverFlags[i], nullptr)) {
                ++list->ModeCounts[ModeNoSupport];
                continue;
            }
            char name[256];
            if (!ComposeDisplayName(driver, platform, suffixes, name))
                continue;
            if (combo) {
                LRESULT item = SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(listed),
                                            reinterpret_cast<LPARAM>(name));
                if (item >= 0)
                    SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(i));
            }
            ++listed;
            if (list->Modes[i] < 4)
                ++list->ModeCounts[list->Modes[i]];
        }
    }

    if (listed > 0)
        return 1;
    if (combo)
        ShowNoPrinterMessage();
    return 0;
}

int ReleaseDriverList(DriverList* list)
{
    if (list->Drivers)
        LocalFree(list->Drivers);
    if (list->Modes)
        LocalFree(list->Modes);
    if (list->DriverFlags)
        LocalFree(list->DriverFlags);
    list->Drivers = nullptr;
    list->Modes = nullptr;
    list->DriverFlags = nullptr;
    list->NtDriverCount = 0;
    list->Win40DriverCount = 0;
    list->NtBytes = 0;
    list->Win40Bytes = 0;
    return 1;
}
