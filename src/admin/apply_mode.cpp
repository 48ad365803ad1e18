#include "admin/apply_mode.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "admin/spooler_restart.h"
#include "capability/driver_capability.h"
#include "settings/helpers.h"
#include "settings/message_box.h"
#include "settings/file_handle.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/registry.h"
#include "settings/text.h"
#include "shellext/registration.h"

namespace {

const char EnvironmentX64[] = "Windows x64";
const char EnvironmentNtX86[] = "Windows NT x86";
const char DriversKeyFormat[] = "System\\CurrentControlSet\\Control\\Print\\Environments\\%s\\Drivers\\Version-%lu\\%s";
const char DefaultRestartMessage[] = "You must restart your computer before printing.";
const DWORD RestartMessageBytes = 8192;

struct Platform {
    bool nt;
    bool win2000;
    bool xp;
    bool vista;
};

// What one call reads once and every driver step shares.
struct Context {
    Platform platform;
    char stringFile[DataFileChars];
    char stringFileAlt[DataFileChars];
    char certificateLibrary[32];
    bool certificateLibraryFor64;
    bool restartDue;
};

void LoadStringFileName(UINT id, const char* fallback, char (&name)[DataFileChars])
{
    if (LoadStringA(Module.ModuleInstance, id, name, sizeof name) <= 0)
        CopyCut(name, fallback);
}

Context ReadContext()
{
    Context context = {};
    context.platform = {IsNTPlatform(), Is2000OrLater(), IsXPOrLater(), IsVistaOrLater()};
    LoadStringFileName(IDS_STRING_FILE, "zrjobacs.str", context.stringFile);
    LoadStringFileName(IDS_STRING_FILE_ALT, "zrjobacs.ini", context.stringFileAlt);
    ReadCommonText("GetVexaIDDll", "", context.certificateLibrary, sizeof context.certificateLibrary);
    context.certificateLibraryFor64 = ReadCommonNumber("GetVexaID64Support", 0) != 0;
    return context;
}

const char* Environment(const DRIVER_INFO_3A* driver) { return driver->pEnvironment ? driver->pEnvironment : ""; }

bool IsX64Environment(const char* environment) { return strcmp(environment, EnvironmentX64) == 0; }

const char* FileNamePart(const char* path)
{
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// The module's own entries in a dependent-file list, whatever directory and letter case they carry.
bool IsModuleFile(const char* entry, const Context& context)
{
    const char* name = FileNamePart(entry);
    for (const char* own : std::initializer_list<const char*>{Module.ModuleFileName, context.stringFile, context.stringFileAlt, Module.DatFile1,
                            Module.DatFile2, Module.DatFile4})
        if (own[0] && EqualNoCase(name, own))
            return true;
    return false;
}

const char* DataFileFor(DWORD mode)
{
    switch (mode) {
    case ModeTab: return Module.DatFile1;
    case ModePopup: return Module.DatFile2;
    case ModeHide: return Module.DatFile4;
    default: return "";
    }
}

// The directory that holds the module for drivers of `environment`, ending in a backslash. The
// module's own width falls back to the module's directory when no path is registered for it.
bool ModuleSourceDirectory(const char* environment, char (&directory)[PathChars])
{
    const bool x64 = IsX64Environment(environment);
    const char* registered = x64 ? Module.ModPath64 : Module.ModPath32;
    if (!registered[0]) {
        if (x64 != Is64BitBuild())
            return false;
        registered = Module.ModuleDirectory;
    }
    const size_t length = strlen(registered);
    if (length == 0)
        return false;
    return ComposePath(directory, {registered, registered[length - 1] == '\\' ? "" : "\\"});
}

bool CertificateLibraryGoesTo(const char* environment, const Context& context)
{
    return context.certificateLibrary[0] && (!IsX64Environment(environment) || context.certificateLibraryFor64);
}

// The spooler's driver directory of `environment`, ending in a backslash.
DWORD SpoolerDriverDirectory(const char* environment, char (&directory)[PathChars])
{
    char queried[PathChars] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(queried),
                                    sizeof queried, &needed))
        return GetLastError();
    queried[sizeof queried - 1] = '\0';
    return ComposePath(directory, {queried, "\\"}) ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
}

