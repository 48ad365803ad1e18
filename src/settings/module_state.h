// What the module learns about its surroundings when it is loaded.
#pragma once

#include <windows.h>

// Character counts include the terminator.
enum : int {
    PathChars = MAX_PATH,      // 260
    TextChars = 256,
    DataFileChars = 15,
    MfHeaderChars = 3,
};

struct ModuleState {
    HINSTANCE ModuleInstance;
    char ModuleDirectory[PathChars];   // ends in a backslash
    char ModuleFileName[PathChars];
    char StringFilePath[PathChars];
    char RegistryRoot[TextChars];      // subkey of HKEY_LOCAL_MACHINE
    char HelpFilePath[PathChars];
    char ModPath64[PathChars];         // empty when unknown
    char ModPath32[PathChars];
    char DatFile1[DataFileChars];      // marks a Tab-mode driver
    char DatFile2[DataFileChars];      // marks a Popup-mode driver
    char DatFile4[DataFileChars];      // marks a Hide-mode driver; printer settings file name
    char AccountFile[DataFileChars];
    char MfHeader[MfHeaderChars];
    char AppName[TextChars];
};

// Filled once at process attach and read-only afterwards.
extern ModuleState Module;

// Resource ids of the two string-file names in the string table.
#include "res/resource.h"

// Works out the whole module state for the module loaded as `instance`.
void LoadModuleState(HINSTANCE instance, ModuleState* state);

// The module's own (master) copy of the printer settings file; false (and empty) when the path
// does not fit.
bool MasterSettingsPath(char (&path)[PathChars]);

// Fills `Module` for `Module.ModuleInstance`; run once from the attach notification.
void InitModuleSettings();
