// The registered-ID and fixed-ID lists: ID-file parsing, the checks, the section loader, the
// shared sort's comparisons.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "idlist/driver_list.h"
#include "idlist/id_import.h"
#include "idlist/id_list.h"
#include "idlist/propagate.h"
#include "dialogs/input_filters.h"
#include "file_failures.h"
#include "job_standin.h"
#include "host_run.h"
#include "sandbox.h"
#include "settings/settings_file.h"
#include "spooler_fixture.h"

namespace {

std::string Rows(const IdList& list)
{
    std::string text;
    for (const IdRow& row : list.Rows())
        text += row.Name + "|" + row.UserName + "|" + row.ID + "\n";
    return text;
}

std::string ProfileValue(const std::string& file, const char* section, const char* key)
{
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, file.c_str());
    return value;
}

struct Refusals {
    std::vector<std::pair<size_t, int>> lines;
    static void Note(size_t line, int code, void* context)
    {
        static_cast<Refusals*>(context)->lines.push_back({line, code});
    }
};

}  // namespace

TEST(ParseCsvField, FieldsQuotesAndLineEnds)
{
    struct Row {
        const char* input;
        size_t capacity;
        const char* field;
        size_t consumed;  // bytes up to where the next field starts
    } rows[] = {
        {"alice,123", 81, "alice", 6},
        {"\"Smith, John\",42,js", 81, "Smith, John", 14},
        {"\"a \"\"b\"\" c\",1", 81, "a \"\"b\"\" c", 12},
        {"\"js\"", 81, "js", 4},
        {"\"js\"\r\n", 81, "js", 5},
        {"\"js\"\n", 81, "js", 5},
        {"ab\"cd,1", 81, "ab\"cd", 6},
        {"\"ab\"cd\",1", 81, "ab\"cd", 8},
        {"123\r\n", 81, "123", 4},
        {"\r\n", 81, "", 1},
        {"", 81, "", 0},
        {"abcdefgh,x", 4, "abc", 9},
    };
    for (const Row& row : rows) {
        char field[81 + 8];
        memset(field, 0x5A, sizeof field);
        const char* next = ParseCsvField(row.input, ',', field, row.capacity);
        EXPECT_STREQ(field, row.field) << row.input;
        EXPECT_EQ(static_cast<size_t>(next - row.input), row.consumed) << row.input;
        EXPECT_EQ(std::string(field + row.capacity, sizeof field - row.capacity),
                  std::string(sizeof field - row.capacity, '\x5A'))
            << row.input << ": written beyond the capacity";
    }
}

TEST(IdChecks, IDsAndNames)
{
    struct IdRowCase {
        const char* id;
        long long value;
        int code;
    } ids[] = {
        {"123", 123, 0},          {"0000000001", 1, 0},   {"999999999", 999999999, 0},
        {"0", 0, 4},              {"1000000000", 1000000000, 4}, {"12a", -1, 3},
        {" 12", -1, 3},           {"12345678901", 12345678901LL, 4}, {"-5", -1, 3},
    };
    for (const IdRowCase& row : ids) {
        EXPECT_EQ(ParseJobAccountID(row.id), row.value) << row.id;
        EXPECT_EQ(CheckJobAccountID(row.id), row.code) << row.id;
    }
    EXPECT_EQ(ParseJobAccountID(""), 0);

    struct NameCase {
        std::string name;
        bool accepted;
    } names[] = {
        {std::string(80, 'a'), true},
        {std::string(81, 'a'), false},
        {"John Smith", true},
        {"tab\there", true},
        {"O'Brien (Sales), 3rd floor", true},
        {"say \"hi\"", false},
        {"bell\a", false},
        {"caf\xe9", false},  // a byte of 0x80 or above under a single-byte code page
        {"a=b", false},      // would move the end of the key
        {"[section]", false},
        {";comment", false},
        {"a;b[c]", true},
        {"line\r\nbreak", false},
        {"line\nbreak", false},
        // The profile functions skip leading blanks: the line would still be a header or a comment.
        {" [JobAccount]", false},
        {"\t;comment", false},
        {"  a[b]", true},
    };
    for (const NameCase& row : names)
        EXPECT_EQ(PassesNameRule(row.name.c_str()), row.accepted) << row.name;

    // User names are values: brackets, semicolons and "=" are theirs to hold.
    struct UserCase {
        std::string user;
        bool accepted;
    } users[] = {
        {"[Sales] Bob", true}, {";x", true}, {"a=b", true}, {" [x]", true},
        {"say \"hi\"", false}, {"line\nbreak", false}, {std::string(81, 'u'), false},
    };
    for (const UserCase& row : users)
        EXPECT_EQ(PassesTextRule(row.user.c_str()), row.accepted) << row.user;
}

