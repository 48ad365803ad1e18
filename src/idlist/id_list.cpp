#include "idlist/id_list.h"

#include <algorithm>
#include <cstring>

#include "settings/export_barrier.h"
#include "settings/settings_file.h"
#include "settings/text.h"
#include "settings/utf8_text.h"

const char RegisteredIDSection[] = "JobAccountID";
const char FixedIDSection[] = "FixedID";

namespace {

const size_t MostNameBytes = 80;
const size_t MostIDChars = 10;
const long long LargestID = 999999999;
const size_t SortTextChars = 254;

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// The name filter's single-byte class, so that what an entry dialog lets through an import and a
// load take too: on the Japanese code page the half-width katakana and their punctuation.
bool IsAcceptedSingleByte(unsigned char c, const CodePageTraits& codePage)
{
    if (c == '\t')
        return true;
    if (c >= 0x20 && c <= 0x7E)
        return c != '"';
    return c >= 0x80 && codePage.halfWidth[c];
}

// What the profile functions skip at the start of a line, as far as a single byte goes.
bool IsBlankByte(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A; }

}  // namespace

// A name is written as a settings-file key: a line break would end the entry, "=" would move the
// key's end, and "[" or ";" as the first thing the profile functions see of the line would turn it
// into a section header or a comment, taking every entry after it out of the list.
bool IsSafeSettingsKey(const char* text, const CodePageTraits& codePage)
{
    if (strpbrk(text, "=\r\n"))
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (;;) {
        if (IsBlankByte(*p))
            ++p;
        else if (codePage.multibyte && p[0] && codePage.IsBlankPair(p[0], p[1]))
            p += 2;
        else
            break;
    }
    return *p != '[' && *p != ';';
}

bool PassesNameRule(const char* text) { return PassesNameRule(text, ProcessCodePage()); }

bool PassesNameRule(const char* text, const CodePageTraits& codePage)
{
    return PassesTextRule(text, codePage) && IsSafeSettingsKey(text, codePage);
}

namespace {

std::string CutText(const std::string& text, size_t bytes) { return text.size() > bytes ? text.substr(0, bytes) : text; }

std::string QuotedField(const std::string& field)
{
    return field.find(',') == std::string::npos ? field : "\"" + field + "\"";
}

}  // namespace

const char* ParseCsvField(const char* input, char separator, char* dest, size_t capacity)
{
    size_t stored = 0;
    const char* p = input;
    const bool quoted = *p == '"';
    if (quoted)
        ++p;
    for (;; ++p) {
        const char c = *p;
        if (c == '\0')
            break;
        if (c == '\r' || c == '\n' || (!quoted && c == separator)) {
            ++p;
            break;
        }
        // An ordinary CSV writer quotes the last column too, so a closing quote before the line's
        // end closes the field just as one before the separator does.
        if (quoted && c == '"' && (p[1] == separator || IsLineEnd(p[1]))) {
            ++p;
            if (*p != '\0')
                ++p;
            break;
        }
        if (stored + 1 < capacity)
            dest[stored++] = c;
    }
    if (capacity > 0)
        dest[stored] = '\0';
    return p;
}

long long ParseJobAccountID(const char* text)
{
    const size_t length = strnlen(text, 32);
    if (length == 0)
        return 0;
    // The locale's other digits (superscripts, other scripts) carry no decimal value an ID could
    // use, so only '0' to '9' count.
    long long value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = std::min(value * 10 + (text[i] - '0'), 99999999999LL);
    }
    return value;
}

bool PassesTextRule(const char* text) { return PassesTextRule(text, ProcessCodePage()); }

bool PassesTextRule(const char* text, const CodePageTraits& codePage)
{
    size_t accepted = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        if (codePage.multibyte && codePage.IsValidPair(p[0], p[1])) {
            p += 2;
            accepted += 2;
        } else if (IsAcceptedSingleByte(*p, codePage)) {
            ++p;
            ++accepted;
        } else {
            return false;
        }
        if (accepted > MostNameBytes)
            return false;
    }
    return true;
}

int CheckJobAccountID(const char* text)
{
    for (const char* p = text; *p; ++p)
        if (*p < '0' || *p > '9')
            return IdListBadDigit;
    const long long value = ParseJobAccountID(text);
    if (strlen(text) > MostIDChars || value < 1 || value > LargestID)
        return IdListBadRange;
    return IdListAccepted;
}

int CheckEntry(IdRow* row, bool fixed) { return CheckEntry(row, fixed, ProcessCodePage()); }

