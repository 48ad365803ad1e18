#include "settings/account_file.h"

#include <cstring>
#include <string>

#include "settings/file_handle.h"
#include "settings/module_state.h"
#include "settings/profile_cache.h"
#include "settings/text.h"
#include "settings/user_account.h"

namespace {

// Whether the file behind `file` (opened without following a link) is a plain file with one name:
// a second name (a hard link) or a reparse point would let a write through this path reach a file
// somewhere else.
bool IsPlainFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information))
        return false;
    const DWORD odd = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    return !(information.dwFileAttributes & odd) && information.nNumberOfLinks == 1;
}

// The file itself, not what a link names.
HANDLE OpenWithoutFollowing(const std::string& location, DWORD access)
{
    return CreateFileA(location.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsCallersOwnFile(const char* path)
{
    char profile[PathChars] = {};
    char own[PathChars] = {};
    return CallerProfileDirectory(profile, sizeof profile) && ComposePath(own, {profile, "\\", Module.AccountFile}) &&
           EqualNoCase(own, path);
}

}  // namespace

bool IsSharedAccountFile(const char* path)
{
    return path && path[0] && !strchr(path, '\\') && !strchr(path, '/') && !strchr(path, ':');
}

AccountFileWrite CheckAccountFileWrite(const char* path)
{
    if (!IsSharedAccountFile(path) && !IsCallersOwnFile(path))
        return AccountFileWrite::NotTheCallers;
    const std::string location = ProfileFileLocation(path);
    if (location.empty())
        return AccountFileWrite::NotAPlainFile;
    FileHandle file(OpenWithoutFollowing(location, FILE_READ_ATTRIBUTES));
    if (!file.ok()) {
        // Missing: the write creates it. Whatever else keeps the file from being looked at keeps it
        // from being written: it cannot be told from a link.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? AccountFileWrite::Allowed
                                                                               : AccountFileWrite::NotAPlainFile;
    }
    return IsPlainFile(file.get()) ? AccountFileWrite::Allowed : AccountFileWrite::NotAPlainFile;
}

bool WriteAccountFileValue(const char* path, const char* section, const char* key, const char* value)
{
    if (!path || !path[0] || !section || !section[0] || !key || !key[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    switch (CheckAccountFileWrite(path)) {
    case AccountFileWrite::Allowed:
        return WritePrivateProfileStringA(section, key, value, path) != FALSE;
    case AccountFileWrite::NotTheCallers:
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    case AccountFileWrite::NotAPlainFile:
    default:
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
}

HANDLE OpenAccountFileForAccess(const char* path, DWORD access)
{
    if (!IsSharedAccountFile(path) && !IsCallersOwnFile(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const std::string location = ProfileFileLocation(path);
    if (location.empty()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = OpenWithoutFollowing(location, access | FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    if (!IsPlainFile(file)) {
        CloseHandle(file);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}
