// Which printer drivers take part in job accounting, and in which mode.
#pragma once

#include <windows.h>
#include <winspool.h>

class ResolveTrace;

enum JobAccountMode : DWORD {
    ModeNoSupport = 0,
    ModeTab = 1,
    ModePopup = 2,
    ModeHide = 3,
};

// True when the driver's dependent files declare job accounting. Each output is optional:
// `mode` is written only on true, `driverFlag` only when a capability file supplies it, and
// `settingsPath` (260 characters) receives the recognised data file's full path either way. A
// trace, when given, receives each file read and what it declared.
bool ReadDriverCapability(const DRIVER_INFO_3A* driver, DWORD* mode, DWORD* driverFlag, char* settingsPath,
                          ResolveTrace* trace = nullptr);

bool DriverSupportsJobAccounting(const char* printerName, char* settingsPath, ResolveTrace* trace = nullptr);

// The printer's mode 0 to 3 (or the machine-wide registry mode), its driver flag and the path of
// its printer settings file.
DWORD DetectDriverMode(const char* printerName, DWORD* driverFlag, char* settingsPath,
                       ResolveTrace* trace = nullptr);

// True in the all-drivers state: "AllMode" in the string file and "AllFlag" in the registry.
bool AllDriversShareMode();