// A copy that finds its target already there (when not overwriting) counts as done.
DWORD CopyOneFile(const char* source, const char* target, bool overwrite)
{
    if (CopyFileA(source, target, overwrite ? FALSE : TRUE))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS ? ERROR_SUCCESS : error;
}

// Copies `name` from `sourceDirectory` into `targetDirectory`; `target` receives the copy's path.
DWORD CopyByName(const char* sourceDirectory, const char* name, const char* targetDirectory, bool overwrite,
                 char (&target)[PathChars])
{
    char source[PathChars];
    if (!ComposePath(source, {sourceDirectory, name}) || !ComposePath(target, {targetDirectory, name}))
        return ERROR_FILENAME_EXCED_RANGE;
    return CopyOneFile(source, target, overwrite);
}

// A file that a change will copy must be there before anything is changed: a copy that fails
// half-way through would leave the driver or its directory half-changed.
DWORD CheckSource(const char* directory, const char* name)
{
    char source[PathChars];
    if (!ComposePath(source, {directory, name}))
        return ERROR_FILENAME_EXCED_RANGE;
    if (GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES)
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return error ? error : ERROR_FILE_NOT_FOUND;
}

// Every file the module's part of a driver of `environment` in `mode` is copied from.
DWORD CheckModuleSources(const char* environment, DWORD mode, const Context& context)
{
    for (const char* name : {DataFileFor(mode), static_cast<const char*>(context.stringFile)})
        if (DWORD error = CheckSource(Module.ModuleDirectory, name))
            return error;
    char moduleDirectory[PathChars];
    if (!ModuleSourceDirectory(environment, moduleDirectory))
        return ERROR_PATH_NOT_FOUND;
    if (DWORD error = CheckSource(moduleDirectory, Module.ModuleFileName))
        return error;
    if (CertificateLibraryGoesTo(environment, context))
        return CheckSource(moduleDirectory, context.certificateLibrary);
    return ERROR_SUCCESS;
}

bool TakesPartInAllDrivers(const DRIVER_INFO_3A* driver);

// The first entry of the platform's family that an all-drivers change reaches, or null.
const DRIVER_INFO_3A* FirstTakingPart(const DriverList& list, bool nt)
{
    const DWORD end = nt ? list.NtDriverCount : DriverEntryCount(list);
    for (DWORD i = nt ? 0 : list.NtDriverCount; i < end; ++i)
        if (const DRIVER_INFO_3A* driver = DriverEntry(list, i))
            if (TakesPartInAllDrivers(driver))
                return driver;
    return nullptr;
}

// The files every driver of an all-drivers change finds in the first such driver's directory. A
// driver that the change leaves alone (another vendor's, or one of the other width whose module
// is unknown) has no say in it and gets no copies.
DWORD PrepareAllDrivers(const DriverList& list, DWORD mode, const Context& context)
{
    const bool nt = context.platform.nt;
    const DRIVER_INFO_3A* first = FirstTakingPart(list, nt);
    if (!first)
        return ERROR_SUCCESS;
    char directory[PathChars] = {};
    if (nt) {
        if (!CopyDirectoryPart(directory, first->pDriverPath))
            return ERROR_FILENAME_EXCED_RANGE;
        if (!directory[0])
            return ERROR_PATH_NOT_FOUND;
    } else if (DWORD error = SpoolerDriverDirectory(Environment(first), directory)) {
        return error;
    }
    if (DWORD error = CheckModuleSources(Environment(first), mode, context))
        return error;

    if (mode == ModeTab)
        if (LONG error = RegisterExtension())
            return static_cast<DWORD>(error);
    char target[PathChars];
    for (const char* name : std::initializer_list<const char*>{DataFileFor(mode), context.stringFile})
        if (DWORD error = CopyByName(Module.ModuleDirectory, name, directory, true, target))
            return error;

    char moduleDirectory[PathChars];
    if (!ModuleSourceDirectory(Environment(first), moduleDirectory))
        return ERROR_PATH_NOT_FOUND;
    if (DWORD error = CopyByName(moduleDirectory, Module.ModuleFileName, directory, nt, target))
        return error;
    if (CertificateLibraryGoesTo(Environment(first), context))
        return CopyByName(moduleDirectory, context.certificateLibrary, directory, nt, target);
    return ERROR_SUCCESS;
}

