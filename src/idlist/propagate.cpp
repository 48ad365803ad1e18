#include "idlist/propagate.h"

#include "capability/driver_capability.h"
#include "settings/file_handle.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/registry.h"
#include "settings/settings_file.h"
#include "settings/text.h"

namespace {

// Volume and file index of an existing file: two spellings of one file open the same identity.
struct FileIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

bool ReadFileIdentity(const char* path, FileIdentity* identity)
{
    FileHandle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.ok())
        return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    bool ok = GetFileInformationByHandle(file.get(), &info) != FALSE;
    if (ok)
        *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return ok;
}

// The module is itself a driver's dependent file, so the master copy can be that driver's copy.
bool IsSameFile(const char* source, const char* target)
{
    FileIdentity a, b;
    return ReadFileIdentity(source, &a) && ReadFileIdentity(target, &b) && a.volume == b.volume &&
           a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// Makes the target writable and copies the source over it through a file beside it, so a printer
// reading the target meanwhile sees the old copy or the new one. A target path that does not fit
// is a failed copy; the source itself as target is already a finished one.
bool CopyOver(const char* source, const char* directory)
{
    char target[PathChars] = {};
    if (!ComposePath(target, {directory, Module.DatFile4}))
        return false;
    if (IsSameFile(source, target))
        return true;
    ClearReadOnly(target);
    return CopyFileReplacing(source, target);
}

bool SpoolerDriverDirectory(const char* environment, char (&directory)[PathChars])
{
    char spooler[PathChars] = {};
    DWORD needed = 0;
    directory[0] = '\0';
    if (!GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(spooler),
                                    sizeof spooler - 1, &needed))
        return false;
    spooler[sizeof spooler - 1] = '\0';
    return ComposePath(directory, {spooler, "\\"});
}

// The all-drivers state keeps one copy, in the first driver's directory.
bool CopyForAllDrivers(const DriverList* list, const char* source)
{
    if (ReadRegistryDword("AllMode", 0) != ModeHide)
        return true;
    char directory[PathChars] = {};
    if (IsNTPlatform()) {
        const DRIVER_INFO_3A* first = DriverEntry(*list, 0);
        if (!first)
            return true;
        if (!CopyDirectoryPart(directory, first->pDriverPath))
            return false;
    } else {
        const DRIVER_INFO_3A* firstWin40 = DriverEntry(*list, list->NtDriverCount);
        if (!firstWin40)
            return true;
        if (!SpoolerDriverDirectory(firstWin40->pEnvironment, directory))
            return false;
    }
    return CopyOver(source, directory);
}

bool CopyToHideDrivers(const DriverList* list, const char* source)
{
    const bool nt4 = IsNTPlatform() && !Is2000OrLater();
    bool ok = true;
    for (DWORD i = 0; i < DriverEntryCount(*list); ++i) {
        if (!list->Modes || list->Modes[i] != ModeHide)
            continue;
        const DRIVER_INFO_3A* driver = DriverEntry(*list, i);
        char directory[PathChars] = {};
        if (nt4) {
            if (!SpoolerDriverDirectory(driver->pEnvironment, directory) || !CopyOver(source, directory))
                ok = false;
        }
        if (!CopyDirectoryPart(directory, driver->pDriverPath) || !CopyOver(source, directory))
            ok = false;
    }
    return ok;
}

}  // namespace

int PropagateSettingsFile(const DriverList* list, const char* source)
{
    char master[PathChars];
    if (!source) {
        if (!MasterSettingsPath(master))
            return 0;
        source = master;
    }
    // Writes through the profile functions may still sit in the system's cache.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, source);

    bool ok = AllDriversShareMode() ? CopyForAllDrivers(list, source) : CopyToHideDrivers(list, source);
    return ok ? 1 : 0;
}

int ClearReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    if (!(attributes & FILE_ATTRIBUTE_READONLY))
        return 1;
    return SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}