// What the name filter of the entry dialogs keeps, the text rule takes, byte for byte, so that an
// entry added through a dialog is not dropped by the next load: on the Japanese code page the
// half-width katakana; on the others no single byte above ASCII.
TEST(IdChecks, TheTextRuleTakesTheSingleBytesTheNameFilterKeeps)
{
    for (unsigned codePageNumber : {1252u, 932u, 936u}) {
        if (!IsValidCodePage(codePageNumber)) {
            ADD_FAILURE() << "code page " << codePageNumber << " is not installed";
            continue;
        }
        const CodePageTraits codePage = ReadCodePageTraits(codePageNumber);
        for (unsigned byte = 0x20; byte <= 0xFF; ++byte) {
            if (codePage.IsLeadByte(static_cast<unsigned char>(byte)))
                continue;
            const char text[2] = {static_cast<char>(byte), '\0'};
            char kept[DialogTextChars] = {};
            const bool filterKeeps = FilterName(text, 80, kept, codePage) == 1;
            EXPECT_EQ(PassesTextRule(text, codePage), filterKeeps) << "code page " << codePageNumber << ", byte 0x"
                                                                   << std::hex << byte;
        }
    }
    if (IsValidCodePage(932)) {
        const CodePageTraits japanese = ReadCodePageTraits(932);
        EXPECT_TRUE(PassesTextRule("\xC0\xC5\xB6", japanese)) << "half-width katakana";
        EXPECT_TRUE(PassesNameRule("\x8E\x52\x93\x63 \xD4\xCF\xC0\xDE", japanese));
        EXPECT_FALSE(PassesNameRule("\x81\x40[x]", japanese)) << "an ideographic space is a blank too";
    }
}

TEST(ImportIDText, TableOfFiles)
{
    struct Row {
        const char* what;
        std::string file;
        bool fixed;
        int code;
        std::string rows;
        std::vector<std::pair<size_t, int>> refused;
    } rows[] = {
        {"registered list copies the name", "alice,123\n", false, 0, "alice|alice|123\n", {}},
        {"fixed list keeps no user name", "alice,123\n", true, 0, "alice||123\n", {}},
        {"quoted name with a comma", "\"Smith, John\",42,js\n", false, 0, "Smith, John|js|42\n", {}},
        {"quoted last field", "alice,42,\"js\"\nbob,43,\"Bob, B.\"\r\n", false, 0,
         "alice|js|42\nbob|Bob, B.|43\n", {}},
        {"a doubled quote stays and is refused", "\"a \"\"b\"\"\",1\nc,2\n", false, 2, "c|c|2\n", {{1, 2}}},
        {"CR LF and LF alike", "a,1\r\nb,2,bee\r\nc,3\r\n", false, 0, "a|a|1\nb|bee|2\nc|c|3\n", {}},
        {"last line without a line end", "a,1\nb,2", false, 0, "a|a|1\nb|b|2\n", {}},
        {"empty name or ID skipped silently", ",1\na,\n\n  ,\nb,2\n", false, 0, "b|b|2\n", {}},
        {"codes 3, then 4: the last one", "a,12a\nb,5\nc,12345678901\n", false, 4, "b|b|5\n", {{1, 3}, {3, 4}}},
        {"codes 4, then 2", "a,0\nb\"x,5\nc,6\n", false, 2, "c|c|6\n", {{1, 4}, {2, 2}}},
        {"bad user name", "a,1,x\x7Fy\nb,2,b\"c\n", false, 2, "", {{1, 2}, {2, 2}}},
        {"leading zeros kept", "a,0000000001\n", false, 0, "a|a|0000000001\n", {}},
        {"header line refused", "Name,ID,User\na,1\n", false, 3, "a|a|1\n", {{1, 3}}},
        {"fixed list appends duplicates", "a,1\na,1\na,2\n", true, 0, "a||1\na||1\na||2\n", {}},
        {"registered duplicates: same entry ignored, changed one replaces", "a,1\nb,2\nA,1,a\nA,3\n", false, 0,
         "A|A|3\nb|b|2\n", {}},
        {"further fields ignored", "a,1,u,extra,more\n", false, 0, "a|u|1\n", {}},
    };
    for (const Row& row : rows) {
        IdList list;
        Refusals refusals;
        ImportHandlers handlers;
        handlers.refused = &Refusals::Note;
        handlers.context = &refusals;
        EXPECT_EQ(ImportIDText(row.file, row.fixed, &list, handlers), row.code) << row.what;
        EXPECT_EQ(Rows(list), row.rows) << row.what;
        EXPECT_EQ(refusals.lines, row.refused) << row.what;
    }
}

TEST(ImportIDText, TheSampleIDFileImportsWhole)
{
    std::string text;
    ASSERT_EQ(ReadIDFile((ProgramDirectory() + "registered-ids.csv").c_str(), &text), IdFileRead::Read);
    IdList list;
    Refusals refusals;
    ImportHandlers handlers;
    handlers.refused = &Refusals::Note;
    handlers.context = &refusals;
    EXPECT_EQ(ImportIDText(text, false, &list, handlers), 0);
    EXPECT_TRUE(refusals.lines.empty());
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(list.Size(), lines);
}

