// Keys read straight from a string file's text: never past the text, every value or absence
// answered is what the profile functions read for the same text (checked against a model of their
// reading, below), and a text of plain lines only is answered rather than left to the profile
// functions.
#include <vector>

#include "fuzz_support.h"
#include "settings/profile_text.h"

namespace {

// A name as the module asks for: letters and digits only.
bool IsWord(const std::string& name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

bool IsHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The profile functions' reading of a text, written from how they read a file: lines end at a line
// feed; the blanks at either end of a line are dropped (space, tab, the line ends, vertical tab,
// form feed and ^Z; a byte past ASCII may be one in the machine's code page, which `highBlanks`
// decides); a line that starts with "[" and holds a "]" starts a section named by what lies
// between the "[" and its last "]"; any other line is an entry whose key is what stands before its
// first "=" without the blanks after it, and whose value is what follows without the blanks before
// it (a line without "=" is a key without a value, which reads as the fallback). The first section
// of the asked name answers, and in it the first entry of the asked key; names compare without
// regard to case. A value in matching quotes reads without them.
class ProfileModel {
public:
    enum class Answer { Value, Absent, Unknown };

    ProfileModel(const std::string& text, bool highBlanks) : text_(text), highBlanks_(highBlanks) {}

    // Unknown where the model cannot tell: a byte-order mark or a zero byte (the text is then
    // read differently), or a name holding bytes past ASCII that may compare equal in the
    // machine's code page.
    Answer Read(const std::string& section, const std::string& key, std::string* value) const
    {
        value->clear();
        if (text_.find('\0') != std::string::npos || text_.rfind("\xEF\xBB\xBF", 0) == 0 ||
            text_.rfind("\xFF\xFE", 0) == 0 || text_.rfind("\xFE\xFF", 0) == 0)
            return Answer::Unknown;
        enum class Where { Before, Inside, After } where = Where::Before;
        for (size_t start = 0; start < text_.size();) {
            size_t end = text_.find('\n', start);
            end = end == std::string::npos ? text_.size() : end + 1;
            const std::string line = Trimmed(text_.substr(start, end - start));
            start = end;
            if (line.empty())
                continue;
            const size_t close = line.rfind(']');
            if (line[0] == '[' && close != std::string::npos) {
                if (where == Where::Inside)
                    where = Where::After;
                if (where == Where::Before) {
                    const Match match = Compare(line.substr(1, close - 1), section);
                    if (match == Match::Maybe)
                        return Answer::Unknown;
                    if (match == Match::Yes)
                        where = Where::Inside;
                }
                continue;
            }
            if (where != Where::Inside)
                continue;
            const size_t equals = line.find('=');
            const Match match = Compare(TrimmedEnd(line.substr(0, equals)), key);
            if (match == Match::Maybe)
                return Answer::Unknown;
            if (match == Match::No)
                continue;
            if (equals == std::string::npos)
                return Answer::Absent;
            *value = WithoutQuotes(Trimmed(line.substr(equals + 1)));
            return Answer::Value;
        }
        return Answer::Absent;
    }

private:
    enum class Match { No, Yes, Maybe };

    bool IsBlank(char c) const
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1A' ||
               (highBlanks_ && IsHighByte(c));
    }

    std::string TrimmedEnd(std::string text) const
    {
        while (!text.empty() && IsBlank(text.back()))
            text.pop_back();
        return text;
    }

    std::string Trimmed(const std::string& text) const
    {
        size_t first = 0;
        while (first < text.size() && IsBlank(text[first]))
            ++first;
        return TrimmedEnd(text.substr(first));
    }

    static Match Compare(const std::string& name, const std::string& wanted)
    {
        if (name.size() != wanted.size())
            return Match::No;
        for (size_t i = 0; i < name.size(); ++i) {
            if (IsHighByte(name[i]))
                return Match::Maybe;
            if (AsciiLower(name[i]) != AsciiLower(wanted[i]))
                return Match::No;
        }
        return Match::Yes;
    }

    static std::string WithoutQuotes(const std::string& value)
    {
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            return value.substr(1, value.size() - 2);
        return value;
    }

    const std::string& text_;
    bool highBlanks_;
};

// Whatever the code page makes of bytes past ASCII, the profile functions read `expected`.
bool ProfileFunctionsRead(const std::string& text, const std::string& section, const std::string& key,
                          ProfileAnswer answer, const std::string& value)
{
    for (bool highBlanks : {false, true}) {
        std::string modelValue;
        const ProfileModel::Answer model = ProfileModel(text, highBlanks).Read(section, key, &modelValue);
        if (model == ProfileModel::Answer::Unknown)
            return true;
        if (answer == ProfileAnswer::Value && (model != ProfileModel::Answer::Value || modelValue != value))
            return false;
        if (answer == ProfileAnswer::Absent && model != ProfileModel::Answer::Absent)
            return false;
    }
    return true;
}

std::string WordOf(const std::string& text)
{
    std::string word;
    for (char c : text)
        if (IsWord(std::string(1, c)))
            word += c;
    return word.empty() ? "k" : word;
}

// A value as a string file holds a plain one: printable ASCII, neither blank nor quote at its ends.
std::string PlainValueOf(const std::string& text)
{
    std::string value;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F)
            value += c;
    while (!value.empty() && (value.back() == ' ' || value.back() == '"' || value.back() == '\''))
        value.pop_back();
    const size_t first = value.find_first_not_of(" \"'");
    return first == std::string::npos ? std::string() : value.substr(first);
}

