// The capability-file name rules of the driver's dependent files, compiled from the resolver's own
// source (see extract.sh), against the rules as drivers are told them; names reach the rules in
// upper case:
// - the older form: "VT", a two-digit and a four-digit hexadecimal number, ".CAP"; it declares job
//   accounting when the two-digit number is 1 and the last digit of the four is not 0;
// - the header form: the module's two-character header, six characters of any kind, ".CAP", and
//   whatever follows.
// Beside any name, names are built from the rules' own parts, so that every case of each rule is
// met, not only those a random name happens to hit.
#include <windows.h>

#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "settings/module_state.h"

namespace {
#include "capability_rules.inc"

// The name read as the older form's parts; false when it is not of that form.
bool ReadOlderForm(const std::string& name, unsigned long* number, unsigned long* code)
{
    if (name.size() != 12 || name.compare(0, 2, "VT") != 0 || name.compare(8, 4, ".CAP") != 0)
        return false;
    const std::string digits = name.substr(2, 6);
    if (digits.find_first_not_of("0123456789ABCDEF") != std::string::npos)
        return false;
    *number = std::stoul(digits.substr(0, 2), nullptr, 16);
    *code = std::stoul(digits.substr(2), nullptr, 16);
    return true;
}

bool OlderFormDeclares(unsigned long number, unsigned long code) { return number == 1 && code % 16 != 0; }

bool OlderFormDeclares(const std::string& name)
{
    unsigned long number = 0, code = 0;
    return ReadOlderForm(name, &number, &code) && OlderFormDeclares(number, code);
}

bool HasHeaderForm(const std::string& name, const std::string& header)
{
    return header.size() == 2 && name.size() >= 12 && name.compare(0, 2, header) == 0 && name.compare(8, 4, ".CAP") == 0;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string headerBytes = input.ConsumeBytesAsString(2);
    memset(Module.MfHeader, 0, sizeof Module.MfHeader);
    memcpy(Module.MfHeader, headerBytes.data(), std::min(headerBytes.size(), sizeof Module.MfHeader - 1));
    const std::string header = Module.MfHeader;
    const std::string rest = input.ConsumeRemainingBytesAsString();

    // Any name, as the resolver passes it: in upper case.
    const ExactText any(Upper(rest));
    const std::string name = any.c_str();
    FUZZ_CHECK(IsOlderCapabilityName(any.c_str()) == OlderFormDeclares(name));
    FUZZ_CHECK(IsCapabilityFileName(any.c_str()) == HasHeaderForm(name, header));

    // The older form built from its two numbers, taken from the name's first bytes.
    const unsigned long number = rest.size() > 0 ? static_cast<unsigned char>(rest[0]) : 0;
    const unsigned long code = rest.size() > 2 ? static_cast<unsigned char>(rest[1]) * 256ul + static_cast<unsigned char>(rest[2]) : 1;
    char older[16] = {};
    std::snprintf(older, sizeof older, "VT%02lX%04lX.CAP", number, code);
    FUZZ_CHECK(IsOlderCapabilityName(older) == OlderFormDeclares(number, code));

    // The header form built around six free characters and any tail; a name that differs from it
    // in the header or in ".CAP" is not of the form.
    if (header.size() == 2 && rest.size() >= 6) {
        const std::string free = rest.substr(0, 6);
        const std::string tail = rest.substr(6);
        if (free.find('\0') == std::string::npos && tail.find('\0') == std::string::npos) {
            const std::string built = header + free + ".CAP" + tail;
            FUZZ_CHECK(IsCapabilityFileName(built.c_str()));
            std::string otherHeader = built;
            otherHeader[rest.size() % 2] = static_cast<char>(otherHeader[rest.size() % 2] ^ 0x20);
            FUZZ_CHECK(!IsCapabilityFileName(otherHeader.c_str()));
            std::string otherSuffix = built;
            otherSuffix[8 + rest.size() % 4] = '_';
            FUZZ_CHECK(!IsCapabilityFileName(otherSuffix.c_str()));
        }
    }
    return 0;
}