// ID files as spreadsheet programs and editors save them, read from disk and imported with the
// tables of the code page the row names.
TEST(ImportIDText, FilesAsSpreadsheetsWriteThem)
{
    const std::string mark = "\xEF\xBB\xBF";
    struct Row {
        const char* what;
        unsigned codePage;
        std::string file;
        IdFileRead read;
        int code;
        std::string rows;
        std::vector<std::pair<size_t, int>> refused;
    } rows[] = {
        {"a bracket name after a blank would be a section header", 1252, " [JobAccount],5\nbob,6\n",
         IdFileRead::Read, 2, "bob|bob|6\n", {{1, 2}}},
        {"a semicolon name after a tab would be a comment", 1252, "\t;note,5\nbob,6\n", IdFileRead::Read, 2,
         "bob|bob|6\n", {{1, 2}}},
        {"an ideographic space before a bracket, Japanese", 932, "\x81\x40[x],5\nbob,6\n", IdFileRead::Read, 2,
         "bob|bob|6\n", {{1, 2}}},
        {"brackets, semicolons and = in user names", 1252, "bob,6,[Sales] Bob\ncarl,7,;x=y\n", IdFileRead::Read, 0,
         "bob|[Sales] Bob|6\ncarl|;x=y|7\n", {}},
        {"UTF-8 mark, Western: what the code page lacks is refused", 1252,
         mark + "alice,5\r\ncaf\xC3\xA9,6\r\nbob,7,Bj\xC3\xB6rn\r\n", IdFileRead::Read, 2, "alice|alice|5\n",
         {{2, 2}, {3, 2}}},
        {"UTF-8 mark, Japanese", 932,
         mark + "\xE5\xB1\xB1\xE7\x94\xB0,5,\xEF\xBE\x94\xEF\xBE\x8F\xEF\xBE\x80\xEF\xBE\x9E\n"
                "\xEF\xBE\x80\xEF\xBE\x85\xEF\xBD\xB6,6\ncaf\xC3\xA9,7\n",
         IdFileRead::Read, 2, "\x8E\x52\x93\x63|\xD4\xCF\xC0\xDE|5\n\xC0\xC5\xB6|\xC0\xC5\xB6|6\n", {{3, 2}}},
        {"UTF-8 mark, Chinese: the mark never joins the first name", 936,
         mark + "alice,5\n\xE5\xBC\xA0\xE4\xB8\x89,6\ncaf\xC3\xA9,7\n", IdFileRead::Read, 0,
         "alice|alice|5\n\xD5\xC5\xC8\xFD|\xD5\xC5\xC8\xFD|6\ncaf\xA8\xA6|caf\xA8\xA6|7\n", {}},
        {"UTF-8 mark, a line that is not UTF-8", 1252, mark + "a\xFF,1\nb,2\n", IdFileRead::Read, 2, "b|b|2\n",
         {{1, 2}}},
        {"carriage returns alone end lines", 1252, "a,1\rb,2,bee\rc,3", IdFileRead::Read, 0,
         "a|a|1\nb|bee|2\nc|c|3\n", {}},
        {"a zero byte refuses its line and the import goes on", 1252, std::string("a,1\nb\0x,2\nc,3\n", 13),
         IdFileRead::Read, 2, "a|a|1\nc|c|3\n", {{2, 2}}},
        {"UTF-16 mark", 1252, std::string("\xFF\xFE" "a\0,\0" "1\0\r\0\n\0", 12), IdFileRead::WideText, 0, "", {}},
        {"UTF-16 mark, big-endian", 1252, std::string("\xFE\xFF\0a\0,\0" "1", 8), IdFileRead::WideText, 0, "", {}},
    };
    const std::string directory = FreshTestDirectory("idfiles");
    int index = 0;
    for (const Row& row : rows) {
        if (!IsValidCodePage(row.codePage)) {
            ADD_FAILURE() << row.what << ": code page " << row.codePage << " is not installed";
            continue;
        }
        const std::string path = directory + "ids" + std::to_string(index++) + ".csv";
        WriteFileBytes(path, row.file);
        std::string text;
        EXPECT_EQ(ReadIDFile(path.c_str(), &text), row.read) << row.what;
        IdList list;
        Refusals refusals;
        ImportHandlers handlers;
        handlers.refused = &Refusals::Note;
        handlers.context = &refusals;
        EXPECT_EQ(ImportIDText(text, false, &list, handlers, ReadCodePageTraits(row.codePage)), row.code) << row.what;
        EXPECT_EQ(Rows(list), row.rows) << row.what;
        EXPECT_EQ(refusals.lines, row.refused) << row.what;
    }
}

