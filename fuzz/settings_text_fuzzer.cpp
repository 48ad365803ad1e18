// The whole-file edits of settings files: replacing a section or setting keys in it keeps every
// other section's lines, and what was written reads back through a plain model of the profile
// functions' reading.
#include <map>
#include <vector>

#include "fuzz_support.h"
#include "settings/settings_file.h"

namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A settings file as lines (without their ends), its sections by upper-case name (the first
// occurrence of each, without the blank lines after its last entry), and the lines before any.
struct Model {
    std::vector<std::string> preamble;
    std::map<std::string, std::vector<std::string>> sections;

    explicit Model(const std::string& text)
    {
        std::vector<std::string>* current = &preamble;
        std::vector<std::string> ignored;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            start = end + 1;
            const std::string trimmed = Trimmed(line);
            if (!trimmed.empty() && trimmed[0] == '[') {
                DropTrailingBlanks(current);
                const std::string name = Upper(Trimmed(trimmed.substr(1, trimmed.find(']') - 1)));
                const bool first = !sections.count(name);
                ignored.clear();
                current = first ? &sections[name] : &ignored;
                continue;
            }
            current->push_back(line);
        }
        DropTrailingBlanks(current);
    }

    static void DropTrailingBlanks(std::vector<std::string>* lines)
    {
        while (!lines->empty() && Trimmed(lines->back()).empty())
            lines->pop_back();
    }
};

// The key of a section line as the profile functions read it; empty for a comment or a blank.
std::string KeyOf(const std::string& line)
{
    const std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == ';')
        return {};
    return Upper(Trimmed(trimmed.substr(0, trimmed.find('='))));
}

// Text a settings file can hold as it is read here: no zero bytes and no carriage return other
// than before a line feed.
std::string AsFileText(std::string text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\0' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            text[i] = '.';
    return text;
}

// A section or key name as the module writes one: no line break, no "=", "]" or zero byte, no
// blank at either end, and no "[" or ";" at its start.
std::string AsName(std::string text, const char* fallback)
{
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '=' || c == ']' || c == '\0')
            c = '_';
    text = Trimmed(text);
    if (text.empty() || text[0] == '[' || text[0] == ';')
        return fallback;
    return text;
}

std::string AsValue(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return text;
}

void CheckOtherSectionsKept(const Model& before, const Model& after, const std::string& section)
{
    FUZZ_CHECK(after.preamble == before.preamble);
    for (const auto& kept : before.sections) {
        if (kept.first == Upper(section))
            continue;
        auto found = after.sections.find(kept.first);
        FUZZ_CHECK(found != after.sections.end() && found->second == kept.second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = AsName(input.ConsumeRandomLengthString(16), "JobAccountID");
    ProfileKeys entries;
    for (int count = input.ConsumeIntegralInRange(0, 4); count > 0; --count) {
        std::string key = AsName(input.ConsumeRandomLengthString(12), "Mode");
        entries.emplace_back(key, AsValue(input.ConsumeRandomLengthString(12)));
    }
    const std::string raw = input.ConsumeRemainingBytesAsString();

    // Any bytes at all: no crash, and the section is there afterwards.
    std::string body;
    for (const auto& entry : entries)
        body += entry.first + "=" + entry.second + "\r\n";
    WithKeysSet(raw, section.c_str(), entries);
    const std::string replacedRaw = WithSectionReplaced(raw, section.c_str(), body);
    FUZZ_CHECK(replacedRaw.find("[" + section + "]\r\n" + body) != std::string::npos);

    const std::string text = AsFileText(raw);
    const Model before(text);

    const std::string replaced = WithSectionReplaced(text, section.c_str(), body);
    const Model afterReplace(replaced);
    CheckOtherSectionsKept(before, afterReplace, section);
    std::vector<std::string> bodyLines;
    for (const auto& entry : entries)
        bodyLines.push_back(entry.first + "=" + entry.second);
    FUZZ_CHECK(afterReplace.sections.at(Upper(section)) == bodyLines);
    FUZZ_CHECK(WithSectionReplaced(replaced, section.c_str(), body) == replaced);

    const std::string keyed = WithKeysSet(text, section.c_str(), entries);
    const Model afterKeys(keyed);
    CheckOtherSectionsKept(before, afterKeys, section);
    // Each key reads back as the last value given for it; the section's other lines stay in order.
    std::map<std::string, std::string> lastValue;
    for (const auto& entry : entries)
        lastValue[Upper(entry.first)] = entry.second;
    const std::vector<std::string>& lines = afterKeys.sections.at(Upper(section));
    for (const auto& expected : lastValue) {
        bool found = false;
        for (const std::string& line : lines) {
            if (KeyOf(line) != expected.first)
                continue;
            found = true;
            FUZZ_CHECK(line.substr(line.find('=') + 1) == expected.second);
            break;
        }
        FUZZ_CHECK(found);
    }
    std::vector<std::string> othersBefore, othersAfter;
    auto previous = before.sections.find(Upper(section));
    if (previous != before.sections.end())
        for (const std::string& line : previous->second)
            if (!lastValue.count(KeyOf(line)))
                othersBefore.push_back(line);
    for (const std::string& line : lines)
        if (!lastValue.count(KeyOf(line)))
            othersAfter.push_back(line);
    FUZZ_CHECK(othersAfter == othersBefore);
    return 0;
}
