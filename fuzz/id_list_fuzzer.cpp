// ID-file import and the two writers of a list: whatever rows an ID file gives (with or without a
// UTF-8 mark), the ID file that FormatIdFile writes imports again to the same rows, and so does the
// settings-file section that FormatIdSection writes when it is read back as the profile functions
// hand it over. An ASCII file imports alike with and without the mark.
#include <vector>

#include "code_pages.h"
#include "fuzz_support.h"
#include "idlist/id_list.h"

namespace {

struct Refusals {
    size_t count = 0;
    size_t lastLine = 0;
    bool ordered = true;
};

void NoteRefusal(size_t line, int code, void* context)
{
    auto* refusals = static_cast<Refusals*>(context);
    refusals->ordered = refusals->ordered && line > refusals->lastLine &&
                        (code == IdListBadText || code == IdListBadDigit || code == IdListBadRange);
    refusals->lastLine = line;
    ++refusals->count;
}

bool SameRows(const std::vector<IdRow>& a, const std::vector<IdRow>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].Name != b[i].Name || a[i].ID != b[i].ID || a[i].UserName != b[i].UserName)
            return false;
    return true;
}

// "key=value" lines ending in CR LF as the profile functions return a section: each entry ending
// in a zero byte, one more after the last.
std::string AsSectionEntries(const std::string& body)
{
    std::string entries;
    for (size_t start = 0; start < body.size();) {
        size_t end = body.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);  // every line ends in CR LF
        const std::string line = body.substr(start, end - start);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        // What the profile functions see first of the line, after the blanks they skip.
        const size_t first = line.find_first_not_of(" \t\v\f\x1A");
        FUZZ_CHECK(first != std::string::npos && line[first] != '[' && line[first] != ';' &&
                   line.find('=') != std::string::npos);
        entries += line;
        entries += '\0';
        start = end + 2;
    }
    entries += '\0';
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const CodePageTraits& codePage = CodePageOf(input.ConsumeBool());
    const bool fixed = input.ConsumeBool();
    const bool marked = input.ConsumeBool();
    const std::string file = (marked ? "\xEF\xBB\xBF" : "") + input.ConsumeRemainingBytesAsString();

    Refusals refusals;
    ImportHandlers handlers;
    handlers.refused = NoteRefusal;
    handlers.context = &refusals;
    IdList list;
    const int code = ImportIDText(file, fixed, &list, handlers, codePage);
    FUZZ_CHECK(refusals.ordered);
    FUZZ_CHECK((code == IdListAccepted) == (refusals.count == 0));
    const std::vector<IdRow>& rows = list.Rows();
    for (const IdRow& row : rows) {
        FUZZ_CHECK(PassesNameRule(row.Name.c_str(), codePage));
        FUZZ_CHECK(row.UserName.empty() || PassesTextRule(row.UserName.c_str(), codePage));
        FUZZ_CHECK(CheckJobAccountID(row.ID.c_str()) == IdListAccepted);
        FUZZ_CHECK(fixed || !row.UserName.empty());
        FUZZ_CHECK(fixed || list.Find(row.Name) == &row - rows.data());
    }

    // A file of ASCII text imports the same with a UTF-8 mark as without one.
    bool ascii = true;
    for (char c : file.substr(marked ? 3 : 0))
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        IdList other;
        const std::string otherFile = marked ? file.substr(3) : "\xEF\xBB\xBF" + file;
        FUZZ_CHECK(ImportIDText(otherFile, fixed, &other, ImportHandlers{}, codePage) == code);
        FUZZ_CHECK(SameRows(other.Rows(), rows));
    }

    IdList again;
    FUZZ_CHECK(ImportIDText(FormatIdFile(rows, fixed), fixed, &again, ImportHandlers{}, codePage) == IdListAccepted);
    FUZZ_CHECK(SameRows(again.Rows(), rows));

    IdList loaded;
    const std::string entries = AsSectionEntries(FormatIdSection(rows, fixed));
    FUZZ_CHECK(LoadIdSectionEntries(entries.c_str(), fixed, &loaded, codePage) == IdListAccepted);
    FUZZ_CHECK(SameRows(loaded.Rows(), rows));
    return 0;
}