// A file far larger than any ID file is refused before it is read.
TEST(ReadIDFile, AFileLargerThanAnIDFileCanBeIsRefusedUnread)
{
    const std::string path = FreshTestDirectory("bigid") + "big.csv";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size = {};
    size.QuadPart = static_cast<LONGLONG>(MostIDFileBytes) + 1;
    EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    std::string text = "sentinel";
    EXPECT_EQ(ReadIDFile(path.c_str(), &text), IdFileRead::TooLarge);
    EXPECT_EQ(text, "");
    DeleteFileA(path.c_str());
}

TEST(ImportIDText, LongLinesAndLongFields)
{
    // A line far longer than any read buffer, then an ordinary one: both are taken, the fields cut.
    std::string longUser(5000, 'u');
    std::string text = std::string(100, 'n') + ",7," + longUser + ",tail\n" + "short,8," + std::string(90, 'v') + "\n" +
                       "next,9," + std::string(6000, 'x') + "\r\nlast,10\r\n";
    IdList list;
    EXPECT_EQ(ImportIDText(text, false, &list), 0);
    ASSERT_EQ(list.Size(), 4u) << Rows(list);
    EXPECT_EQ(list.Rows()[0].Name, std::string(80, 'n'));
    EXPECT_EQ(list.Rows()[0].UserName, std::string(80, 'u'));
    EXPECT_EQ(list.Rows()[1].UserName, std::string(80, 'v'));
    EXPECT_EQ(list.Rows()[3].Name, "last");

    // An ID field is cut to 11 characters, so an overlong ID is refused as too long.
    IdList ids;
    EXPECT_EQ(ImportIDText("a," + std::string(40, '1') + "\n", false, &ids), 4);
}

TEST(ImportIDText, DuplicatesInARegisteredListAskBeforeReplacing)
{
    struct Asked {
        std::vector<std::string> names;
        bool answer;
        static bool Ask(const IdRow& existing, const IdRow& incoming, void* context)
        {
            auto* asked = static_cast<Asked*>(context);
            asked->names.push_back(existing.Name + ">" + incoming.Name + "," + incoming.ID);
            return asked->answer;
        }
    };
    for (bool yes : {true, false}) {
        IdList list;
        ImportIDText("alice,123\nbob,5\n", false, &list);
        Asked asked{{}, yes};
        ImportHandlers handlers;
        handlers.replace = &Asked::Ask;
        handlers.context = &asked;
        EXPECT_EQ(ImportIDText("alice,123\nALICE,124\n", false, &list, handlers), 0);
        EXPECT_EQ(asked.names, std::vector<std::string>{"alice>ALICE,124"}) << yes;
        EXPECT_EQ(Rows(list), yes ? "ALICE|ALICE|124\nbob|bob|5\n" : "alice|alice|123\nbob|bob|5\n");
        EXPECT_EQ(list.Find("Alice"), 0);
        EXPECT_EQ(list.Find("carol"), -1);
    }
}

TEST(LoadIdSection, ReadsEitherSectionAndRefusesWhatTheChecksRefuse)
{
    ModuleSandbox sandbox;
    std::string file = sandbox.Directory() + "vtjobac4.dat";
    WriteFileBytes(file,
                   "[JobAccount]\r\nMode=4\r\n"
                   "[JobAccountID]\r\n"
                   "alice=123\r\n"
                   "bob=0000000005,Bob Builder\r\n"
                   "carol=7,Carol, the Second\r\n"
                   "dave=12a\r\n"
                   "empty=\r\n" +
                       std::string(81, 'k') + "=9\r\n"
                   "erin=9\r\n"
                   "[FixedID]\r\n"
                   "0=Front desk,11\r\n"
                   "1=\"Sales, North\",22,Nora\r\n"
                   "7=Lab,0\r\n"
                   "9=Lab,33,\"Lab, Users\"\r\n");
    IdList registered;
    EXPECT_EQ(LoadIdSection(file.c_str(), false, &registered), 2);
    EXPECT_EQ(Rows(registered), "alice|alice|123\nbob|Bob Builder|0000000005\ncarol|Carol, the Second|7\n"
                                "erin|erin|9\n");
    IdList fixed;
    EXPECT_EQ(LoadIdSection(file.c_str(), true, &fixed), 4);
    EXPECT_EQ(Rows(fixed), "Front desk||11\nSales, North|Nora|22\nLab|Lab, Users|33\n");

    // Rows are appended after those already there; a missing file loads nothing.
    EXPECT_EQ(LoadIdSection(file.c_str(), true, &fixed), 4);
    EXPECT_EQ(fixed.Size(), 6u);
    IdList none;
    EXPECT_EQ(LoadIdSection((sandbox.Directory() + "missing.dat").c_str(), false, &none), 0);
    EXPECT_EQ(none.Size(), 0u);
}

