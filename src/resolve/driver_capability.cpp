#include "resolve/driver_capability.h"

#include <cstring>

#include "resolve/spooler.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/profile_cache.h"
#include "settings/registry.h"
#include "settings/text.h"

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// "VT" + two hex digits + four hex digits + ".CAP" (upper case); declares job accounting when the
// two-digit number is 1 and the last of the four digits is not 0.
bool IsOlderCapabilityName(const char* name)
{
    if (strlen(name) != 12 || strncmp(name, "VT", 2) != 0 || strcmp(name + 8, ".CAP") != 0)
        return false;
    for (int i = 2; i < 8; ++i)
        if (!IsHexDigit(name[i]))
            return false;
    return name[2] == '0' && name[3] == '1' && name[7] != '0';
}

bool IsCapabilityFileName(const char* name)
{
    return strlen(name) >= 12 && strncmp(name, Module.MfHeader, 2) == 0 && Module.MfHeader[0] &&
           Module.MfHeader[1] && strncmp(name + 8, ".CAP", 4) == 0;
}

// The capability file's entry for `driverName`: Declared (with the driver flag it supplies),
// Cancelled, or NoEntry when the file does not describe the driver.
enum class CapabilityEntry { NoEntry, Cancelled, Declared };

CapabilityEntry ReadCapabilityEntry(const char* path, const char* driverName, DWORD* driverFlag)
{
    char section[PathChars - 1] = {};
    if (ReadProfileTextRemembered(path, "Capability", driverName, "", section, sizeof section) == 0)
        return CapabilityEntry::NoEntry;
    if (ReadProfileNumberRemembered(path, section, "JobAccount", 0) == 0)
        return CapabilityEntry::Cancelled;
    *driverFlag = ReadProfileNumberRemembered(path, section, "JobAccountDrvFlag", 0);
    return CapabilityEntry::Declared;
}

// The dependent file's upper-case name and full path. False when the full path does not fit: a
// cut path would name another file.
bool ResolveDependentFile(const char* entry, const char* driverPath, char (&name)[PathChars],
                          char (&path)[PathChars])
{
    const char* slash = strrchr(entry, '\\');
    if (slash) {
        if (!ComposePath(path, {entry}))
            return false;
        CopyCut(name, slash + 1);
    } else {
        char directory[PathChars] = {};
        if (!CopyDirectoryPart(directory, driverPath) || !ComposePath(path, {directory, entry}))
            return false;
        CopyCut(name, entry);
    }
    CharUpperBuffA(name, static_cast<DWORD>(strlen(name)));
    return true;
}

DWORD DataFileMode(const char* name)
{
    if (EqualNoCase(name, Module.DatFile1))
        return ModeTab;
    if (EqualNoCase(name, Module.DatFile2))
        return ModePopup;
    if (EqualNoCase(name, Module.DatFile4))
        return ModeHide;
    return ModeNoSupport;
}

// The print server's copy of the settings file, for a printer connected to a server.
bool ServerSettingsCandidate(HANDLE printer, const DRIVER_INFO_3A* local, char (&candidate)[PathChars])
{
    if (!IsNTPlatform()) {
        std::vector<BYTE> block = QueryPrinter(printer, 2, sizeof(PRINTER_INFO_2A));
        if (block.empty())
            return false;
        const char* port = reinterpret_cast<const PRINTER_INFO_2A*>(block.data())->pPortName;
        if (!port || port[0] != '\\')
            return false;
        char prefix[PathChars] = {};
        return CopyDirectoryPart(prefix, port) &&
               ComposePath(candidate, {prefix, "print$\\win40\\0\\", Module.DatFile4});
    }

    // The server's name is all that is needed; the small record holds it without the device mode
    // and security the full one builds.
    std::vector<BYTE> block = QueryPrinter(printer, 4, sizeof(PRINTER_INFO_4A));
    if (block.empty())
        return false;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4A*>(block.data());
    if (!info->pServerName || !info->pServerName[0] || !local->pName)
        return false;
    DWORD count = 0;
    std::vector<BYTE> drivers = EnumDrivers3(info->pServerName, nullptr, &count);
    const auto* records = reinterpret_cast<const DRIVER_INFO_3A*>(drivers.data());
    for (DWORD i = 0; i < count; ++i) {
        const DRIVER_INFO_3A& remote = records[i];
        if (!remote.pName || strcmp(remote.pName, local->pName) != 0 || remote.cVersion != local->cVersion)
            continue;
        char directory[PathChars] = {};
        return CopyDirectoryPart(directory, remote.pDriverPath) &&
               ComposePath(candidate, {directory, Module.DatFile4});
    }
    return false;
}

}  // namespace

