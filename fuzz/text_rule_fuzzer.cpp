// The text rule, the name rule and the entry check, on the Japanese and the Western code page: a
// name that passes can be written into a settings file as a key and read back, a user name holds
// only the lists' characters, and plain text of the right length passes.
#include "code_pages.h"
#include "fuzz_support.h"
#include "idlist/id_list.h"

namespace {

// The first byte the profile functions see of a line that starts with the text: leading blanks,
// single or double-byte, are skipped.
unsigned char FirstAfterBlanks(const char* s, const CodePageTraits& codePage)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    for (;;) {
        if (*p == ' ' || (*p >= 0x09 && *p <= 0x0D) || *p == 0x1A)
            ++p;
        else if (codePage.multibyte && p[0] && codePage.IsBlankPair(p[0], p[1]))
            p += 2;
        else
            return *p;
    }
}

// A user name need only hold the lists' characters; a name must also be a key the profile
// functions read back as it was written.
void CheckTextRule(const ExactText& text, const CodePageTraits& codePage, bool name)
{
    const bool passes = name ? PassesNameRule(text.c_str(), codePage) : PassesTextRule(text.c_str(), codePage);
    const char* s = text.c_str();
    const unsigned char first = FirstAfterBlanks(s, codePage);
    bool plain = text.size() <= 80 && (!name || (first != '[' && first != ';'));
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        plain = plain && ((byte >= 0x20 && byte <= 0x7E) || byte == '\t') && byte != '"' && (!name || byte != '=');
    }
    if (plain)
        FUZZ_CHECK(passes);
    if (!passes)
        return;
    FUZZ_CHECK(text.size() <= 80);
    FUZZ_CHECK(PassesTextRule(s, codePage));
    if (name) {
        FUZZ_CHECK(IsSafeSettingsKey(s, codePage));
        FUZZ_CHECK(!strpbrk(s, "=\r\n") && first != '[' && first != ';');
    }
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (codePage.multibyte && codePage.IsValidPair(byte, static_cast<unsigned char>(s[i + 1]))) {
            i += 2;
            continue;
        }
        FUZZ_CHECK(byte != '"' && (byte >= 0x20 || byte == '\t') && byte != 0x7F);
        // The name filter's single bytes, and no others.
        FUZZ_CHECK(byte < 0x80 || codePage.halfWidth[byte]);
        ++i;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const CodePageTraits& codePage = CodePageOf(input.ConsumeBool());
    const bool fixed = input.ConsumeBool();
    IdRow row;
    row.Name = ExactText(input.ConsumeRandomLengthString(200)).c_str();
    row.ID = ExactText(input.ConsumeRandomLengthString(40)).c_str();
    row.UserName = ExactText(input.ConsumeRemainingBytesAsString()).c_str();

    CheckTextRule(ExactText(row.Name), codePage, true);
    CheckTextRule(ExactText(row.UserName), codePage, false);

    const IdRow given = row;
    const int code = CheckEntry(&row, fixed, codePage);
    FUZZ_CHECK(code == IdListAccepted || code == IdListSkipped || code == IdListBadText ||
               code == IdListBadDigit || code == IdListBadRange);
    FUZZ_CHECK(row.Name == given.Name && row.ID == given.ID);
    if (code != IdListAccepted) {
        FUZZ_CHECK(row.UserName == given.UserName);
        return 0;
    }
    FUZZ_CHECK(PassesNameRule(row.Name.c_str(), codePage));
    FUZZ_CHECK(CheckJobAccountID(row.ID.c_str()) == IdListAccepted);
    if (!given.UserName.empty() || fixed)
        FUZZ_CHECK(row.UserName == given.UserName);
    else
        FUZZ_CHECK(row.UserName == row.Name);
    return 0;
}
