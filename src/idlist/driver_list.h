// The inventory of installed printer drivers with each one's job accounting mode.
#pragma once

#include <windows.h>
#include <winspool.h>

// Caller-owned; zero-fill before the first build. Entries number from 0 over both parts: the
// NT-family records first, then the "Windows 4.0" records starting at byte offset NtBytes.
struct DriverList {
    DWORD NtDriverCount;
    DWORD Win40DriverCount;
    DWORD NtBytes;
    DWORD Win40Bytes;
    BYTE* Drivers;       // level-3 driver records
    DWORD* Modes;        // one JobAccountMode per entry
    DWORD* DriverFlags;  // one driver flag word per entry
    DWORD ModeCounts[4];
};

inline DWORD DriverEntryCount(const DriverList& list) { return list.NtDriverCount + list.Win40DriverCount; }

// Entry i of the list, or null past its end.
const DRIVER_INFO_3A* DriverEntry(const DriverList& list, DWORD index);

// Returns 1 when at least one supporting driver was listed. With a combo box, its items are
// replaced by the listed drivers' display names, each carrying its entry index as item data.
int BuildDriverList(HWND combo, DriverList* list);
int ReleaseDriverList(DriverList* list);

// A driver list built without a combo box and released on every return.
struct OwnedDriverList {
    DriverList list = {};
    bool built = false;
    OwnedDriverList() { built = BuildDriverList(nullptr, &list) != 0; }
    ~OwnedDriverList() { ReleaseDriverList(&list); }
    OwnedDriverList(const OwnedDriverList&) = delete;
    OwnedDriverList& operator=(const OwnedDriverList&) = delete;
};