TEST(FormatIdSection, WritesWhatLoadsBack)
{
    std::vector<IdRow> rows = {
        {"alice", "alice", "5"}, {"bob", "Bob B", "0007"}, {"Sales, North", "", "22"}, {std::string(100, 'x'), "", "1"},
    };
    EXPECT_EQ(FormatIdSection(rows, false),
              "alice=5\r\nbob=0007,Bob B\r\nSales, North=22\r\n" + std::string(80, 'x') + "=1\r\n");
    EXPECT_EQ(FormatIdSection(rows, true), "0=alice,5,alice\r\n1=bob,0007,Bob B\r\n2=\"Sales, North\",22\r\n3=" +
                                               std::string(80, 'x') + ",1\r\n");

    ModuleSandbox sandbox;
    std::string file = sandbox.Directory() + "vtjobac4.dat";
    for (bool fixed : {false, true}) {
        std::vector<IdRow> shown = {{"a", fixed ? "" : "a", "1"}, {"b, c", "Bee, See", "2"}, {"d", "Dee", "3"}};
        WriteFileBytes(file, "[JobAccount]\r\nMode=5\r\n[JobAccountID]\r\nold=1\r\n[FixedID]\r\n0=old,1\r\n");
        ASSERT_TRUE(WriteIdSection(file.c_str(), shown, fixed));
        EXPECT_EQ(GetPrivateProfileIntA("JobAccount", "Mode", 0, file.c_str()), 5);
        EXPECT_EQ(ProfileValue(file, fixed ? RegisteredIDSection : FixedIDSection, fixed ? "old" : "0"),
                  fixed ? "1" : "old,1") << "the other list stays";
        IdList list;
        EXPECT_EQ(LoadIdSection(file.c_str(), fixed, &list), 0);
        EXPECT_EQ(Rows(list), "a|" + std::string(fixed ? "" : "a") + "|1\nb, c|Bee, See|2\nd|Dee|3\n") << fixed;
        IdList again;
        EXPECT_EQ(ImportIDText(FormatIdFile(list.Rows(), fixed), fixed, &again), 0);
        EXPECT_EQ(Rows(again), Rows(list)) << fixed;
    }
}

TEST(SortKeys, SharedDirectionTagsAndEmptyTexts)
{
    // Rows in display order with their tags; tag 3 is carried twice after a deletion.
    std::vector<LPARAM> tags = {0, 1, 3, 2, 3, 4};
    std::vector<std::string> names = {"bob", "alice", "", "carol", "zed", ""};
    std::vector<std::string> ids = {"20", "100", "", "7", "9x", "5"};
    SortKeys byName(tags, names), byID(tags, ids);

    EXPECT_EQ(byName.CompareText(0, 1), 1);
    EXPECT_EQ(byName.CompareText(1, 1), 0);
    EXPECT_EQ(byName.CompareText(3, 0), 1) << "an empty first row of a tag takes the later row's text";
    EXPECT_EQ(byName.CompareText(4, 1), -1) << "a tag with no other row sorts as a single space";
    EXPECT_EQ(byID.CompareNumber(1, 0), 1);
    EXPECT_EQ(byID.CompareNumber(3, 2), 1) << "9x counts as 9";
    EXPECT_EQ(byID.CompareNumber(4, 0), -1);
    EXPECT_EQ(CompareIdTexts("ab", "abc"), -1);
    EXPECT_EQ(CompareIdTexts("\xe9", "z"), 1) << "bytes compare unsigned";

    // A tag whose empty first row has a twin directly below it finds no other text.
    SortKeys twins({5, 5, 6}, {"", "x", "a"});
    EXPECT_EQ(twins.CompareText(5, 6), -1);
    SortKeys twinNumbers({5, 5, 6}, {"", "4", "0"});
    EXPECT_EQ(twinNumbers.CompareNumber(5, 6), -1);

    // The direction toggles before each sort and is shared by every list.
    SortDirection = 1;
    EXPECT_EQ(ToggleSortDirection(), 2);
    EXPECT_EQ(CompareRowsByNumber(1, 0, reinterpret_cast<LPARAM>(&byID)), -1) << "descending: 100 above 20";
    EXPECT_EQ(ToggleSortDirection(), 1);
    EXPECT_EQ(CompareRowsByText(1, 0, reinterpret_cast<LPARAM>(&byName)), -1);
    SortDirection = 7;
    EXPECT_EQ(ToggleSortDirection(), 1);
}