int CheckEntry(IdRow* row, bool fixed, const CodePageTraits& codePage)
{
    if (row->Name.empty())
        return IdListSkipped;
    if (!PassesNameRule(row->Name.c_str(), codePage))
        return IdListBadText;
    if (row->ID.empty())
        return IdListSkipped;
    if (int code = CheckJobAccountID(row->ID.c_str()))
        return code;
    if (!row->UserName.empty()) {
        if (!PassesTextRule(row->UserName.c_str(), codePage))
            return IdListBadText;
    } else if (!fixed) {
        row->UserName = row->Name;
    }
    return IdListAccepted;
}

IdRow SplitIdLine(const char* line)
{
    char name[IdNameBytes], id[IdTextBytes], user[IdUserBytes];
    const char* p = ParseCsvField(line, ',', name, sizeof name);
    p = ParseCsvField(p, ',', id, sizeof id);
    ParseCsvField(p, ',', user, sizeof user);
    return IdRow{name, user, id};
}

std::string NameKey(const std::string& name) { return UpperCaseKey(name); }

long IdList::Find(const std::string& name) const
{
    if (!lookupBuilt_)
        RebuildLookup();
    auto found = byName_.find(NameKey(name));
    return found == byName_.end() ? -1 : static_cast<long>(found->second);
}

void IdList::Append(IdRow row)
{
    if (lookupBuilt_)
        byName_.emplace(NameKey(row.Name), rows_.size());
    rows_.push_back(std::move(row));
}

void IdList::Replace(size_t position, IdRow row)
{
    if (position >= rows_.size())
        return;
    const bool sameName = NameKey(rows_[position].Name) == NameKey(row.Name);
    rows_[position] = std::move(row);
    if (!sameName)
        lookupBuilt_ = false;
}

void IdList::Remove(std::vector<size_t> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (auto it = positions.rbegin(); it != positions.rend(); ++it)
        if (*it < rows_.size())
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*it));
    lookupBuilt_ = false;
}

void IdList::RebuildLookup() const
{
    byName_.clear();
    byName_.reserve(rows_.size());
    lookupBuilt_ = true;
    for (size_t i = 0; i < rows_.size(); ++i)
        byName_.emplace(NameKey(rows_[i].Name), i);
}

namespace {

// Places an accepted entry as an import does: a fixed-ID list takes every entry; a registered-ID
// list keeps one row per name and changes it only when the entry differs and the question allows.
void PlaceImported(IdRow row, bool fixed, IdList* list, const ImportHandlers& handlers)
{
    const long found = fixed ? -1 : list->Find(row.Name);
    if (found < 0) {
        list->Append(std::move(row));
        return;
    }
    const IdRow& existing = list->Rows()[static_cast<size_t>(found)];
    if (existing.UserName == row.UserName && existing.ID == row.ID)
        return;
    if (!handlers.replace || handlers.replace(existing, row, handlers.context))
        list->Replace(static_cast<size_t>(found), std::move(row));
}

}  // namespace

int ImportIDText(const std::string& text, bool fixed, IdList* list, const ImportHandlers& handlers)
{
    return ImportIDText(text, fixed, list, handlers, ProcessCodePage());
}

namespace {

bool StartsWithUtf8Mark(const std::string& text) { return text.compare(0, 3, Utf8Mark) == 0; }

// The line's fields in the code page. False, and the line is refused whole, for a line with a
// zero byte (a file of another kind, or a damaged one), which would end its text early, or, in a
// UTF-8 file, for one without an exact form in the code page.
bool SplitFileLine(const std::string& line, bool utf8, const CodePageTraits& codePage, IdRow* row)
{
    if (line.find('\0') != std::string::npos)
        return false;
    if (!utf8) {
        *row = SplitIdLine(line.c_str());
        return true;
    }
    std::string converted;
    if (!Utf8ToAnsiExactly(line, codePage.number, &converted))
        return false;
    *row = SplitIdLine(converted.c_str());
    return true;
}

}  // namespace

int ImportIDText(const std::string& text, bool fixed, IdList* list, const ImportHandlers& handlers,
                 const CodePageTraits& codePage)
{
    int result = IdListAccepted;
    size_t lineNumber = 0;
    std::string line;
    const bool utf8 = StartsWithUtf8Mark(text);
    for (size_t start = utf8 ? 3 : 0; start < text.size();) {
        // A carriage return alone ends a line too: older spreadsheets write their CSV files so.
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        line.assign(text, start, end - start);
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++lineNumber;

        IdRow row;
        const bool split = SplitFileLine(line, utf8, codePage, &row);
        const bool userNameGiven = !row.UserName.empty();
        const int code = split ? CheckEntry(&row, fixed, codePage) : IdListBadText;
        if (code == IdListSkipped)
            continue;
        if (code != IdListAccepted) {
            result = code;
            if (handlers.refused)
                handlers.refused(lineNumber, code, handlers.context);
            continue;
        }
        if (userNameGiven)
            list->NoteUserName();
        PlaceImported(std::move(row), fixed, list, handlers);
    }
    return result;
}

