// The text rule and the entry check, on the Japanese and the Western code page: what passes can be
// written into a settings file as a key or a value and read back, and plain text of the right
// length passes.
#include "code_pages.h"
#include "fuzz_support.h"
#include "idlist/id_list.h"

namespace {

void CheckTextRule(const ExactText& text, const CodePageTraits& codePage)
{
    const bool passes = PassesTextRule(text.c_str(), codePage);
    const char* s = text.c_str();
    bool plain = text.size() <= 80 && s[0] != '[' && s[0] != ';';
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        plain = plain && ((byte >= 0x20 && byte <= 0x7E) || byte == '\t') && byte != '"' && byte != '=';
    }
    if (plain)
        FUZZ_CHECK(passes);
    if (!passes)
        return;
    FUZZ_CHECK(text.size() <= 80);
    FUZZ_CHECK(IsSafeSettingsText(s));
    FUZZ_CHECK(!strpbrk(s, "=\r\n") && s[0] != '[' && s[0] != ';');
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (codePage.multibyte && codePage.IsValidPair(byte, static_cast<unsigned char>(s[i + 1]))) {
            i += 2;
            continue;
        }
        FUZZ_CHECK(byte != '"' && (byte >= 0x20 || byte == '\t') && byte != 0x7F);
        FUZZ_CHECK(byte < 0x80 || codePage.symbol[byte]);
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

    CheckTextRule(ExactText(row.Name), codePage);
    CheckTextRule(ExactText(row.UserName), codePage);

    const IdRow given = row;
    const int code = CheckEntry(&row, fixed, codePage);
    FUZZ_CHECK(code == IdListAccepted || code == IdListSkipped || code == IdListBadText ||
               code == IdListBadDigit || code == IdListBadRange);
    FUZZ_CHECK(row.Name == given.Name && row.ID == given.ID);
    if (code != IdListAccepted) {
        FUZZ_CHECK(row.UserName == given.UserName);
        return 0;
    }
    FUZZ_CHECK(PassesTextRule(row.Name.c_str(), codePage));
    FUZZ_CHECK(CheckJobAccountID(row.ID.c_str()) == IdListAccepted);
    if (!given.UserName.empty() || fixed)
        FUZZ_CHECK(row.UserName == given.UserName);
    else
        FUZZ_CHECK(row.UserName == row.Name);
    return 0;
}
