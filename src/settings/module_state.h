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

// Filled once per load, by the first call into the module that needs it, and read-only afterwards.
extern ModuleState Module;

// Resource ids of the two string-file names in the string table.
#include "res/resource.h"

// Works out the whole module state for the module loaded as `instance`.
void LoadModuleState(HINSTANCE instance, ModuleState* state);

// The module's own (master) copy of the printer settings file; false (and empty) when the path
// does not fit.
bool MasterSettingsPath(char (&path)[PathChars]);

// Fills `Module` for `Module.ModuleInstance` the first time any thread asks, and makes every other
// thread that asks meanwhile wait for it. Each export asks before anything else; the attach
// notification only notes the instance, as the loader's lock holds up every other load in the
// process while it runs. False when the state could not be filled (no memory left): the next
// call tries again.
bool EnsureModuleSettings();

// For a program that links the module's code and reads the state of a module it loaded: fills
// `Module` from `instance` now, and again at each call; no first call fills it afterwards.
void LoadModuleSettingsOf(HINSTANCE instance);