// A multi-string under construction: entries each ended by a zero, the list by an extra one.
class FileList {
public:
    void Add(const char* entry) { text_.append(entry).push_back('\0'); }
    // The finished list; an empty list is the single terminating zero.
    const std::string& Finish()
    {
        if (text_.empty())
            text_.push_back('\0');
        text_.push_back('\0');
        return text_;
    }
    template <typename F>
    void ForEach(F f) const
    {
        for (size_t at = 0; at < text_.size() && text_[at]; at += strlen(text_.c_str() + at) + 1)
            f(text_.c_str() + at);
    }

private:
    std::string text_;
};

// Copies an installed file into the driver directory under its own name, as the spooler expects
// every file of a driver that is installed again to be there.
DWORD StageInstalledFile(const char* installed, const char* driverDirectory, FileList* staged)
{
    char target[PathChars];
    if (!ComposePath(target, {driverDirectory, FileNamePart(installed)}))
        return ERROR_FILENAME_EXCED_RANGE;
    if (DWORD error = CopyOneFile(installed, target, true))
        return error;
    staged->Add(target);
    return ERROR_SUCCESS;
}

// A bare entry names a file in the driver's own directory.
bool InstalledPathOf(const char* entry, const DRIVER_INFO_3A* driver, char (&path)[PathChars])
{
    if (strchr(entry, '\\'))
        return ComposePath(path, {entry});
    char directory[PathChars];
    return CopyDirectoryPart(directory, driver->pDriverPath) && ComposePath(path, {directory, entry});
}

// The list the print system keeps in the registry names files relative to the driver's directory.
const char* RelativeToDriverDirectory(const char* entry, const char* driverDirectory)
{
    if (!driverDirectory[0])
        return entry;
    const char* found = strstr(entry, driverDirectory);
    return found ? found + strlen(driverDirectory) : entry;
}

std::string DriverKeyPath(const DRIVER_INFO_3A* driver)
{
    const char* environment = Environment(driver);
    const char* name = driver->pName ? driver->pName : "";
    // Environment and driver names are the spooler's; room is checked before the text is formatted.
    char keyPath[PathChars * 2];
    if (sizeof DriversKeyFormat + strlen(environment) + 10 + strlen(name) > sizeof keyPath)
        return "";
    wsprintfA(keyPath, DriversKeyFormat, environment, static_cast<unsigned long>(driver->cVersion), name);
    return keyPath;
}

// The driver's "Dependent Files" value as it stood before the change, to put back if the change fails.
struct RegistryListBackup {
    bool present = false;
    DWORD type = REG_MULTI_SZ;
    std::vector<BYTE> data;
};

DWORD OpenDriverKey(const DRIVER_INFO_3A* driver, RegKey* key)
{
    const std::string keyPath = DriverKeyPath(driver);
    if (keyPath.empty())
        return ERROR_FILENAME_EXCED_RANGE;
    return static_cast<DWORD>(key->Open(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY));
}