IdFileRead ReadIDFile(const char* path, std::string* text)
{
    if (!ReadWholeFile(path, text, MostIDFileBytes))
        return GetLastError() == ERROR_FILE_TOO_LARGE ? IdFileRead::TooLarge : IdFileRead::Unreadable;
    if (text->compare(0, 2, "\xFF\xFE") == 0 || text->compare(0, 2, "\xFE\xFF") == 0) {
        text->clear();
        return IdFileRead::WideText;
    }
    return IdFileRead::Read;
}

namespace {

// The section as the profile functions see it, "key=value" texts each ending in a zero byte.
std::vector<char> ReadWholeSection(const char* settingsFile, const char* section)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(settingsFile, GetFileExInfoStandard, &data))
        return {};
    // The section's text never outgrows the file, so the first read normally fits.
    DWORD size = data.nFileSizeLow + 64;
    for (;;) {
        std::vector<char> buffer(size, '\0');
        DWORD length = GetPrivateProfileSectionA(section, buffer.data(), size, settingsFile);
        if (length + 2 < size || size >= 0x40000000) {
            buffer.resize(length + 1);
            buffer[length] = '\0';
            return buffer;
        }
        size *= 2;
    }
}

IdRow RowOfEntry(const char* key, const char* value, bool fixed)
{
    char name[IdNameBytes] = {}, id[IdTextBytes] = {}, user[IdUserBytes] = {};
    std::string cutValue = CutText(value, IdValueChars);
    const char* p = cutValue.c_str();
    if (fixed) {
        p = ParseCsvField(p, ',', name, sizeof name);
        p = ParseCsvField(p, ',', id, sizeof id);
        ParseCsvField(p, ',', user, sizeof user);
        return IdRow{name, user, id};
    }
    // The resolver takes everything after the first comma as the user name; so does the list.
    p = ParseCsvField(p, ',', id, sizeof id);
    CopyCut(user, p);
    if (char* lineEnd = strpbrk(user, "\r\n"))
        *lineEnd = '\0';
    return IdRow{key, user, id};
}

}  // namespace

int LoadIdSection(const char* settingsFile, bool fixed, IdList* list)
{
    if (!settingsFile || !settingsFile[0])
        return IdListAccepted;
    std::vector<char> section = ReadWholeSection(settingsFile, fixed ? FixedIDSection : RegisteredIDSection);
    if (section.empty())
        return IdListAccepted;
    return LoadIdSectionEntries(section.data(), fixed, list, ProcessCodePage());
}

int LoadIdSectionEntries(const char* entries, bool fixed, IdList* list, const CodePageTraits& codePage)
{
    int result = IdListAccepted;
    std::string key;
    for (const char* entry = entries; *entry; entry += strlen(entry) + 1) {
        const char* equals = strchr(entry, '=');
        key.assign(entry, equals ? static_cast<size_t>(equals - entry) : strlen(entry));
        IdRow row = RowOfEntry(key.c_str(), equals ? equals + 1 : "", fixed);
        const bool userNameGiven = !row.UserName.empty();
        const int code = CheckEntry(&row, fixed, codePage);
        if (code == IdListSkipped)
            continue;
        if (code != IdListAccepted) {
            result = code;
            continue;
        }
        if (userNameGiven)
            list->NoteUserName();
        list->Append(std::move(row));
    }
    return result;
}

std::string FormatIdSection(const std::vector<IdRow>& rows, bool fixed)
{
    std::string body;
    body.reserve(rows.size() * 32);
    size_t position = 0;
    for (const IdRow& row : rows) {
        const std::string name = CutText(row.Name, MostNameBytes);
        if (fixed) {
            body += std::to_string(position++);
            body += '=';
            body += QuotedField(name);
            body += ',';
            body += row.ID;
            if (!row.UserName.empty()) {
                body += ',';
                body += QuotedField(row.UserName);
            }
        } else {
            body += name;
            body += '=';
            body += row.ID;
            if (!row.UserName.empty() && row.UserName != row.Name) {
                body += ',';
                body += row.UserName;
            }
        }
        body += "\r\n";
    }
    return body;
}

std::string FormatIdFile(const std::vector<IdRow>& rows, bool fixed)
{
    std::string text;
    text.reserve(rows.size() * 32);
    for (const IdRow& row : rows) {
        text += QuotedField(row.Name);
        text += ',';
        text += row.ID;
        const bool userNameOwn = fixed ? !row.UserName.empty() : row.UserName != row.Name;
        if (userNameOwn) {
            text += ',';
            text += QuotedField(row.UserName);
        }
        text += "\r\n";
    }
    return text;
}

int ToggleSortDirection()
{
    SortDirection = SortDirection == 1 ? 2 : 1;
    return SortDirection;
}