// The text made plain line by line: a line starting with "[" a header of a word, one starting with
// ";" a comment, an empty line stays empty, any other an entry of a word and a plain value, with
// blanks around its "=" as the line had them. Also tells how many headers name `section`.
std::string PlainTextOf(const std::string& text, const std::string& section, int* headersOfSection)
{
    std::string plain;
    *headersOfSection = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        start = end;
        const std::string ending = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0 ? "\r\n" : "\n";
        if (line.empty() || line == ending) {
            plain += ending;
        } else if (line[0] == '[') {
            const std::string name = WordOf(line);
            bool same = name.size() == section.size();
            for (size_t i = 0; same && i < name.size(); ++i)
                same = AsciiLower(name[i]) == AsciiLower(section[i]);
            *headersOfSection += same ? 1 : 0;
            plain += "[" + name + "]" + ending;
        } else if (line[0] == ';') {
            plain += ";" + PlainValueOf(line.substr(1)) + ending;
        } else {
            const size_t equals = line.find('=');
            const std::string before = line.substr(0, equals);
            const std::string gap = !before.empty() && before.back() == ' ' ? " " : "";
            plain += WordOf(before) + gap + "=" + gap +
                     PlainValueOf(equals == std::string::npos ? std::string() : line.substr(equals + 1)) + ending;
        }
    }
    return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(12);
    const std::string key = input.ConsumeRandomLengthString(12);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const ExactText sectionName(section), keyName(key);

    // Any text and names: no read past them, and an answer that is no answer carries no value.
    std::string value;
    const ProfileAnswer answer = FindPlainProfileValue(text, sectionName.c_str(), keyName.c_str(), &value);
    if (answer == ProfileAnswer::Unsure)
        FUZZ_CHECK(value.empty());
    if (answer == ProfileAnswer::Absent)
        FUZZ_CHECK(value.empty());

    // Names as the module asks: a value or an absence is what the profile functions read.
    const std::string asked = sectionName.c_str(), askedKey = keyName.c_str();
    if (!IsWord(asked) || !IsWord(askedKey))
        return 0;
    FUZZ_CHECK(ProfileFunctionsRead(text, asked, askedKey, answer, value));

    // The same lines made plain: answered, and answered as the profile functions read them. A
    // section named twice may be left to them.
    int headers = 0;
    const std::string plain = PlainTextOf(text, asked, &headers);
    std::string plainValue;
    const ProfileAnswer plainAnswer = FindPlainProfileValue(plain, asked.c_str(), askedKey.c_str(), &plainValue);
    if (headers <= 1)
        FUZZ_CHECK(plainAnswer != ProfileAnswer::Unsure);
    FUZZ_CHECK(ProfileFunctionsRead(plain, asked, askedKey, plainAnswer, plainValue));
    return 0;
}
