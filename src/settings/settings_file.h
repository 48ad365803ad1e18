// Whole-file reads and writes of settings files. Printers resolve jobs from these files while an
// administrator changes them, so a file is never rewritten in place: the new text goes to a file
// beside it that then takes the old one's name in one step, and a reader sees the old file or the
// new one, never a half-written one.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <cstdint>
#include <vector>

using ProfileKeys = std::vector<std::pair<std::string, std::string>>;

// The whole file; false (and empty) when it is missing, cannot be read or holds more than
// `mostBytes` (the last error then ERROR_FILE_TOO_LARGE); the thread's last error says why.
bool ReadWholeFile(const char* path, std::string* bytes, size_t mostBytes = SIZE_MAX);

// The whole settings file, empty when the file (or its folder) does not exist. False when it exists
// but cannot be read; the last error says why.
bool ReadSettingsText(const char* path, std::string* text);

// Replaces (or creates) `target` with `bytes` through a temporary file in its directory. A
// read-only target is made writable first. False when the file could not be replaced; the target
// is then as it was.
bool ReplaceFileContents(const char* target, const std::string& bytes);

// Copies `source` over `target` in the same way.
bool CopyFileReplacing(const char* source, const char* target);

// Makes the profile functions write out what they still hold for `file`, so the file on disk is
// current before it is read or replaced as a whole.
void FlushProfileCache(const char* file);

// The text of a settings file with `section` holding exactly the lines of `body` (each ending in
// CR LF), in the place of the section's first occurrence (the one the profile functions use) or at
// the end. Every other line stays as it was.
std::string WithSectionReplaced(const std::string& text, const char* section, const std::string& body);

// The text of a settings file with each key of `entries` set in `section` as the profile functions
// would set it: a key present (compared without regard to case) keeps its place and takes the new
// value; others are added after the section's last entry; the section is added when missing.
std::string WithKeysSet(const std::string& text, const char* section,
                        const ProfileKeys& entries);

// Replaces the file with `edit` applied to its current text (empty when the file is missing), in one
// step; false when the file could not be read or replaced, and it is then as it was. The last error
// says why.
bool UpdateSettingsFile(const char* file, const std::function<std::string(const std::string&)>& edit);

// Rewrites one section of a settings file, keeping every other section and key.
bool RewriteProfileSection(const char* file, const char* section, const std::string& body);

// Sets many keys of one section in one rewrite of the file.
bool SetProfileKeys(const char* file, const char* section, const ProfileKeys& entries);
