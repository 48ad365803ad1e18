// The reader of a list section as the profile functions hand it over, on raw entries: every
// accepted row passes the checks an import makes.
#include "code_pages.h"
#include "fuzz_support.h"
#include "idlist/id_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const CodePageTraits& codePage = CodePageOf(input.ConsumeBool());
    const bool fixed = input.ConsumeBool();
    // Entries end in zero bytes; the list ends in two.
    std::string raw = input.ConsumeRemainingBytesAsString();
    raw.append(2, '\0');
    std::unique_ptr<char[]> entries(new char[raw.size()]);
    memcpy(entries.get(), raw.data(), raw.size());

    IdList list;
    const int code = LoadIdSectionEntries(entries.get(), fixed, &list, codePage);
    FUZZ_CHECK(code == IdListAccepted || code == IdListBadText || code == IdListBadDigit || code == IdListBadRange);
    for (const IdRow& row : list.Rows()) {
        FUZZ_CHECK(PassesNameRule(row.Name.c_str(), codePage));
        FUZZ_CHECK(CheckJobAccountID(row.ID.c_str()) == IdListAccepted);
        FUZZ_CHECK(row.UserName.empty() || PassesTextRule(row.UserName.c_str(), codePage));
        FUZZ_CHECK(fixed || !row.UserName.empty());
    }
    return 0;
}