TEST(SettingsFileText, SectionRewritesAndKeyUpdatesKeepEverythingElse)
{
    const std::string file = "; kept comment\r\n[JobAccount]\r\nMode=6\r\nPath=C:\\share\r\n\r\n"
                             "[JobAccountID]\r\nalice=1\r\n; note\r\nBob = 2,Bob B\r\n\r\n"
                             "[Other]\r\nx=y\r\n[jobaccountid]\r\nlater=9\r\n";
    struct Row {
        const char* what;
        std::string result;
        std::string expected;
    } rows[] = {
        {"section rewritten in place",
         WithSectionReplaced(file, "JobAccountID", "carol=3\r\n"),
         "; kept comment\r\n[JobAccount]\r\nMode=6\r\nPath=C:\\share\r\n\r\n[JobAccountID]\r\ncarol=3\r\n\r\n"
         "[Other]\r\nx=y\r\n[jobaccountid]\r\nlater=9\r\n"},
        {"section added at the end of a file without a last line end",
         WithSectionReplaced("[A]\r\nk=v", "FixedID", "0=a,1\r\n"), "[A]\r\nk=v\r\n[FixedID]\r\n0=a,1\r\n"},
        {"section emptied", WithSectionReplaced("[JobAccountID]\r\na=1\r\n[B]\r\n", "JobAccountID", ""),
         "[JobAccountID]\r\n[B]\r\n"},
        {"keys set: present ones keep place and spelling, new ones follow the last entry",
         WithKeysSet(file, "JobAccountID", {{"BOB", "5"}, {"dave", "4,Dave"}, {"Dave", "6"}}),
         "; kept comment\r\n[JobAccount]\r\nMode=6\r\nPath=C:\\share\r\n\r\n"
         "[JobAccountID]\r\nalice=1\r\n; note\r\nBob=5\r\ndave=6\r\n\r\n"
         "[Other]\r\nx=y\r\n[jobaccountid]\r\nlater=9\r\n"},
        {"keys set in a missing section", WithKeysSet("[A]\nk=v\n", "JobAccountID", {{"a", "1"}}),
         "[A]\nk=v\n[JobAccountID]\r\na=1\r\n"},
        {"LF-only file", WithKeysSet("[JobAccountID]\na=1\n[B]\nb=2\n", "JobAccountID", {{"a", "3"}, {"c", "4"}}),
         "[JobAccountID]\r\na=3\r\nc=4\r\n[B]\nb=2\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.result, row.expected) << row.what;
}

TEST(SettingsFileText, RewrittenFilesReadBackThroughTheProfileFunctions)
{
    ModuleSandbox sandbox;
    const std::string path = sandbox.Directory() + "vtjobac4.dat";
    const char* file = path.c_str();
    WriteFileBytes(path, "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=1\r\n");
    // Read once, so that the profile functions hold the file; then write a key they have not yet
    // put on disk.
    char value[64] = {};
    GetPrivateProfileStringA("JobAccountID", "alice", "", value, sizeof value, file);
    ASSERT_STREQ(value, "1");
    WritePrivateProfileStringA("JobAccount", "UserID", "Front desk", file);
    SetFileAttributesA(file, FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(RewriteProfileSection(file, "JobAccountID", "bob=2,Bob B\r\n"));
    GetPrivateProfileStringA("JobAccountID", "alice", "gone", value, sizeof value, file);
    EXPECT_STREQ(value, "gone");
    GetPrivateProfileStringA("JobAccountID", "bob", "", value, sizeof value, file);
    EXPECT_STREQ(value, "2,Bob B");
    GetPrivateProfileStringA("JobAccount", "UserID", "", value, sizeof value, file);
    EXPECT_STREQ(value, "Front desk") << "a value written just before the rewrite is kept";
    EXPECT_EQ(GetPrivateProfileIntA("JobAccount", "Mode", 0, file), 4);

    ASSERT_TRUE(SetProfileKeys(file, "JobAccountID", {{"carol", "3"}, {"BOB", "4"}}));
    GetPrivateProfileStringA("JobAccountID", "bob", "", value, sizeof value, file);
    EXPECT_STREQ(value, "4");
    // A profile write afterwards builds on the new file, not on what the profile functions held.
    WritePrivateProfileStringA("JobAccountID", "dave", "5", file);
    GetPrivateProfileStringA("JobAccountID", "carol", "", value, sizeof value, file);
    EXPECT_STREQ(value, "3");

    // Nothing is left beside the file.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((sandbox.Directory() + "~zr*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

namespace {

const char Cap[] = "TVIDLIST.CAP";

std::string Capabilities(const std::string& driver)
{
    return "[Capability]\r\n" + driver + "=M\r\n[M]\r\nJobAccount=1\r\n";
}

// A registered-ID section of `count` entries with jdoe's entry in the middle.
std::string BigSection(size_t count, const std::string& jdoeValue)
{
    std::string body;
    body.reserve(count * 24);
    char line[64];
    for (size_t i = 0; i < count; ++i) {
        if (i == count / 2)
            body += "jdoe=" + jdoeValue + "\r\n";
        wsprintfA(line, "user%06lu=%lu,User %lu\r\n", static_cast<unsigned long>(i), static_cast<unsigned long>(i + 1),
                  static_cast<unsigned long>(i));
        body += line;
    }
    return body;
}

struct Result {
    DWORD id;
    char user[81];
    char past[47];
};
using ReadFn = int(WINAPI*)(const char*, DWORD, Result*);

}  // namespace

TEST(SettingsFileRewrite, PrintersResolvingMeanwhileSeeTheOldEntryOrTheNew)
{
    // The printer's driver runs Mode 6: its copy of the settings file (fed by propagation from the
    // master copy) names a shared list, which is rewritten directly. A copy read half-written lacks
    // the Mode and Path at its end and answers from its own list (9999, or nothing); a list read
    // half-written lacks jdoe, who stands in its middle.
    ModuleSandbox sandbox;
    const std::string share = FreshTestDirectory("share");
    const std::string list = share + "vtjobac4.dat";
    const std::string oldSection = BigSection(100000, "1111");
    const std::string newSection = BigSection(100000, "2222,John New");
    WriteFileBytes(list, "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\n" + oldSection);
    const std::string copy = "[JobAccountID]\r\n" + BigSection(100000, "9999") + "[JobAccount]\r\nMode=6\r\nPath=" +
                             share.substr(0, share.size() - 1) + "\r\n";
    WriteFileBytes(sandbox.Directory() + "vtjobac4.dat", copy);
    InstalledDriver hide(DriverSpec{"ZR IdList Hide", {Cap, "vtjobac4.dat"},
                                    {{Cap, Capabilities("ZR IdList Hide")}, {"vtjobac4.dat", copy}}});
    InstalledPrinter printer("ZR IdList P", "ZR IdList Hide");
    ASSERT_TRUE(hide.ok() && printer.ok());
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void*>(GetProcAddress(sandbox.Handle(), "ReadJobAccountID")));
    ASSERT_NE(read, nullptr);
    JobStandIn job(sandbox.Handle(), "jdoe");
    DriverList drivers = {};
    BuildDriverList(nullptr, &drivers);

    std::atomic<bool> stop{false};
    std::atomic<int> answers{0};
    std::vector<std::string> wrong[3];
    std::vector<std::thread> readers;
    for (auto& seen : wrong)
        readers.emplace_back([&, seen = &seen] {
            while (!stop) {
                Result result = {};
                const int ok = read("ZR IdList P", 0, &result);
                const std::string user = result.user;
                if (!ok || !((result.id == 1111 && user == "jdoe") || (result.id == 2222 && user == "John New")))
                    seen->push_back(std::to_string(ok) + ":" + std::to_string(result.id) + ":" + user);
                ++answers;
            }
        });
    int rewrites = 0;
    bool allWritten = true;
    // Three seconds, longer on a slow machine until enough rewrites and answers overlapped.
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < 20000 && (elapsed < 3000 || rewrites < 4 || answers < 6);
         elapsed = GetTickCount() - start) {
        allWritten &= RewriteProfileSection(list.c_str(), "JobAccountID", rewrites % 2 ? oldSection : newSection);
        allWritten &= PropagateSettingsFile(&drivers, nullptr) == 1;
        ++rewrites;
    }
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    ReleaseDriverList(&drivers);

    EXPECT_TRUE(allWritten);
    EXPECT_GE(rewrites, 4);
    EXPECT_GE(answers.load(), 6);
    for (const auto& seen : wrong)
        EXPECT_TRUE(seen.empty()) << seen.size() << " wrong answers, the first " << seen.front();
    std::printf("%d rewrites of a 100,000-entry list and propagations of a copy of that size, %d answers meanwhile\n",
                rewrites, answers.load());
}

TEST(JobacctHost, ImportsIntoTheMasterCopyReportsRefusedLinesAndListsForAnotherImport)
{
    ModuleSandbox sandbox;
    const std::string dir = sandbox.Directory();
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (dir + "jobacct.exe").c_str(), FALSE));
    const std::string master = dir + "vtjobac4.dat";
    WriteFileBytes(master, "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=1\r\nbob=2\r\n[FixedID]\r\n"
                           "0=Front desk,11\r\n1=\"Sales, North\",22,Nora\r\n");
    InstalledDriver hide(DriverSpec{"ZR IdList Hide", {Cap, "vtjobac4.dat"},
                                    {{Cap, Capabilities("ZR IdList Hide")}, {"vtjobac4.dat", "[JobAccount]\r\n"}}});
    ASSERT_TRUE(hide.ok());
    WriteFileBytes(dir + "ids.csv", "Name,ID,User\r\n"
                                    "bob,20,Bob B\r\n"
                                    "carol,0000000003\r\n"
                                    "dave,12a\r\n"
                                    "\"Smith, John\",42,\"John Smith\"\r\n"
                                    "eve=1,5\r\n"
                                    "ALICE,10");

    ProgramRun import = RunHost(dir, "import ids.csv");
    EXPECT_EQ(import.exitCode, 7u) << import.err;
    for (const char* line : {"ids.csv:1: refused (code 3)", "ids.csv:4: refused (code 3)", "ids.csv:6: refused (code 2)"})
        EXPECT_NE(import.err.find(line), std::string::npos) << line << "\n" << import.err;
    EXPECT_EQ(import.err.find("ids.csv:2:"), std::string::npos) << import.err;
    struct Entry {
        const char* key;
        const char* value;
    } entries[] = {{"alice", "10"},       {"bob", "20,Bob B"}, {"carol", "0000000003"},
                   {"Smith, John", "42,John Smith"}, {"dave", "(none)"}};
    for (const Entry& entry : entries) {
        EXPECT_EQ(ProfileValue(master, "JobAccountID", entry.key), entry.value) << entry.key;
        EXPECT_EQ(ProfileValue(hide.Directory() + "vtjobac4.dat", "JobAccountID", entry.key), entry.value)
            << "the driver's copy, " << entry.key;
    }
    EXPECT_EQ(ProfileValue(master, "FixedID", "1"), "\"Sales, North\",22,Nora");

    ProgramRun list = RunHost(dir, "list");
    EXPECT_EQ(list.exitCode, 0u) << list.err;
    EXPECT_EQ(list.out, "alice,10\r\nbob,20,Bob B\r\ncarol,0000000003\r\n\"Smith, John\",42,John Smith\r\n");
    ProgramRun fixed = RunHost(dir, "list --fixed");
    EXPECT_EQ(fixed.exitCode, 0u) << fixed.err;
    EXPECT_EQ(fixed.out, "Front desk,11\r\n\"Sales, North\",22,Nora\r\n");

    // The listing imported into an empty list gives the same listing.
    WriteFileBytes(dir + "listed.csv", list.out);
    WriteFileBytes(master, "[JobAccount]\r\nMode=4\r\n");
    ProgramRun again = RunHost(dir, "import listed.csv");
    EXPECT_EQ(again.exitCode, 0u) << again.err;
    EXPECT_EQ(RunHost(dir, "list").out, list.out);

    // Files refused whole: a UTF-16 text and one larger than an ID file can be (made without
    // writing it: its length set past the end).
    WriteFileBytes(dir + "wide.csv", std::string("\xFF\xFE" "a\0,\0" "1\0", 8));
    HANDLE big = CreateFileA((dir + "big.csv").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size = {};
    size.QuadPart = 1LL << 30;
    EXPECT_TRUE(SetFilePointerEx(big, size, nullptr, FILE_BEGIN) && SetEndOfFile(big));
    CloseHandle(big);
    struct Row {
        const char* arguments;
        DWORD exitCode;
        const char* message;
    } rows[] = {
        {"import missing.csv", 1, "missing.csv"},
        {"import wide.csv", 1, "UTF-16"},
        {"import big.csv", 1, "larger than 64 MB"},
        {"import", 2, "usage"},
        {"list --all", 2, "usage"},
    };
    for (const Row& row : rows) {
        ProgramRun run = RunHost(dir, row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << row.arguments << "\n" << run.err;
    }
}

// The export's failures carry their own reason to jobacct: a master copy that cannot be replaced (a
// full disk, an access list) or that exists but cannot be read is left as it was, and the thread's
// last error names that failure, not the clean-up's "file not found".
TEST(ImportJobAccountIDFile, AMasterCopyThatCannotBeWrittenKeepsItsReason)
{
    ModuleSandbox sandbox;
    const std::string master = sandbox.Directory() + "vtjobac4.dat";
    const std::string idFile = sandbox.Directory() + "ids.csv";
    const std::string before = "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=1\r\n";
    WriteFileBytes(idFile, "bob,2\r\n");
    using ImportFn = int(WINAPI*)(const char*, void*, void*);
    auto import = reinterpret_cast<ImportFn>(
        reinterpret_cast<void*>(GetProcAddress(sandbox.Handle(), "ImportJobAccountIDFile")));
    ASSERT_NE(import, nullptr);
    struct Row {
        const char* what;
        DWORD newFileError;
        DWORD readError;
    } rows[] = {
        {"the disk is full", ERROR_DISK_FULL, 0},
        {"the folder's access list refuses new files", ERROR_ACCESS_DENIED, 0},
        {"the master copy cannot be read", 0, ERROR_ACCESS_DENIED},
    };
    for (const Row& row : rows) {
        WriteFileBytes(master, before);
        FileFailures failures(sandbox.Handle());
        ASSERT_TRUE(failures.ok());
        if (row.newFileError)
            failures.FailNewFiles(row.newFileError);
        if (row.readError)
            failures.FailReads(master, row.readError);
        SetLastError(0);
        EXPECT_EQ(import(idFile.c_str(), nullptr, nullptr), IdImportNotWritten) << row.what;
        EXPECT_EQ(GetLastError(), row.newFileError ? row.newFileError : row.readError) << row.what;
        EXPECT_EQ(ReadFileBytes(master), before) << row.what;
    }
}
