// UTF-8 text taken into the ANSI code page the module works in, for files that programs save as
// UTF-8 (a spreadsheet's "CSV UTF-8", Notepad's UTF-8).
#pragma once

#include <string>

// The three bytes that mark a file as UTF-8 text.
extern const char Utf8Mark[];

// `utf8` in code page `codePage`, exactly: false when it is not valid UTF-8 or holds a character
// the code page has no form of. No look-alike ("best fit") and no default character stands in for
// one, so a name is never registered as another.
bool Utf8ToAnsiExactly(const std::string& utf8, unsigned codePage, std::string* ansi);
