// The registered-ID and fixed-ID lists: reading ID files and settings-file sections into rows, the
// checks every name, user name and ID passes on its way in, and the comparisons of the shared sort.
// Nothing here touches a window, so the dialogs, the command-line import and the tests share it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "settings/code_page.h"

// Result codes of a load or an import; when several entries are refused the last one's code wins.
enum IdListCode : int {
    IdListAccepted = 0,
    IdListBadText = 2,    // a name or user name broke the text rule
    IdListBadDigit = 3,   // an ID held a character other than a decimal digit
    IdListBadRange = 4,   // an ID longer than 10 characters or outside 1 to 999999999
    IdListSkipped = -1,   // an empty name or ID: left out without a word (never a result code)
    // An ID file refused as a whole, nothing imported (results of a file import, never of a line).
    IdFileTooLarge = -2,  // larger than MostIDFileBytes
    IdFileWideText = -3,  // UTF-16 text (a byte-order mark of either order)
};

// An ID file of 100,000 users takes 2 to 4 MB, so 64 MB holds well over a million entries, more
// than a list view or a settings file read by the profile functions can carry. Anything larger is
// not an ID file (a log or an image picked through "All Files"): read whole, with the rows made of
// it, it would take more memory than the 32-bit module's process may have.
enum : size_t { MostIDFileBytes = 64u << 20 };

// Field sizes in bytes, terminator included.
enum : size_t {
    IdNameBytes = 81,
    IdUserBytes = 81,
    IdTextBytes = 12,
    IdValueChars = 255,   // a settings-file value is read up to this many characters
};

extern const char RegisteredIDSection[];  // "JobAccountID"
extern const char FixedIDSection[];       // "FixedID"

// Reads one comma-separated field starting at `input` into `dest` (cut to `capacity` - 1 bytes,
// always terminated). A field in double quotes may hold the separator; its closing quote is
// dropped when the separator or the line's end follows it. Returns the position after the
// separator, carriage return or line feed that ended the field, or at the terminating zero.
const char* ParseCsvField(const char* input, char separator, char* dest, size_t capacity);

// The decimal value of an ID text: -1 when a character is not one of the digits 0 to 9, 0 for an
// empty text. Long texts saturate rather than wrap.
long long ParseJobAccountID(const char* text);

// Whether a name or user name holds only the characters the lists take: printable ASCII but the
// double quote, tabs, double-byte characters of the code page and the single bytes the name filter
// keeps (half-width katakana), at most 80 bytes. Without a code page, the process's.
bool PassesTextRule(const char* text);
bool PassesTextRule(const char* text, const CodePageTraits& codePage);

// Whether a name can be written as a settings-file key and read back as the same key: no line
// break, no "=", and its first byte after leading blanks neither "[" nor ";" (the profile
// functions skip those blanks, and the line would then be a section header or a comment). User
// names are values and need none of this.
bool IsSafeSettingsKey(const char* text, const CodePageTraits& codePage);

// The text rule and the key rule: what a name must pass.
bool PassesNameRule(const char* text);
bool PassesNameRule(const char* text, const CodePageTraits& codePage);

// 0, IdListBadDigit or IdListBadRange for a non-empty ID text. Leading zeros are kept by callers.
int CheckJobAccountID(const char* text);

struct IdRow {
    std::string Name;
    std::string UserName;
    std::string ID;
};

// The entry check shared by loads and imports. A registered-ID entry without a user name takes
// the name as user name; a fixed-ID entry keeps it empty. Returns IdListAccepted, IdListSkipped
// or a refusal code.
int CheckEntry(IdRow* row, bool fixed);
int CheckEntry(IdRow* row, bool fixed, const CodePageTraits& codePage);

// Splits one ID-file line (name, ID, user name; further fields ignored) into cut fields.
IdRow SplitIdLine(const char* line);

// The key a name is found by: the profile functions and the list's name search ignore case.
std::string NameKey(const std::string& name);

// Rows in display order with a lookup from name to the first row of that name.
class IdList {
public:
    const std::vector<IdRow>& Rows() const { return rows_; }
    size_t Size() const { return rows_.size(); }
    // Position of the first row with that name, compared without regard to case; -1 when none.
    long Find(const std::string& name) const;
    void Append(IdRow row);
    void Replace(size_t position, IdRow row);
    // Removes the rows at the given positions (any order).
    void Remove(std::vector<size_t> positions);
    bool UserNameSeen() const { return userNameSeen_; }
    void NoteUserName() { userNameSeen_ = true; }

private:
    void RebuildLookup() const;
    std::vector<IdRow> rows_;
    // Built at the first search, so lists that are never searched (fixed-ID lists) skip it.
    mutable std::unordered_map<std::string, size_t> byName_;
    mutable bool lookupBuilt_ = false;
    bool userNameSeen_ = false;
};

