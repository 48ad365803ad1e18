#include "settings/profile_text.h"

#include <cstring>

#include "settings/profile_lines.h"

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

bool HasHighBytes(const std::string& text)
{
    for (char c : text)
        if (IsHighByte(c))
            return true;
    return false;
}

enum class NameMatch { No, Yes, Maybe };

// Whether a name in the text is `wanted`: ASCII letters compared without case; a name of the same
// length with bytes past ASCII might compare equal under the profile functions' own rules.
NameMatch MatchName(const std::string& name, const char* wanted)
{
    const size_t length = strlen(wanted);
    if (name.size() != length)
        return NameMatch::No;
    if (HasHighBytes(name))
        return NameMatch::Maybe;
    for (size_t i = 0; i < length; ++i)
        if (AsciiUpper(name[i]) != AsciiUpper(wanted[i]))
            return NameMatch::No;
    return NameMatch::Yes;
}

bool IsPlainValue(const std::string& value)
{
    for (char c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F)
            return false;
    }
    return value.empty() ||
           (value.front() != '"' && value.front() != '\'' && value.back() != '"' && value.back() != '\'');
}

// A byte-order mark, or a control byte other than the tab and the line ends (a vertical tab, a form
// feed or ^Z counts as a blank to the profile functions, a zero byte ends a name, a lone carriage
// return may end a line).
bool HasOddBytes(const std::string& text)
{
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
        return true;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return true;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' ? i + 1 == text.size() || text[i + 1] != '\n' : byte < 0x20 && byte != '\t' && byte != '\n')
            return true;
    }
    return false;
}

// Whether the profile functions could read the line's structure otherwise: a byte past ASCII may be
// a blank in the machine's code page (a no-break space), and they drop blanks at either end of a
// line and before a key's "="; a header's name runs to its last "]".
bool IsAmbiguousLine(const std::string& line)
{
    if (line.empty())
        return false;
    if (IsHighByte(line.front()) || IsHighByte(line.back()))
        return true;
    if (line[0] == '[')
        return line.find(']') != line.rfind(']');
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0)
        return false;
    const size_t nameEnd = line.find_last_not_of(" \t", equals - 1);
    return nameEnd != std::string::npos && IsHighByte(line[nameEnd]);
}

}  // namespace

ProfileAnswer FindPlainProfileValue(const std::string& text, const char* section, const char* key,
                                    std::string* value)
{
    value->clear();
    auto unsure = [value]() {
        value->clear();
        return ProfileAnswer::Unsure;
    };
    if (!section || !key || HasOddBytes(text))
        return unsure();
    bool inSection = false;
    bool sectionSeen = false;
    bool found = false;
    for (const TextLine& whole : SplitLines(text)) {
        const std::string line = TrimmedLine(text, whole);
        if (IsAmbiguousLine(line))
            return unsure();
        if (!line.empty() && line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string::npos)
                return unsure();
            const std::string name = SectionName(line);
            NameMatch match = MatchName(name, section);
            if (match != NameMatch::No && name != line.substr(1, close - 1))
                match = NameMatch::Maybe;  // blanks inside the brackets
            if (match == NameMatch::Maybe || (match == NameMatch::Yes && sectionSeen))
                return unsure();
            inSection = match == NameMatch::Yes;
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        const std::string lineKey = inSection ? KeyOfLine(line) : std::string();
        if (lineKey.empty())
            continue;
        const size_t equals = line.find('=');
        const NameMatch match = MatchName(lineKey, key);
        // A bare key, or a name the profile functions might take for this one.
        if (match == NameMatch::Maybe || (match == NameMatch::Yes && equals == std::string::npos))
            return unsure();
        if (match == NameMatch::No || found)
            continue;
        const size_t valueStart = line.find_first_not_of(" \t", equals + 1);
        *value = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
        if (!IsPlainValue(*value))
            return unsure();
        found = true;
    }
    return found ? ProfileAnswer::Value : ProfileAnswer::Absent;
}
