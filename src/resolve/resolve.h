// Which job account ID and user ID a job on a printer carries.
#pragma once

#include <windows.h>

#include "settings/job_account_info.h"

class ResolveTrace;

// Bits of the Overrides word: an enable bit forces its flag to the value bit of the same word.
enum : DWORD {
    OVR_TAB = 0x0010000,
    OVR_POPUP = 0x0020000,
    OVR_HIDE = 0x0040000,
    OVR_FIXED_ID = 0x0080000,
    OVR_HIDE_PATH = 0x0100000,
    OVR_HOST_ADDRESS = 0x0200000,
    OVR_COLOR_PASSWORD = 0x0400000,
    OVR_ALL_PRINTER = 0x0800000,
    OVR_VEXA_ID = 0x1000000,
    OVR_POPUP_CANCEL_HIDE = 0x2000000,
    OVR_POPUP_OK_DISABLED = 0x4000000,
    // Not a job's resolution but the calling user's own (the property page): the user the thread
    // acts for, whatever job the printer is spooling.
    OVR_CALLER = 0x8000000,
};

// A locked record the caller gives back with ReleaseJobAccountInfo; null when the printer has no
// job accounting, memory runs out or a popup could not be created. With a trace the resolution
// opens no dialog and writes no file: it says in the trace which dialog would open (and then goes on
// as after a cancel), and where each value came from.
JobAccountInfo* ResolveJobAccount(const char* printerName, DWORD overrides, ResolveTrace* trace = nullptr);