DWORD BackUpRegistryList(const DRIVER_INFO_3A* driver, RegistryListBackup* backup)
{
    RegKey key;
    if (DWORD error = OpenDriverKey(driver, &key))
        return error;
    DWORD bytes = 0;
    LONG error = RegQueryValueExA(key.get(), "Dependent Files", nullptr, &backup->type, nullptr, &bytes);
    if (error == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    // The value can grow between the two reads when another administrator changes the driver.
    while (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
        backup->data.assign(bytes, 0);
        error = RegQueryValueExA(key.get(), "Dependent Files", nullptr, &backup->type,
                                 backup->data.empty() ? nullptr : backup->data.data(), &bytes);
        if (error == ERROR_SUCCESS) {
            backup->data.resize(bytes);
            backup->present = true;
            return ERROR_SUCCESS;
        }
    }
    return static_cast<DWORD>(error);
}

DWORD WriteRegistryList(const DRIVER_INFO_3A* driver, DWORD type, const BYTE* data, DWORD bytes)
{
    RegKey key;
    if (DWORD error = OpenDriverKey(driver, &key))
        return error;
    return static_cast<DWORD>(RegSetValueExA(key.get(), "Dependent Files", 0, type, data, bytes));
}

DWORD RewriteRegistryList(const DRIVER_INFO_3A* driver, const std::string& list)
{
    return WriteRegistryList(driver, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                             static_cast<DWORD>(list.size()));
}

void RestoreRegistryList(const DRIVER_INFO_3A* driver, const RegistryListBackup& backup)
{
    if (backup.present) {
        WriteRegistryList(driver, backup.type, backup.data.data(), static_cast<DWORD>(backup.data.size()));
        return;
    }
    RegKey key;
    if (OpenDriverKey(driver, &key) == ERROR_SUCCESS)
        RegDeleteValueA(key.get(), "Dependent Files");
}

// Copies the module's files for `mode` into the driver directory and lists them. The sources were
// checked and the extension registered before.
DWORD AddModuleFiles(const DRIVER_INFO_3A* driver, DWORD mode, const char* driverDirectory, Context* context,
                     FileList* list, FileList* copies)
{
    const Platform& platform = context->platform;
    const char* environment = Environment(driver);
    char target[PathChars];
    auto listCopy = [&](const char* name) {
        list->Add(platform.nt ? target : name);
        copies->Add(target);
    };

    const char* dataFile = DataFileFor(mode);
    if (DWORD error = CopyByName(Module.ModuleDirectory, dataFile, driverDirectory, true, target))
        return error;
    // The spooler copies a file that is already installed only when the new one is newer.
    if (platform.vista)
        TouchFileTime(target);
    listCopy(dataFile);

    if (DWORD error = CopyByName(Module.ModuleDirectory, context->stringFile, driverDirectory, true, target))
        return error;
    listCopy(context->stringFile);

    char moduleDirectory[PathChars];
    if (!ModuleSourceDirectory(environment, moduleDirectory))
        return ERROR_PATH_NOT_FOUND;
    if (DWORD error = CopyByName(moduleDirectory, Module.ModuleFileName, driverDirectory, platform.nt, target))
        return error;
    listCopy(Module.ModuleFileName);

    if (CertificateLibraryGoesTo(environment, *context)) {
        if (DWORD error =
                CopyByName(moduleDirectory, context->certificateLibrary, driverDirectory, platform.nt, target))
            return error;
        listCopy(context->certificateLibrary);
    }
    return ERROR_SUCCESS;
}

void DeleteStagedFiles(const FileList& staged, const FileList& list, const char* driverDirectory)
{
    staged.ForEach([](const char* path) { DeleteFileA(path); });
    list.ForEach([&](const char* entry) {
        char path[PathChars];
        if (ComposePath(path, {driverDirectory, FileNamePart(entry)}))
            DeleteFileA(path);
    });
}

// The driver's record as the spooler holds it now: another administrator, an installer or the
// vendor's update may have changed it since the list was read, and installing the list's copy
// again would undo that.
DWORD ReadCurrentRecord(const DRIVER_INFO_3A* listed, std::vector<BYTE>* block, const DRIVER_INFO_3A** current)
{
    char* environment = const_cast<char*>(Environment(listed));
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0, returned = 0;
        if (!EnumPrinterDriversA(nullptr, environment, 3, nullptr, 0, &needed, &returned) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return GetLastError();
        block->assign(needed ? needed : 1, 0);
        if (!EnumPrinterDriversA(nullptr, environment, 3, block->data(), needed, &needed, &returned)) {
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
                continue;
            return GetLastError();
        }
        const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(block->data());
        for (DWORD i = 0; i < returned; ++i)
            if (drivers[i].pName && listed->pName && strcmp(drivers[i].pName, listed->pName) == 0 &&
                drivers[i].cVersion == listed->cVersion) {
                *current = &drivers[i];
                return ERROR_SUCCESS;
            }
        return ERROR_UNKNOWN_PRINTER_DRIVER;
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

void RecordMode(DriverList* list, DWORD index, DWORD mode)
{
    const DWORD previous = list->Modes[index];
    if (previous < 4 && list->ModeCounts[previous] > 0)
        --list->ModeCounts[previous];
    if (mode < 4)
        ++list->ModeCounts[mode];
    if (previous == ModeTab && list->ModeCounts[ModeTab] == 0)
        UnregisterExtension();
    list->Modes[index] = mode;
}

// What one driver's change has staged in the spooler's upload directory, removed on every return.
struct Staging {
    const char* driverDirectory;
    bool cleanUp;
    FileList staged;
    FileList copies;
    ~Staging()
    {
        if (cleanUp)
            DeleteStagedFiles(staged, copies, driverDirectory);
    }
};

DWORD ApplyToDriver(DriverList* list, DWORD index, DWORD mode, Context* context)
{
    std::vector<BYTE> record;
    const DRIVER_INFO_3A* driver = nullptr;
    if (DWORD error = ReadCurrentRecord(DriverEntry(*list, index), &record, &driver))
        return error;
    const Platform& platform = context->platform;
    DWORD previous = ModeNoSupport;
    if (!ReadDriverCapability(driver, &previous, nullptr, nullptr))
        previous = ModeNoSupport;
    if (previous == mode) {
        RecordMode(list, index, mode);
        return ERROR_SUCCESS;
    }
    const char* environment = Environment(driver);

    char driverDirectory[PathChars];
    if (DWORD error = SpoolerDriverDirectory(environment, driverDirectory))
        return error;
    char installedDirectory[PathChars];
    if (!CopyDirectoryPart(installedDirectory, driver->pDriverPath))
        return ERROR_FILENAME_EXCED_RANGE;

    // Everything that can fail without changing the driver comes first.
    if (mode != ModeNoSupport) {
        if (DWORD error = CheckModuleSources(environment, mode, *context))
            return error;
        const char* ownEnvironment = Is64BitBuild() ? EnvironmentX64 : EnvironmentNtX86;
        if (mode == ModeTab && (!platform.nt || strcmp(environment, ownEnvironment) == 0))
            if (LONG error = RegisterExtension())
                return static_cast<DWORD>(error);
    }
    const bool rewriteRegistry = platform.xp && previous != ModeNoSupport;
    RegistryListBackup backup;
    if (rewriteRegistry)
        if (DWORD error = BackUpRegistryList(driver, &backup))
            return error;

    Staging staging{driverDirectory, platform.win2000, {}, {}};
    if (platform.win2000)
        for (const char* installed : std::initializer_list<const char*>{driver->pDriverPath, driver->pDataFile, driver->pConfigFile, driver->pHelpFile})
            if (installed && installed[0])
                if (DWORD error = StageInstalledFile(installed, driverDirectory, &staging.staged))
                    return error;

    // The certificate library is the module's where the module adds it: an entry of it is not kept,
    // or each change would list it once more.
    const bool certificateLibraryAdded = mode != ModeNoSupport && CertificateLibraryGoesTo(environment, *context);
    FileList kept;
    FileList registryList;
    for (const char* entry = driver->pDependentFiles; entry && *entry; entry += strlen(entry) + 1) {
        if (IsModuleFile(entry, *context))
            continue;
        if (certificateLibraryAdded && EqualNoCase(FileNamePart(entry), context->certificateLibrary))
            continue;
        kept.Add(entry);
        if (platform.win2000) {
            char installed[PathChars];
            if (!InstalledPathOf(entry, driver, installed))
                return ERROR_FILENAME_EXCED_RANGE;
            if (DWORD error = StageInstalledFile(installed, driverDirectory, &staging.staged))
                return error;
        }
        if (platform.xp)
            registryList.Add(RelativeToDriverDirectory(entry, installedDirectory));
    }
    if (mode != ModeNoSupport)
        if (DWORD error = AddModuleFiles(driver, mode, driverDirectory, context, &kept, &staging.copies))
            return error;

    // The spooler keeps the old list until it reads the registry again.
    bool restartFailed = false;
    if (rewriteRegistry) {
        if (DWORD error = RewriteRegistryList(driver, registryList.Finish())) {
            RestoreRegistryList(driver, backup);
            return error;
        }
        restartFailed = !RestartSpooler();
    }

    DRIVER_INFO_3A info = *driver;
    std::string dependents = kept.Finish();
    info.pDependentFiles = dependents.data();
    if (!AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&info))) {
        const DWORD error = GetLastError();
        // The driver goes back to the list it had, and the spooler reads it again.
        if (rewriteRegistry) {
            RestoreRegistryList(driver, backup);
            RestartSpooler();
        }
        return error ? error : ERROR_INVALID_FUNCTION;
    }
    if (restartFailed)
        context->restartDue = true;
    RecordMode(list, index, mode);
    return ERROR_SUCCESS;
}

// Whether an all-drivers change reaches this entry. A driver without job accounting support (no
// capability file declares it) also reads as mode 0, but it is another vendor's driver: adding
// the module's files to it and installing it again at level 3 would lose whatever its record holds
// beyond level 3, so it is left alone. So is a driver of the other width whose module is unknown,
// which the driver list leaves out as well.
bool TakesPartInAllDrivers(const DRIVER_INFO_3A* driver)
{
    char moduleDirectory[PathChars];
    return ReadDriverCapability(driver, nullptr, nullptr, nullptr) &&
           ModuleSourceDirectory(Environment(driver), moduleDirectory);
}

// False when nobody could be told: the caller then reports that the computer must be restarted.
bool ShowRestartMessage()
{
    std::string text(RestartMessageBytes, '\0');
    ReadStringText("RestartMessage", DefaultRestartMessage, text.data(), RestartMessageBytes);
    // The text is shown as it stands: it comes from the string file and is never a format.
    return ShowModuleMessage(nullptr, text.c_str(), MB_OK) != 0;
}

}  // namespace

