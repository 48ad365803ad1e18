// Keys read straight from a string file's text: never past the text, a value answered is one the
// profile functions would read unchanged (printable ASCII, no quote at either end, no blank around
// it), and lines after the text's last line end that hold another section change no answer for
// a section and key named as the module names them.
#include "fuzz_support.h"
#include "settings/profile_text.h"

namespace {

// A name as the module asks for: letters and digits only.
bool IsWord(const char* name)
{
    if (!*name)
        return false;
    for (; *name; ++name)
        if (!((*name >= 'a' && *name <= 'z') || (*name >= 'A' && *name <= 'Z') || (*name >= '0' && *name <= '9')))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(12);
    const std::string key = input.ConsumeRandomLengthString(12);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const ExactText sectionName(section), keyName(key);

    std::string value;
    const ProfileAnswer answer = FindPlainProfileValue(text, sectionName.c_str(), keyName.c_str(), &value);
    if (answer == ProfileAnswer::Value) {
        for (char c : value)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F);
        if (!value.empty()) {
            FUZZ_CHECK(value.front() != '"' && value.front() != '\'' && value.front() != ' ');
            FUZZ_CHECK(value.back() != '"' && value.back() != '\'' && value.back() != ' ');
        }
        FUZZ_CHECK(text.find(value) != std::string::npos);
    } else {
        FUZZ_CHECK(value.empty());
    }
    if (!text.empty() && text.back() == '\n' && IsWord(sectionName.c_str()) && IsWord(keyName.c_str()) &&
        strlen(sectionName.c_str()) != 2) {
        std::string after;
        const ProfileAnswer again =
            FindPlainProfileValue(text + "[zz]\r\n" + keyName.c_str() + "=other\r\n", sectionName.c_str(),
                                  keyName.c_str(), &after);
        FUZZ_CHECK(again == answer && after == value);
    }
    return 0;
}