// What an import does with an accepted entry whose name a registered-ID list already holds with
// another user name or ID: true replaces the row.
using ReplaceQuestion = bool (*)(const IdRow& existing, const IdRow& incoming, void* context);
// Told of every refused line: its number (from 1) and code.
using RefusalNote = void (*)(size_t line, int code, void* context);

struct ImportHandlers {
    ReplaceQuestion replace = nullptr;  // null: the new entry replaces the old one
    RefusalNote refused = nullptr;
    void* context = nullptr;
};

// Imports the text of an ID file into `list`: every line, whatever its length, ended by LF, CR LF
// or CR alone. A file that starts with the UTF-8 mark is UTF-8, each line taken into the code page
// exactly (a line without an exact form is refused with IdListBadText); otherwise it is in the
// code page already. A line holding a zero byte is refused with IdListBadText. Returns the last
// refusal's code, or 0.
int ImportIDText(const std::string& text, bool fixed, IdList* list, const ImportHandlers& handlers = {});
// The same with the names read by `codePage`'s tables.
int ImportIDText(const std::string& text, bool fixed, IdList* list, const ImportHandlers& handlers,
                 const CodePageTraits& codePage);

// What reading an ID file gave.
enum class IdFileRead { Read, Unreadable, TooLarge, WideText };
// Reads the whole ID file into `text` (left empty unless Read). A file beyond MostIDFileBytes is
// TooLarge and is not read; one starting with a UTF-16 mark is WideText.
IdFileRead ReadIDFile(const char* path, std::string* text);

// Appends the entries of the registered-ID (or, with `fixed`, the fixed-ID) section of a settings
// file, read in one go, to `list`. Returns the last refusal's code, or 0; a missing file or
// section loads nothing.
int LoadIdSection(const char* settingsFile, bool fixed, IdList* list);
// The same from the section's entries as the profile functions give them: "key=value" texts, each
// ending in a zero byte, and one more zero byte after the last.
int LoadIdSectionEntries(const char* entries, bool fixed, IdList* list, const CodePageTraits& codePage);

// The section's body in the settings-file format, rows in display order, names cut to 80 bytes:
// "name=ID" or "name=ID,user" (user name not empty and not the name) in a registered-ID list;
// "0=name,ID" or "0=name,ID,user" with keys counting up in a fixed-ID list. Lines end in CR LF.
std::string FormatIdSection(const std::vector<IdRow>& rows, bool fixed);

// The rows as an ID file that imports them again ("name,ID" or "name,ID,user"; a field holding a
// comma is quoted). A registered-ID row whose user name is its name leaves the user name out.
std::string FormatIdFile(const std::vector<IdRow>& rows, bool fixed);

// The shared sort: 1 ascending, 2 descending, 1 at load; toggled before each sort. It is the one
// the list views' column sort (dialogs/list_sort) keeps.
extern int SortDirection;
int ToggleSortDirection();

// The text and number each row tag sorts by in one column: a tag's first row, or when its text is
// empty another row of the same tag at least two below it, or none (" ", -1).
class SortKeys {
public:
    // `tags` and `texts` in display order, one pair per row.
    SortKeys(const std::vector<LPARAM>& tags, const std::vector<std::string>& texts);
    int CompareText(LPARAM a, LPARAM b) const;
    int CompareNumber(LPARAM a, LPARAM b) const;

private:
    struct Key {
        long long textRank;  // the text's place among the tags' texts; equal texts rank alike
        long long number;
    };
    const Key& KeyOf(LPARAM tag) const;
    std::vector<Key> dense_;
    std::unordered_map<LPARAM, Key> sparse_;
    bool denseInUse_ = false;
    Key none_{0, -1};  // the text " "
};

// Byte-wise unsigned comparison, a prefix being smaller: -1, 0 or 1.
int CompareIdTexts(const std::string& a, const std::string& b);
// The value of the text's leading digits, 0 without any.
long long LeadingNumber(const std::string& text);

// List-view sort callbacks: `keys` is the address of a SortKeys; the result follows SortDirection.
int CALLBACK CompareRowsByText(LPARAM a, LPARAM b, LPARAM keys);
int CALLBACK CompareRowsByNumber(LPARAM a, LPARAM b, LPARAM keys);