DWORD ApplyJobAccountMode(DriverList* list, int index, DWORD mode)
{
    if (!list || !list->Modes || mode > ModeHide)
        return ERROR_INVALID_PARAMETER;
    const DWORD count = DriverEntryCount(*list);
    const bool allDrivers = index == AllDrivers;
    if (!allDrivers && (index < 0 || static_cast<DWORD>(index) >= count))
        return ERROR_INVALID_PARAMETER;

    const DWORD registryAllFlag = ReadRegistryDword("AllFlag", 0);
    const DWORD registryAllMode = ReadRegistryDword("AllMode", 0);
    Context context = ReadContext();

    if (allDrivers) {
        if (mode != ModeNoSupport)
            if (DWORD error = PrepareAllDrivers(*list, mode, context))
                return error;
        if (registryAllMode == ModeTab && mode != ModeTab && list->ModeCounts[ModeTab] == 0)
            UnregisterExtension();
    }

    const DWORD first = allDrivers ? 0 : static_cast<DWORD>(index);
    const DWORD end = allDrivers ? count : first + 1;
    for (DWORD i = first; i < end; ++i) {
        if (list->Modes[i] == mode)
            continue;
        if (allDrivers && !TakesPartInAllDrivers(DriverEntry(*list, i)))
            continue;
        if (DWORD error = ApplyToDriver(list, i, mode, &context))
            return error;
    }

    const DWORD allFlag = allDrivers ? 1 : 0;
    if (allFlag != registryAllFlag)
        WriteRegistryDword("AllFlag", allFlag);
    if (allDrivers && mode != registryAllMode)
        WriteRegistryDword("AllMode", mode);
    // Where nobody can read that the computer must be restarted, the caller is told instead.
    if (context.restartDue && !ShowRestartMessage())
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    return ERROR_SUCCESS;
}

BOOL TouchFileTime(const char* path)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    FILETIME local = {};
    FILETIME universal = {};
    if (!SystemTimeToFileTime(&now, &local) || !LocalFileTimeToFileTime(&local, &universal))
        return FALSE;
    FileHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok())
        return FALSE;
    return SetFileTime(file.get(), nullptr, nullptr, &universal);
}