int CompareIdTexts(const std::string& a, const std::string& b)
{
    const int order = memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (order != 0)
        return order < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

long long LeadingNumber(const std::string& text)
{
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min(value * 10 + (c - '0'), 0x7FFFFFFFFFFFLL);
    }
    return value;
}

SortKeys::SortKeys(const std::vector<LPARAM>& tags, const std::vector<std::string>& texts)
{
    const size_t count = std::min(tags.size(), texts.size());
    // Rows grouped by tag, each group in display order.
    std::vector<size_t> byTag(count);
    for (size_t i = 0; i < count; ++i)
        byTag[i] = i;
    std::stable_sort(byTag.begin(), byTag.end(), [&](size_t a, size_t b) { return tags[a] < tags[b]; });

    // One text per tag, and the text of a tag without one last, all ranked once so that each
    // comparison of the sort is a comparison of two numbers.
    std::vector<LPARAM> keyTags;
    std::vector<std::string> keyTexts;
    std::vector<long long> numbers;
    for (size_t i = 0; i < count;) {
        size_t end = i;
        while (end < count && tags[byTag[end]] == tags[byTag[i]])
            ++end;
        const size_t first = byTag[i];
        const std::string* text = &texts[first];
        if (text->empty()) {
            // The list view's search for the tag starts after the row below the first one.
            text = nullptr;
            for (size_t j = i + 1; j < end && !text; ++j)
                if (byTag[j] >= first + 2)
                    text = &texts[byTag[j]];
        }
        keyTags.push_back(tags[first]);
        keyTexts.push_back(text ? CutText(*text, SortTextChars) : std::string(" "));
        numbers.push_back(text ? LeadingNumber(keyTexts.back()) : -1);
        i = end;
    }
    keyTexts.push_back(" ");

    std::vector<size_t> byText(keyTexts.size());
    for (size_t i = 0; i < byText.size(); ++i)
        byText[i] = i;
    std::sort(byText.begin(), byText.end(),
              [&](size_t a, size_t b) { return CompareIdTexts(keyTexts[a], keyTexts[b]) < 0; });
    std::vector<long long> ranks(keyTexts.size());
    long long rank = 0;
    for (size_t i = 0; i < byText.size(); ++i) {
        if (i > 0 && CompareIdTexts(keyTexts[byText[i - 1]], keyTexts[byText[i]]) != 0)
            ++rank;
        ranks[byText[i]] = rank;
    }
    none_ = Key{ranks.back(), -1};

    // Tags are row counts at insertion, so a table indexed by tag is small; a list view filled by
    // other hands falls back to a map.
    LPARAM largest = -1;
    bool dense = true;
    for (LPARAM tag : keyTags) {
        dense = dense && tag >= 0;
        largest = std::max(largest, tag);
    }
    dense = dense && largest < static_cast<LPARAM>(4 * count + 64);
    if (dense)
        dense_.assign(static_cast<size_t>(largest + 1), none_);
    for (size_t i = 0; i < keyTags.size(); ++i) {
        const Key key{ranks[i], numbers[i]};
        if (dense)
            dense_[static_cast<size_t>(keyTags[i])] = key;
        else
            sparse_.emplace(keyTags[i], key);
    }
    denseInUse_ = dense;
}

const SortKeys::Key& SortKeys::KeyOf(LPARAM tag) const
{
    if (denseInUse_)
        return tag >= 0 && static_cast<size_t>(tag) < dense_.size() ? dense_[static_cast<size_t>(tag)] : none_;
    auto found = sparse_.find(tag);
    return found == sparse_.end() ? none_ : found->second;
}

namespace {

int Order(long long x, long long y) { return x < y ? -1 : (x > y ? 1 : 0); }

}  // namespace

int SortKeys::CompareText(LPARAM a, LPARAM b) const { return Order(KeyOf(a).textRank, KeyOf(b).textRank); }

int SortKeys::CompareNumber(LPARAM a, LPARAM b) const { return Order(KeyOf(a).number, KeyOf(b).number); }

namespace {

int InDirection(int order) { return SortDirection == 1 ? order : -order; }

}  // namespace

// The list view's sort calls these: a comparison that failed counts the rows as equal, and the sort
// goes on.
int CALLBACK CompareRowsByText(LPARAM a, LPARAM b, LPARAM keys)
{
    return CallbackOrFail(0, [&] { return InDirection(reinterpret_cast<const SortKeys*>(keys)->CompareText(a, b)); });
}

int CALLBACK CompareRowsByNumber(LPARAM a, LPARAM b, LPARAM keys)
{
    return CallbackOrFail(0, [&] { return InDirection(reinterpret_cast<const SortKeys*>(keys)->CompareNumber(a, b)); });
}
