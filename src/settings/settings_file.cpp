#include "settings/settings_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "settings/file_handle.h"
#include "settings/profile_lines.h"
#include "settings/text.h"

namespace {

// A printer reading the file holds it open for a moment; the replacement waits that long.
const int ReplaceAttempts = 400;
const DWORD ReplaceRetryMs = 5;

// A name beside the target that no other writer picks: process, thread and a running count.
bool TemporaryNameBeside(const char* target, std::string* name)
{
    static LONG count = 0;
    const char* slash = strrchr(target, '\\');
    const std::string directory(target, slash ? static_cast<size_t>(slash - target) + 1 : 0);
    char suffix[64];
    wsprintfA(suffix, "~zr%lx.%lx.%lx.tmp", GetCurrentProcessId(), GetCurrentThreadId(),
              static_cast<unsigned long>(InterlockedIncrement(&count)));
    *name = directory + suffix;
    return name->size() < MAX_PATH;
}

// The failure's own error survives what is closed and cleaned up after it.
bool FailWith(DWORD error)
{
    SetLastError(error);
    return false;
}

bool WriteAll(HANDLE file, const std::string& bytes)
{
    for (size_t written = 0; written < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 20));
        DWORD done = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &done, nullptr))
            return false;
        if (done == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        written += done;
    }
    return FlushFileBuffers(file) != FALSE;
}

bool WriteNewFile(const std::string& path, const std::string& bytes)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok())
        return false;
    if (!WriteAll(file.get(), bytes)) {
        const DWORD error = GetLastError();
        file.Close();
        return FailWith(error);
    }
    return file.Close();
}

void MakeWritable(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool MoveOver(const std::string& temporary, const char* target)
{
    for (int attempt = 0; attempt < ReplaceAttempts; ++attempt) {
        if (MoveFileExA(temporary.c_str(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
            return false;
        Sleep(ReplaceRetryMs);
    }
    return false;
}

size_t FirstFilled(const std::string& text, const TextLine& line)
{
    size_t i = line.start;
    while (i < line.end && strchr(" \t\r\n", text[i]) && text[i])
        ++i;
    return i;
}

bool StartsHeader(const std::string& text, const TextLine& line)
{
    const size_t i = FirstFilled(text, line);
    return i < line.end && text[i] == '[';
}

bool IsBlankLine(const std::string& text, const TextLine& line) { return FirstFilled(text, line) == line.end; }

bool SameName(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

// Lines [first, last) of one occurrence of a section: its header and its entries, leaving out the
// blank lines that separate it from the next section.
struct SectionRange {
    size_t header;
    size_t last;
};

std::vector<SectionRange> FindSections(const std::string& text, const std::vector<TextLine>& lines, const char* section)
{
    std::vector<SectionRange> found;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!StartsHeader(text, lines[i]))
            continue;
        std::string trimmed = TrimmedLine(text, lines[i]);
        if (!SameName(SectionName(trimmed), section))
            continue;
        size_t end = i + 1;
        size_t lastFilled = i + 1;
        for (; end < lines.size(); ++end) {
            if (StartsHeader(text, lines[end]))
                break;
            if (!IsBlankLine(text, lines[end]))
                lastFilled = end + 1;
        }
        found.push_back({i, lastFilled});
        i = end - 1;
    }
    return found;
}

std::string WithLineEnd(const std::string& text)
{
    if (text.empty() || text.back() == '\n')
        return text;
    return text + "\r\n";
}

std::string UpperKey(std::string key) { return UpperCaseKey(std::move(key)); }

}  // namespace

namespace {

bool ReadOpenFile(HANDLE file, std::string* bytes, size_t mostBytes)
{
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size)) {
        if (static_cast<unsigned long long>(size.QuadPart) > mostBytes)
            return FailWith(ERROR_FILE_TOO_LARGE);
        if (size.QuadPart > 0 && size.QuadPart < 0x40000000)
            bytes->reserve(static_cast<size_t>(size.QuadPart));
    }
    char chunk[65536];
    for (DWORD got = 0;;) {
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr))
            return false;
        // The size is checked again as the file is read: it may grow meanwhile.
        if (got > mostBytes - bytes->size())
            return FailWith(ERROR_FILE_TOO_LARGE);
        if (got == 0)
            return true;
        bytes->append(chunk, got);
    }
}

}  // namespace

bool ReadWholeFile(const char* path, std::string* bytes, size_t mostBytes)
{
    bytes->clear();
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok())
        return false;
    if (ReadOpenFile(file.get(), bytes, mostBytes))
        return true;
    const DWORD error = GetLastError();
    bytes->clear();
    file.Close();
    return FailWith(error);
}

