// Copies the printer settings file to every Hide-mode driver.
#pragma once

#include "idlist/driver_list.h"

// Copies `source` (null: the master copy beside the module) over every Hide-mode driver's copy.
// Returns 1 when every attempted copy succeeded, also when none was needed; else 0.
int PropagateSettingsFile(const DriverList* list, const char* source);

// 1 when the file is writable afterwards (or already was); 0 for a missing file or a failed change.
int ClearReadOnly(const char* path);
