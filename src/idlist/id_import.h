// The menu's ID-file import into the master copy, and the master copy's lists as ID files, without
// a dialog: each reads and writes whole files, so lists of 100,000 entries take seconds.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "idlist/id_list.h"

enum IdImportFailure : int {
    IdImportUnreadable = -1,   // the ID file could not be read; nothing changed
    IdImportNotWritten = -2,   // the settings file could not be replaced; it is as it was
    IdImportNotPropagated = -3, // the master copy took the entries but a driver's copy did not
    IdImportTooLarge = -4,     // the ID file is larger than MostIDFileBytes; nothing changed
    IdImportWideText = -5,     // the ID file is UTF-16 text; nothing changed
};

// Sets every accepted line of the ID file as a key of the registered-ID section of `settingsFile`
// (the value the ID, or the ID, a comma and the user name when the line gives one). A name
// already there takes the new value, as the profile functions would set it: the import's answer
// to the question a dialog asks. Refused lines go to `refused`. Returns the last refusal's code,
// 0, or IdImportUnreadable / IdImportTooLarge / IdImportWideText / IdImportNotWritten.
int ImportIDFileInto(const char* idFile, const char* settingsFile, RefusalNote refused, void* context);

// The same into the master copy, which is then propagated to every Hide-mode driver whatever
// was refused; IdImportNotPropagated when a copy failed.
int ImportIDFileIntoMaster(const char* idFile, RefusalNote refused, void* context);

// Writes `rows` as the whole registered-ID (or fixed-ID) section of a settings file, in their
// order, in one replacement of the file (IDOK's and Export's rewrite); other sections and keys
// stay as they were.
bool WriteIdSection(const char* settingsFile, const std::vector<IdRow>& rows, bool fixed);

// The entries of a list of the master copy as an ID file that imports them again.
std::string MasterListAsIDFile(bool fixed);
