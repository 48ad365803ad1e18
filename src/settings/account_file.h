// Writing the per-user account file, only where the user it belongs to asks, and never through a
// link. The module runs inside the spooler as SYSTEM as well as in each user's own processes: a
// user who could make SYSTEM write where the user's file points could write any file of the
// machine, and open it to everyone.
#pragma once

#include <windows.h>

enum class AccountFileWrite {
    Allowed,
    NotTheCallers,  // another user's file than the one of the user the thread acts for
    NotAPlainFile,  // a link (symbolic, junction, or a file with a second name), a directory, a device
};

// Whether the module may write the account file `path` (as composed for a job: the file in a
// user's profile, or the bare name of the shared file in the Windows directory) on the calling
// thread. A profile's file is written only for the user it belongs to, in that user's own
// processes or while the thread impersonates that user; the shared file is everyone's. A file that
// is there is written only when it is a plain file with one name; a missing one is created by the
// write.
AccountFileWrite CheckAccountFileWrite(const char* path);

// Writes (with a null value deletes) `key` of `section` of the account file when
// CheckAccountFileWrite allows it. False when it does not (the last error ERROR_ACCESS_DENIED for
// another user's file, ERROR_CANT_ACCESS_FILE for a link or anything but a plain file) or when the
// write failed; false too for a missing file name or section, which the profile functions would
// take for WIN.INI or the whole file.
bool WriteAccountFileValue(const char* path, const char* section, const char* key, const char* value);

// Whether `path` names the shared account file (a bare file name, which the profile functions look
// for in the Windows directory) rather than one in a user's profile.
bool IsSharedAccountFile(const char* path);

// Opens the account file that is there for `access` (READ_CONTROL, WRITE_DAC) without following a
// link; INVALID_HANDLE_VALUE, with the reason as the last error, when it is missing or refused as
// CheckAccountFileWrite refuses it.
HANDLE OpenAccountFileForAccess(const char* path, DWORD access);
