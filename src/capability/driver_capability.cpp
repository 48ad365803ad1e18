#include "capability/driver_capability.h"

#include <cstring>
#include <optional>
#include <string>

#include "capability/spooler.h"
#include "capability/trace.h"
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

CapabilityEntry ReadCapabilityEntry(const char* path, const char* driverName, DWORD* driverFlag,
                                    char (&section)[PathChars - 1])
{
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

const char* ModeWord(DWORD mode)
{
    switch (mode) {
    case ModeTab: return "tab";
    case ModePopup: return "popup";
    case ModeHide: return "hide";
    default: return "none";
    }
}

bool FileIsPresent(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// What the capability files said, in their order, for the diagnosis: the first file that is present
// without describing the driver and the last one that cancelled an earlier declaration.
class CapabilityWalk {
public:
    void OlderForm(ResolveTrace* trace, const char* path, bool declared)
    {
        ++files_;
        trace->Link("capability file", declared ? "older form, support already declared" : "older form: declares job accounting", path);
    }

    void Entry(ResolveTrace* trace, const char* path, const char* driverName, CapabilityEntry entry,
               const char* section, DWORD flag, bool declaredBefore)
    {
        ++files_;
        std::string name = std::string("\"") + driverName + "\"";
        switch (entry) {
        case CapabilityEntry::Declared:
            trace->Link("capability file", "[Capability] " + name + " = [" + section +
                                               "]: declares job accounting, JobAccountDrvFlag=" + std::to_string(flag),
                        path);
            cancelledBy_.clear();
            declinedBy_.clear();
            break;
        case CapabilityEntry::Cancelled:
            trace->Link("capability file", "[Capability] " + name + " = [" + section + "]: JobAccount=0", path);
            (declaredBefore ? cancelledBy_ : declinedBy_) = path;
            break;
        case CapabilityEntry::NoEntry:
            trace->Link("capability file", "no entry for " + name + " in [Capability]", path);
            if (withoutEntry_.empty())
                withoutEntry_ = path;
            break;
        }
    }

    // The last data file among the dependent files is the one that sets the mode.
    void DataFile(ResolveTrace* trace, const char* path, DWORD mode)
    {
        trace->Link("data file", std::string(ModeWord(mode)) + " mode", path);
        dataFile_ = path;
    }

    // Without `modeFromDataFile` the caller takes the mode from elsewhere (the all-drivers
    // override) and asks only whether the driver accounts: its data files then decide nothing.
    void Conclude(ResolveTrace* trace, const DRIVER_INFO_3A* driver, bool found, DWORD dataMode,
                  bool modeFromDataFile) const
    {
        const char* driverPath = driver->pDriverPath ? driver->pDriverPath : "";
        const std::string name = std::string("\"") + (driver->pName ? driver->pName : "") + "\"";
        if (found) {
            if (!modeFromDataFile)
                return;
            if (dataMode == ModeNoSupport)
                trace->Problem("no data file among the dependent files: job accounting is switched off for " + name,
                               driverPath);
            else if (!FileIsPresent(dataFile_.c_str()))
                trace->Problem("the data file is missing from the driver directory", dataFile_);
            return;
        }
        if (files_ == 0)
            trace->Problem("no capability file among the dependent files of " + name, driverPath);
        else if (!cancelledBy_.empty())
            trace->Problem("a later capability file cancels job accounting for " + name, cancelledBy_);
        else if (!declinedBy_.empty())
            trace->Problem("the capability file declines job accounting for " + name + " (JobAccount=0)", declinedBy_);
        else
            trace->Problem("the capability file has no entry for " + name + " in [Capability]", withoutEntry_);
    }

private:
    int files_ = 0;
    std::string cancelledBy_;
    std::string declinedBy_;
    std::string withoutEntry_;
    std::string dataFile_;
};

// True when a dependent file of one of the names exists, or one of them lies in the driver directory.
bool DriverCarries(const DRIVER_INFO_3A* driver, std::initializer_list<const char*> names)
{
    for (const char* entry = driver->pDependentFiles; entry && *entry; entry += strlen(entry) + 1) {
        char name[PathChars] = {};
        char path[PathChars] = {};
        if (!ResolveDependentFile(entry, driver->pDriverPath, name, path))
            continue;
        for (const char* wanted : names)
            if (EqualNoCase(name, wanted) && FileIsPresent(path))
                return true;
    }
    char directory[PathChars] = {};
    if (!driver->pDriverPath || !CopyDirectoryPart(directory, driver->pDriverPath))
        return true;
    for (const char* wanted : names) {
        char path[PathChars] = {};
        if (ComposePath(path, {directory, wanted}) && FileIsPresent(path))
            return true;
    }
    return false;
}

// The driver loads the module and the string file from among its own files.
void TraceModuleFilesBeside(ResolveTrace* trace, const DRIVER_INFO_3A* driver)
{
    char directory[PathChars] = {};
    if (!driver->pDriverPath || !CopyDirectoryPart(directory, driver->pDriverPath))
        return;
    if (!DriverCarries(driver, {Module.ModuleFileName}))
        trace->Problem("the module is missing beside the driver", std::string(directory) + Module.ModuleFileName);
    if (!DriverCarries(driver, {"zrjobacs.str", "zrjobacs.ini"}))
        trace->Problem("the string file is missing beside the driver", std::string(directory) + "zrjobacs.str");
}

std::string RegistryValueName(const char* name)
{
    return std::string("HKEY_LOCAL_MACHINE\\") + Module.RegistryRoot + "\\" + name;
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

bool ReadDriverCapability(const DRIVER_INFO_3A* driver, DWORD* mode, DWORD* driverFlag, char* settingsPath,
                          ResolveTrace* trace)
{
    if (!driver || !driver->pDependentFiles || !driver->pDependentFiles[0]) {
        if (trace)
            trace->Problem("the driver lists no dependent files, so no capability file",
                           driver && driver->pDriverPath ? driver->pDriverPath : "");
        return false;
    }

    bool found = false;
    // The flag belongs to the capability that stands at the end: once a later file cancels support,
    // the flag an earlier file supplied no longer describes the driver (and the older form supplies
    // none when it declares support again).
    bool flagSupplied = false;
    DWORD flag = 0;
    DWORD dataMode = ModeNoSupport;
    // Only a diagnosis pays for remembering the walk.
    std::optional<CapabilityWalk> walk;
    if (trace)
        walk.emplace();
    for (const char* entry = driver->pDependentFiles; *entry; entry += strlen(entry) + 1) {
        char name[PathChars] = {};
        char path[PathChars] = {};
        if (!ResolveDependentFile(entry, driver->pDriverPath, name, path))
            continue;

        if (IsOlderCapabilityName(name)) {
            if (trace)
                walk->OlderForm(trace, path, found);
            found = true;
        }
        if (IsCapabilityFileName(name) && driver->pName) {
            char section[PathChars - 1] = {};
            CapabilityEntry entryFound = ReadCapabilityEntry(path, driver->pName, &flag, section);
            if (trace)
                walk->Entry(trace, path, driver->pName, entryFound, section, flag, found);
            switch (entryFound) {
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
            if (trace)
                walk->DataFile(trace, path, fileMode);
        }
    }
    if (trace)
        walk->Conclude(trace, driver, found, dataMode, mode != nullptr);
    if (found && mode)
        *mode = dataMode;
    if (found && flagSupplied && driverFlag)
        *driverFlag = flag;
    return found;
}

bool DriverSupportsJobAccounting(const char* printerName, char* settingsPath, ResolveTrace* trace)
{
    PrinterHandle printer;
    if (!printer.OpenForUse(printerName)) {
        if (trace)
            trace->Problem("no printer of this name can be opened", printerName);
        return false;
    }
    std::vector<BYTE> block = QueryPrinterDriver3(printer.get());
    const DRIVER_INFO_3A* driver = AsDriver3(block);
    if (trace && driver)
        trace->Link("driver", driver->pName ? driver->pName : "", driver->pDriverPath ? driver->pDriverPath : "");
    return ReadDriverCapability(driver, nullptr, nullptr, settingsPath, trace);
}

bool AllDriversShareMode()
{
    return ReadCommonNumber("AllMode", 0) != 0 && ReadRegistryDword("AllFlag", 0) != 0;
}

namespace {

DWORD DetectMode(const char* printerName, DWORD* driverFlag, char* settingsPath, ResolveTrace* trace)
{
    char localPath[PathChars] = {};
    char* path = settingsPath ? settingsPath : localPath;

    if (AllDriversShareMode()) {
        if (trace) {
            trace->Link("all-drivers override", "in force: AllMode=" + std::to_string(ReadRegistryDword("AllMode", 0)),
                        RegistryValueName("AllFlag"));
            trace->Problem("the all-drivers override in the registry sets every driver's mode, whatever its own "
                           "data file says",
                           RegistryValueName("AllMode"));
        }
        if (!DriverSupportsJobAccounting(printerName, path, trace))
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
    if (trace)
        trace->Link("all-drivers override", "not in force", Module.StringFilePath);

    PrinterHandle printer;
    if (!printer.OpenForUse(printerName)) {
        if (trace)
            trace->Problem("no printer of this name can be opened", printerName);
        return ModeNoSupport;
    }
    std::vector<BYTE> block = QueryPrinterDriver3(printer.get());
    const DRIVER_INFO_3A* driver = AsDriver3(block);
    if (trace && driver)
        trace->Link("driver", driver->pName ? driver->pName : "", driver->pDriverPath ? driver->pDriverPath : "");
    DWORD mode = ModeNoSupport;
    if (!ReadDriverCapability(driver, &mode, driverFlag, path, trace))
        return ModeNoSupport;
    if (trace && mode != ModeNoSupport)
        TraceModuleFilesBeside(trace, driver);
    if (mode == ModeHide) {
        char candidate[PathChars] = {};
        if (ServerSettingsCandidate(printer.get(), driver, candidate) &&
            ReadProfileNumber(candidate, "JobAccount", "Mode", 0) == 4) {
            CopyCut(path, PathChars, candidate);
            if (trace)
                trace->Link("settings file", "the print server's copy, Mode=4", candidate);
        }
    }
    return mode;
}

}  // namespace

DWORD DetectDriverMode(const char* printerName, DWORD* driverFlag, char* settingsPath, ResolveTrace* trace)
{
    DWORD mode = DetectMode(printerName, driverFlag, settingsPath, trace);
    if (trace)
        trace->Link("mode", ModeWord(mode));
    return mode;
}