bool ReadSettingsText(const char* path, std::string* text)
{
    if (ReadWholeFile(path, text))
        return true;
    const DWORD error = GetLastError();
    // Only a file that is not there is empty; one that is there but cannot be read (its access
    // list, another process holding it without read sharing, a share that went away) is not, and
    // writing it anew from nothing would lose what it holds.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? true : FailWith(error);
}

bool ReplaceFileContents(const char* target, const std::string& bytes)
{
    if (!target || !target[0])
        return FailWith(ERROR_INVALID_PARAMETER);
    std::string temporary;
    if (!TemporaryNameBeside(target, &temporary))
        return FailWith(ERROR_FILENAME_EXCED_RANGE);
    // The temporary file's clean-up must not take the place of the reason the write failed (a
    // full disk, an access list), which callers report.
    if (!WriteNewFile(temporary, bytes)) {
        const DWORD error = GetLastError();
        DeleteFileA(temporary.c_str());
        return FailWith(error);
    }
    MakeWritable(target);
    if (!MoveOver(temporary, target)) {
        const DWORD error = GetLastError();
        DeleteFileA(temporary.c_str());
        return FailWith(error);
    }
    return true;
}

bool CopyFileReplacing(const char* source, const char* target)
{
    std::string bytes;
    return ReadWholeFile(source, &bytes) && ReplaceFileContents(target, bytes);
}

void FlushProfileCache(const char* file)
{
    if (file && file[0])
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
}

std::string WithSectionReplaced(const std::string& text, const char* section, const std::string& body)
{
    const std::vector<TextLine> lines = SplitLines(text);
    const std::vector<SectionRange> found = FindSections(text, lines, section);
    const std::string replacement = std::string("[") + section + "]\r\n" + body;
    if (found.empty())
        return WithLineEnd(text) + replacement;
    // The profile functions read and write the first occurrence only; later ones stay as they are.
    const size_t headerStart = lines[found[0].header].start;
    const size_t rangeEnd = lines[found[0].last - 1].end;
    return WithLineEnd(text.substr(0, headerStart)) + replacement + text.substr(rangeEnd);
}

std::string WithKeysSet(const std::string& text, const char* section,
                        const ProfileKeys& entries)
{
    const std::vector<TextLine> lines = SplitLines(text);
    const std::vector<SectionRange> found = FindSections(text, lines, section);
    const size_t first = found.empty() ? 0 : found[0].header + 1;
    const size_t last = found.empty() ? 0 : found[0].last;

    // The section's lines, each with its own line end, and where each key stands among them with
    // the spelling it has in the file.
    std::vector<std::string> sectionLines;
    std::vector<std::string> keyOfLine;
    std::unordered_map<std::string, size_t> lineOfKey;
    for (size_t i = first; i < last; ++i) {
        std::string key = KeyOfLine(TrimmedLine(text, lines[i]));
        if (!key.empty())
            lineOfKey.emplace(UpperKey(key), sectionLines.size());
        sectionLines.push_back(WithLineEnd(text.substr(lines[i].start, lines[i].end - lines[i].start)));
        keyOfLine.push_back(std::move(key));
    }
    for (const auto& entry : entries) {
        auto known = lineOfKey.find(UpperKey(entry.first));
        if (known != lineOfKey.end()) {
            sectionLines[known->second] = keyOfLine[known->second] + "=" + entry.second + "\r\n";
        } else {
            lineOfKey.emplace(UpperKey(entry.first), sectionLines.size());
            sectionLines.push_back(entry.first + "=" + entry.second + "\r\n");
            keyOfLine.push_back(entry.first);
        }
    }
    std::string body;
    for (const std::string& line : sectionLines)
        body += line;
    return WithSectionReplaced(text, section, body);
}

bool UpdateSettingsFile(const char* file, const std::function<std::string(const std::string&)>& edit)
{
    FlushProfileCache(file);
    std::string text;
    if (!ReadSettingsText(file, &text))
        return false;
    return ReplaceFileContents(file, edit(text));
}

bool RewriteProfileSection(const char* file, const char* section, const std::string& body)
{
    return UpdateSettingsFile(file, [&](const std::string& text) { return WithSectionReplaced(text, section, body); });
}

bool SetProfileKeys(const char* file, const char* section, const ProfileKeys& entries)
{
    return UpdateSettingsFile(file, [&](const std::string& text) { return WithKeysSet(text, section, entries); });
}
