// The record of one job account resolution.
#pragma once

#include <windows.h>
#include <unknwn.h>

enum : DWORD {
    JAF_TAB = 0x0001,
    JAF_POPUP = 0x0002,
    JAF_HIDE = 0x0004,
    JAF_FIXED_ID = 0x0008,
    JAF_HIDE_PATH = 0x0010,
    JAF_NT = 0x0020,
    JAF_HOST_ADDRESS = 0x0040,
    JAF_COLOR_PASSWORD = 0x0080,
    JAF_ALL_PRINTER = 0x0100,
    JAF_VEXA_ID = 0x0200,
    JAF_POPUP_CANCEL_HIDE = 0x0400,
    JAF_CERT_USER = 0x0800,
    JAF_POPUP_OK_DISABLED = 0x1000,
    JAF_VISTA = 0x2000,
    JAF_NO_POPUP = 0x4000,
    JAF_CALLER = 0x8000,  // the calling user's own record, not a job's (OVR_CALLER)
};

enum : int { IDTextChars = 11, UserIDChars = 81 };

// One zero-filled movable block, locked for its whole life, carrying its own handle.
struct JobAccountInfo {
    DWORD JobAccountID;
    char JobAccountIDText[IDTextChars];
    char UserID[UserIDChars];
    char* PrinterName;      // owned strings (DuplicateString)
    char* AccountFilePath;
    char* ReservedPath;
    char* SettingsFilePath;
    char* TabTitle;
    DWORD Flags;
    IUnknown* PageOwner;    // the extension object kept alive while the property page exists
    HGLOBAL RecordHandle;
};

// A zero-filled, locked record whose RecordHandle names its own block; null when memory runs out.
JobAccountInfo* AllocateJobAccountInfo();
void ReleaseJobAccountStrings(JobAccountInfo* info);
void ReleaseJobAccountInfo(JobAccountInfo* info);
