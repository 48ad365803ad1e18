// Switches printer drivers between the job accounting modes by rewriting their dependent files.
#pragma once

#include <windows.h>

#include "idlist/driver_list.h"

// Index of the driver list entry to change, or AllDrivers.
const int AllDrivers = -1;

// Switches entry `index` of `list` (or every supporting entry) to `mode` (JobAccountMode) and
// updates the list's modes and counts for each driver changed. Returns 0, else the system error
// code of the step that failed; the drivers changed before it stay changed.
DWORD ApplyJobAccountMode(DriverList* list, int index, DWORD mode);

// Sets the file's last-write time to now, keeping its other times. Non-zero on success.
BOOL TouchFileTime(const char* path);