bool ReadDriverCapability(const DRIVER_INFO_3A* driver, DWORD* mode, DWORD* driverFlag, char* settingsPath)
{
    if (!driver || !driver->pDependentFiles || !driver->pDependentFiles[0])
        return false;

    bool found = false;
    // The flag belongs to the capability that stands at the end: once a later file cancels support,
    // the flag an earlier file supplied no longer describes the driver (and the older form supplies
    // none when it declares support again).
    bool flagSupplied = false;
    DWORD flag = 0;
    DWORD dataMode = ModeNoSupport;
    for (const char* entry = driver->pDependentFiles; *entry; entry += strlen(entry) + 1) {
        char name[PathChars] = {};
        char path[PathChars] = {};
        if (!ResolveDependentFile(entry, driver->pDriverPath, name, path))
            continue;

        if (!found && IsOlderCapabilityName(name))
            found = true;
        if (IsCapabilityFileName(name) && driver->pName) {
            switch (ReadCapabilityEntry(path, driver->pName, &flag)) {
            case CapabilityEntry::Declared:
                found = true;
                flagSupplied = true;
                break;
            case CapabilityEntry::Cancelled:
                found = false;
                flagSupplied = false;
                break;
            case CapabilityEntry::NoEntry:
                break;
            }
        }
        DWORD fileMode = DataFileMode(name);
        if (fileMode != ModeNoSupport) {
            dataMode = fileMode;
            if (settingsPath)
                CopyCut(settingsPath, PathChars, path);
        }
    }
    if (found && mode)
        *mode = dataMode;
    if (found && flagSupplied && driverFlag)
        *driverFlag = flag;
    return found;
}

bool DriverSupportsJobAccounting(const char* printerName, char* settingsPath)
{
    PrinterHandle printer;
    if (!printer.OpenForUse(printerName))
        return false;
    std::vector<BYTE> block = QueryPrinterDriver3(printer.get());
    return ReadDriverCapability(AsDriver3(block), nullptr, nullptr, settingsPath);
}

bool AllDriversShareMode()
{
    return ReadCommonNumber("AllMode", 0) != 0 && ReadRegistryDword("AllFlag", 0) != 0;
}

DWORD DetectDriverMode(const char* printerName, DWORD* driverFlag, char* settingsPath)
{
    char localPath[PathChars] = {};
    char* path = settingsPath ? settingsPath : localPath;

    if (AllDriversShareMode()) {
        if (!DriverSupportsJobAccounting(printerName, path))
            return ModeNoSupport;
        DWORD mode = ReadRegistryDword("AllMode", 0);
        // A value that is no mode at all would otherwise be taken as a set of mode bits.
        if (mode > ModeHide)
            return ModeNoSupport;
        if (mode == ModeHide && settingsPath) {
            char master[PathChars];
            MasterSettingsPath(master);
            CopyCut(settingsPath, PathChars, master);
        }
        return mode;
    }

    PrinterHandle printer;
    if (!printer.OpenForUse(printerName))
        return ModeNoSupport;
    std::vector<BYTE> block = QueryPrinterDriver3(printer.get());
    const DRIVER_INFO_3A* driver = AsDriver3(block);
    DWORD mode = ModeNoSupport;
    if (!ReadDriverCapability(driver, &mode, driverFlag, path))
        return ModeNoSupport;
    if (mode == ModeHide) {
        char candidate[PathChars] = {};
        if (ServerSettingsCandidate(printer.get(), driver, candidate) &&
            ReadProfileNumber(candidate, "JobAccount", "Mode", 0) == 4)
            CopyCut(path, PathChars, candidate);
    }
    return mode;
}
