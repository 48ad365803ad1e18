// The registered-ID dialog in its three tasks: opened from the mode administration dialog's menu
// (the registered-ID list, the fixed-ID setup) and through its rundll32 entry (the fixed-ID
// selection), and driven as an administrator would.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <commctrl.h>
#include <shlobj.h>

#include "admin_fixture.h"
#include "dialog_script.h"
#include "file_failures.h"
#include "heap_failures.h"
#include "help_standin.h"
#include "res/resource.h"
#include "sandbox.h"

namespace {

const char Common[] = "DisplayRegisteredID=1\r\nSelectFixedMode=1\r\n";
// Texts with format directives, which must be shown as they stand.
const char Strings[] = "RegisteredMessage=%s %s %n\r\nErrorMessage1=Bad entry\r\nErrorMessage2=Import %n failed\r\n";

// Opens the dialog for `task` the way an administrator does, runs the steps in it, and closes
// what opened it.
INT_PTR RunTask(AdminModule& admin, int task, std::vector<Step> steps)
{
    if (task == 2)
        return admin.RunEntry("SelectFixedJobAccountMode", std::move(steps));
    steps.insert(steps.begin(), Press(task == 0 ? IDM_REGISTERED_ID : IDM_SELECT_FIXED_ID));
    steps.push_back(CloseByMenu());
    return admin.Run(std::move(steps));
}

bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

std::string ColumnCaption(HWND dialog, int column)
{
    char caption[64] = {};
    LVCOLUMNA info = {};
    info.mask = LVCF_TEXT;
    info.pszText = caption;
    info.cchTextMax = sizeof caption;
    SendDlgItemMessageA(dialog, IDC_ID_LIST, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info));
    return caption;
}

void SelectRows(HWND dialog, std::vector<int> rows)
{
    HWND list = GetDlgItem(dialog, IDC_ID_LIST);
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    for (int row : rows) {
        LVITEMA item = {};
        item.state = LVIS_SELECTED;
        item.stateMask = LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

Step Select(std::vector<int> rows)
{
    return Inspect([rows](HWND dialog) { SelectRows(dialog, rows); });
}

// Records the text of the message box in front and answers it with `button`.
Step AnswerBox(std::vector<std::string>* seen, int button)
{
    return [seen, button](HWND box) {
        seen->push_back(ItemText(box, 0xFFFF));
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    };
}

// Fills the login-name dialog that Add opens and confirms it.
Step Enter(std::string name, std::string user, std::string id)
{
    return [name, user, id](HWND entry) {
        SetDlgItemTextA(entry, IDC_NAME_EDIT, name.c_str());
        SetDlgItemTextA(entry, IDC_USER_EDIT, user.c_str());
        SetDlgItemTextA(entry, IDC_ID_EDIT, id.c_str());
        PostMessageA(entry, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
}

Step ExpectRows(std::vector<std::string> rows, std::string what)
{
    return Inspect([rows, what](HWND dialog) { EXPECT_EQ(ShownRows(dialog), rows) << what; });
}

const char FixedMaster[] = "[JobAccount]\r\nMode=5\r\nJobAccountID=11\r\nUserID=\r\n"
                           "[FixedID]\r\n0=a,11\r\n1=b,22,bob\r\n2=c,33\r\n";

// The rows after a name sort when the rows shown (in any order, each with the tag it was loaded
// with) get "a" appended with the row count as tag: a tag's first row gives the name it sorts by,
// and rows that sort alike keep their order.
std::vector<std::string> NameSortWithTags(const std::vector<std::string>& shown, const std::vector<LPARAM>& tags,
                                          bool descending)
{
    std::vector<std::pair<std::string, LPARAM>> rows;
    for (size_t row = 0; row < shown.size(); ++row)
        rows.emplace_back(shown[row], tags[row]);
    rows.emplace_back("a/a/1", static_cast<LPARAM>(shown.size()));
    std::vector<std::string> keys;
    for (const auto& row : rows) {
        std::string key = " ";
        for (const auto& first : rows)
            if (first.second == row.second) {
                key = first.first.substr(0, first.first.find('/'));
                break;
            }
        keys.push_back(key);
    }
    std::vector<size_t> order(rows.size());
    for (size_t row = 0; row < order.size(); ++row)
        order[row] = row;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t x, size_t y) { return descending ? keys[x] > keys[y] : keys[x] < keys[y]; });
    std::vector<std::string> sorted;
    for (size_t row : order)
        sorted.push_back(rows[row].first);
    return sorted;
}

}  // namespace

TEST(RegisteredIDDialog, EachTaskShowsItsTitleControlsAndNotice)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    const std::vector<int> fixedOnly = {IDC_FIXED_MODE, IDC_SELECT, IDC_EXPORT, IDC_FIXED_GROUP,
                                        IDC_FIXED_ID,   IDC_FIXED_USER, IDC_FIXED_USER_LABEL, IDC_FIXED_ID_LABEL};
    const std::vector<int> editing = {IDC_ADD, IDC_IMPORT, IDC_DELETE};
    struct Row {
        const char* name;
        int task;
        const char* mode;
        const char* title;
        const char* firstColumn;
        const char* notice;
        bool fixedShown, editingShown, checked, okEnabled;
        std::vector<std::string> rows;
    } rows[] = {
        {"registered list, Hide list mode", 0, "4", "Display Registered Job Account ID", "Login Name", "", false, true,
         false, true, {"alice/alice/5", "bob/Bobby/6"}},
        {"registered list, fixed-ID mode", 0, "5", "Display Registered Job Account ID", "Login Name", "Elsewhere", false,
         true, false, true, {"alice/alice/5", "bob/Bobby/6"}},
        {"fixed-ID setup, Hide list mode", 1, "4", "Select Fixed Job Account ID", "Name", "Elsewhere", true, true, false,
         true, {"a//11", "b/bob/22"}},
        {"fixed-ID setup, fixed-ID mode", 1, "5", "Select Fixed Job Account ID", "Name", "", true, true, true, true,
         {"a//11", "b/bob/22"}},
        {"fixed-ID selection", 2, "5", "Select Fixed Job Account ID", "Name", "", false, false, true, false,
         {"a//11", "b/bob/22"}},
    };
    for (const Row& row : rows) {
        SettingsFiles files(admin, drivers,
                            "[JobAccount]\r\nMode=" + std::string(row.mode) + "\r\nJobAccountID=22\r\nUserID=bob\r\n"
                            "[JobAccountID]\r\nalice=5\r\nbob=6,Bobby\r\n[FixedID]\r\n0=a,11\r\n1=b,22,bob\r\n");
        std::string before = ReadFileBytes(files.master);
        INT_PTR result = RunTask(admin, row.task, {Inspect([&](HWND dialog) {
                                                       char title[64] = {};
                                                       GetWindowTextA(dialog, title, sizeof title);
                                                       EXPECT_STREQ(title, row.title) << row.name;
                                                       EXPECT_TRUE(GetWindowLongA(dialog, GWL_STYLE) & DS_CONTEXTHELP)
                                                           << row.name;
                                                       EXPECT_EQ(ColumnCaption(dialog, 0), row.firstColumn) << row.name;
                                                       EXPECT_EQ(ColumnCaption(dialog, 2), "Account") << row.name;
                                                       EXPECT_EQ(ItemText(dialog, IDC_ANOTHER_MODE_NOTE), row.notice)
                                                           << row.name;
                                                       for (int id : fixedOnly)
                                                           EXPECT_EQ(Visible(dialog, id), row.fixedShown)
                                                               << row.name << ", control " << id;
                                                       for (int id : editing)
                                                           EXPECT_EQ(Visible(dialog, id), row.editingShown)
                                                               << row.name << ", control " << id;
                                                       EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_FIXED_MODE) == BST_CHECKED,
                                                                 row.checked) << row.name;
                                                       EXPECT_EQ(Enabled(dialog, IDOK), row.okEnabled) << row.name;
                                                       EXPECT_FALSE(Enabled(dialog, IDC_DELETE)) << row.name;
                                                       EXPECT_FALSE(Enabled(dialog, IDC_SELECT)) << row.name;
                                                       if (row.fixedShown) {
                                                           EXPECT_EQ(ItemText(dialog, IDC_FIXED_ID), "22") << row.name;
                                                           EXPECT_EQ(ItemText(dialog, IDC_FIXED_USER), "bob") << row.name;
                                                       }
                                                       EXPECT_EQ(ShownRows(dialog), row.rows) << row.name;
                                                   }),
                                                   Press(IDCANCEL)});
        EXPECT_EQ(result, row.task == 2 ? 0 : 1) << row.name;
        EXPECT_EQ(ReadFileBytes(files.master), before) << row.name << ": Cancel writes nothing";
        EXPECT_FALSE(files.Propagated()) << row.name << ": nothing to propagate after Cancel";
    }
}

// OK writes the list in the order shown, after a sort; the fixed-ID setup writes the chosen ID and
// the check box's mode with it, in one rewrite, and the menu then propagates.
TEST(RegisteredIDDialog, OkWritesTheListInTheOrderShownAndPropagates)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    struct Row {
        const char* name;
        int task;
        const char* master;
        std::vector<Step> steps;
        std::string section;
        const char* mode;
        const char* id;
        const char* user;
    } rows[] = {
        {"registered list sorted by name, descending", 0,
         "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=5\r\ncarl=7,Carl Jr\r\n[Other]\r\nk=v\r\n",
         {Inspect([](HWND dialog) { ClickColumn(dialog, 0); })},
         "[JobAccountID]\r\ncarl=7,Carl Jr\r\nalice=5\r\n", "4", "", ""},
        // The sort direction carries on from the first row's dialog: ascending, then descending.
        {"fixed-ID setup: a candidate selected, the box unchecked", 1, FixedMaster,
         {Inspect([](HWND dialog) { ClickColumn(dialog, 0); }), Inspect([](HWND dialog) { ClickColumn(dialog, 0); }),
          Select({1}), Press(IDC_SELECT),
          Inspect([](HWND dialog) {
              EXPECT_TRUE(Enabled(dialog, IDC_DELETE));
              EXPECT_EQ(ItemText(dialog, IDC_FIXED_ID), "22");
              CheckDlgButton(dialog, IDC_FIXED_MODE, BST_UNCHECKED);
          })},
         "[FixedID]\r\n0=c,33\r\n1=b,22,bob\r\n2=a,11\r\n", "4", "22", "bob"},
    };
    for (Row& row : rows) {
        SettingsFiles files(admin, drivers, row.master);
        row.steps.push_back(Press(IDOK));
        RunTask(admin, row.task, row.steps);
        std::string written = ReadFileBytes(files.master);
        EXPECT_NE(written.find(row.section), std::string::npos) << row.name << "\n" << written;
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "Mode"), row.mode) << row.name;
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "JobAccountID"), row.id) << row.name;
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "UserID"), row.user) << row.name;
        EXPECT_TRUE(files.Propagated()) << row.name;
    }
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n[Other]\r\nk=v\r\n");
    RunTask(admin, 0, {Press(IDOK)});
    EXPECT_EQ(ProfileValue(files.master, "Other", "k"), "v") << "an empty list keeps the other sections";
}

// Add asks before it overwrites a registered name, with the name in place of the first "%s" only;
// the fixed-ID list takes the same name twice. What the settings file could not hold is refused.
TEST(RegisteredIDDialog, AddAsksAboutAKnownNameOnlyInTheRegisteredList)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    const std::string longName(100, 'n');
    struct Row {
        const char* name;
        int task;
        std::vector<Step> steps;
        std::vector<std::string> questions;
        std::vector<std::string> shown;
    };
    std::vector<std::string> questions;
    std::vector<std::string> errors;
    Row rows[] = {
        {"known name, No", 0, {Press(IDC_ADD), Enter("ALICE", "Al", "9"), AnswerBox(&questions, IDNO)},
         {"ALICE %s %n"}, {"alice/alice/5"}},
        {"known name, Yes", 0, {Press(IDC_ADD), Enter("ALICE", "Al", "9"), AnswerBox(&questions, IDYES)},
         {"ALICE %s %n"}, {"ALICE/Al/9"}},
        {"new name", 0, {Press(IDC_ADD), Enter("bob", "Bob", "7")}, {}, {"alice/alice/5", "bob/Bob/7"}},
        {"a name the file could not hold", 0, {Press(IDC_ADD), Enter("al=ice", "x", "7"), ExpectErrorBox(&errors)}, {},
         {"alice/alice/5"}},
        {"a name that would read back as a section header", 0,
         {Press(IDC_ADD), Enter(" [JobAccount]", "x", "7"), ExpectErrorBox(&errors)}, {}, {"alice/alice/5"}},
        {"a user name in brackets is a value like any other", 0, {Press(IDC_ADD), Enter("carl", "[Sales] Carl", "8")},
         {}, {"alice/alice/5", "carl/[Sales] Carl/8"}},
        {"fixed-ID list, same name", 1, {Press(IDC_ADD), Enter("alice", "", "9")}, {}, {"alice//5", "alice//9"}},
    };
    for (Row& row : rows) {
        SettingsFiles files(admin, drivers,
                            "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=5\r\n[FixedID]\r\n0=alice,5\r\n");
        questions.clear();
        row.steps.push_back(ExpectRows(row.shown, row.name));
        row.steps.push_back(Press(IDCANCEL));
        RunTask(admin, row.task, row.steps);
        EXPECT_EQ(questions, row.questions) << row.name;
    }
    EXPECT_EQ(errors, (std::vector<std::string>{"Bad entry", "Bad entry"}));

    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n");
    RunTask(admin, 0, {Press(IDC_ADD), Enter(longName, "Long", "3"), ExpectRows({longName + "/Long/3"}, "shown whole"),
                       Press(IDOK)});
    EXPECT_EQ(ProfileValue(files.master, "JobAccountID", longName.substr(0, 80).c_str()), "3,Long")
        << "written cut to 80 bytes";
}

// OK that cannot write the master copy says so, with the file and the reason, and keeps the dialog
// and its edits open; the master copy is as it was and nothing is propagated.
TEST(RegisteredIDDialog, OkThatCannotWriteSaysSoAndStaysOpen)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    for (int task : {0, 1}) {
        SettingsFiles files(admin, drivers, FixedMaster + std::string("[JobAccountID]\r\nalice=5\r\n"));
        const std::string before = ReadFileBytes(files.master);
        FileFailures failures(admin.sandbox.Handle());
        ASSERT_TRUE(failures.ok());
        failures.FailNewFiles(ERROR_DISK_FULL);
        std::vector<std::string> boxes;
        const std::vector<std::string> shown =
            task == 0 ? std::vector<std::string>{"alice/alice/5", "bob/Bob/7"}
                      : std::vector<std::string>{"a//11", "b/bob/22", "c//33", "bob/Bob/7"};
        RunTask(admin, task, {Press(IDC_ADD), Enter("bob", "Bob", "7"), Press(IDOK), ExpectErrorBox(&boxes),
                              ExpectRows(shown, "the edits stay"), Press(IDCANCEL)});
        ASSERT_EQ(boxes.size(), 1u) << task;
        EXPECT_EQ(boxes[0].rfind("The printer settings file could not be written.", 0), 0u) << boxes[0];
        EXPECT_NE(boxes[0].find(files.master), std::string::npos) << boxes[0];
        EXPECT_EQ(ReadFileBytes(files.master), before) << task;
        EXPECT_FALSE(files.Propagated()) << task;
    }
}

// An export into a settings file that exists but cannot be read leaves that file as it was and says
// what failed, never "Export complete.".
TEST(RegisteredIDDialog, ExportToAFileThatCannotBeReadSaysWhatFailed)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    SettingsFiles files(admin, drivers, std::string(FixedMaster) + "[JobAccountID]\r\nalice=5\r\n");
    const std::string target = TestFolder("export");
    const std::string exported = target + "\\vtjobac4.dat";
    WriteFileBytes(exported, "[Keep]\r\nx=1\r\n[JobAccount]\r\nMode=7\r\n");
    FolderChoices choices(admin.sandbox.Handle(), {target});
    FileFailures failures(admin.sandbox.Handle());
    ASSERT_TRUE(failures.ok());
    failures.FailReads(exported, ERROR_ACCESS_DENIED);
    std::vector<std::string> boxes;
    RunTask(admin, 0, {Press(IDC_EXPORT), ExpectErrorBox(&boxes), Press(IDCANCEL)});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Export failed.", 0), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find(exported), std::string::npos) << boxes[0];
    EXPECT_EQ(ReadFileBytes(exported), "[Keep]\r\nx=1\r\n[JobAccount]\r\nMode=7\r\n");
}

// An ID file saved as UTF-16 text is refused whole with a word on why; the list is as it was.
TEST(RegisteredIDDialog, ImportOfAUnicodeFileSaysWhyAndImportsNothing)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    const std::string idFile = TestFolder("wide") + "\\ids.csv";
    WriteFileBytes(idFile, std::string("\xFF\xFE" "b\0o\0b\0,\0" "7\0\r\0\n\0", 16));
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=5\r\n");
    std::vector<std::string> boxes;
    std::vector<Step> steps = {Press(IDC_IMPORT)};
    for (Step& step : ChooseFile(idFile))
        steps.push_back(step);
    steps.push_back(ExpectErrorBox(&boxes));
    steps.push_back(ExpectRows({"alice/alice/5"}, "nothing imported"));
    steps.push_back(Press(IDCANCEL));
    RunTask(admin, 0, steps);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("UTF-16"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find(idFile), std::string::npos) << boxes[0];
}

// Delete takes every selected row, a few or many, without a question; the rows that stay keep
// their order and tags, and Cancel afterwards leaves the master copy as it was. The tags show in
// the sort: a row added next takes the row count as its tag, and when a kept row carries that tag
// too, the sort orders the new row by the kept row's name.
TEST(RegisteredIDDialog, DeleteRemovesEverySelectedRow)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    for (int count : {4, 100}) {
        std::string master = "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\n";
        std::vector<int> selected;
        std::vector<std::string> kept;
        std::vector<LPARAM> keptTags;
        for (int i = 0; i < count; ++i) {
            std::string name = "u" + std::to_string(1000 + i);
            master += name + "=" + std::to_string(i + 1) + "\r\n";
            if (i % 4 == 3 || (count > 4 && i % 2 == 0)) {
                kept.push_back(name + "/" + name + "/" + std::to_string(i + 1));
                keptTags.push_back(i);
            } else {
                selected.push_back(i);
            }
        }
        SettingsFiles files(admin, drivers, master);
        std::string before = ReadFileBytes(files.master);
        const std::string what = std::to_string(selected.size()) + " of " + std::to_string(count) + " rows selected";
        bool descending = false;
        RunTask(admin, 0, {Select(selected), Press(IDC_DELETE), Inspect([&](HWND dialog) {
                               EXPECT_EQ(ShownRows(dialog), kept) << what;
                               EXPECT_FALSE(Enabled(dialog, IDC_DELETE)) << what;
                           }),
                           // A first click shows the direction the shared sort is in (with more
                           // than one row); the rows kept are in ascending name order.
                           Inspect([&](HWND dialog) {
                               ClickColumn(dialog, 0);
                               descending = ShownRows(dialog).front() > ShownRows(dialog).back();
                               if (descending) {
                                   std::reverse(kept.begin(), kept.end());
                                   std::reverse(keptTags.begin(), keptTags.end());
                               }
                           }),
                           Press(IDC_ADD), Enter("a", "a", "1"),
                           Inspect([&](HWND dialog) {
                               ClickColumn(dialog, 0);
                               std::vector<std::string> shown = ShownRows(dialog);
                               if (kept.size() == 1 && shown == NameSortWithTags(kept, keptTags, descending))
                                   return;  // one row shows no direction
                               EXPECT_EQ(shown, NameSortWithTags(kept, keptTags, !descending))
                                   << what << ", then a row added and sorted";
                           }),
                           Press(IDCANCEL)});
        EXPECT_EQ(ReadFileBytes(files.master), before) << what;
    }
}

// The list view keeps only the selection and focus of an owner-data list, by position: a sort
// moves them with their rows, so Delete and Select still take the rows the administrator chose.
// The list view's own search by name reaches the rows too, without regard to case.
TEST(RegisteredIDDialog, SelectionFollowsItsRowsThroughASort)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    SettingsFiles files(admin, drivers,
                        "[JobAccount]\r\nMode=5\r\n[FixedID]\r\n0=d,4\r\n1=b,2\r\n2=e,5\r\n3=a,1\r\n4=c,3\r\n");
    auto selectedNames = [](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_ID_LIST);
        std::vector<std::string> rows = ShownRows(dialog), names;
        for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0 && row < static_cast<int>(rows.size());
             row = ListView_GetNextItem(list, row, LVNI_SELECTED))
            names.push_back(rows[row].substr(0, rows[row].find('/')));
        return names;
    };
    auto find = [](HWND dialog, const char* name, int flags) {
        LVFINDINFOA info = {};
        info.flags = static_cast<UINT>(flags);
        info.psz = name;
        return static_cast<int>(SendDlgItemMessageA(dialog, IDC_ID_LIST, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                                    reinterpret_cast<LPARAM>(&info)));
    };
    RunTask(admin, 1,
            {Select({0, 2}), Inspect([&](HWND dialog) {
                 ClickColumn(dialog, 2);  // descending by ID: e d c b a
                 EXPECT_EQ(ShownRows(dialog), (std::vector<std::string>{"e//5", "d//4", "c//3", "b//2", "a//1"}));
                 EXPECT_EQ(selectedNames(dialog), (std::vector<std::string>{"e", "d"}));
                 EXPECT_EQ(find(dialog, "C", LVFI_STRING), 2);
                 EXPECT_EQ(find(dialog, "x", LVFI_STRING), -1);
             }),
             Press(IDC_DELETE),
             Inspect([&](HWND dialog) {
                 EXPECT_EQ(ShownRows(dialog), (std::vector<std::string>{"c//3", "b//2", "a//1"}));
                 EXPECT_TRUE(selectedNames(dialog).empty());
                 EXPECT_FALSE(Enabled(dialog, IDC_DELETE));
             }),
             Select({1}), Inspect([](HWND dialog) { ClickColumn(dialog, 0); }),  // ascending by name: a b c
             Press(IDC_SELECT), Inspect([&](HWND dialog) {
                 EXPECT_EQ(selectedNames(dialog), std::vector<std::string>{"b"});
                 EXPECT_EQ(ItemText(dialog, IDC_FIXED_ID), "2");
                 EXPECT_TRUE(Enabled(dialog, IDC_SELECT));
             }),
             Press(IDCANCEL)});
}

// An import asks only about a name whose values change, reports refused lines once, and a
// fixed-ID list takes every line.
TEST(RegisteredIDDialog, ImportAsksAboutChangedNamesAndReportsRefusedLinesOnce)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    std::string idFile = TestFolder("ids") + "\\ids.csv";
    WriteFileBytes(idFile, "alice,5\r\nbob,7\r\ncarol,8,Caz\r\nbad=name,9\r\n");
    std::vector<std::string> questions;
    std::vector<std::string> errors;
    struct Row {
        const char* name;
        int task;
        int answer;
        std::vector<std::string> shown;
    } rows[] = {
        {"registered list, Yes", 0, IDYES, {"alice/alice/5", "bob/bob/7", "carol/Caz/8"}},
        {"registered list, No", 0, IDNO, {"alice/alice/5", "bob/bob/6", "carol/Caz/8"}},
        {"fixed-ID list", 1, 0, {"alice//5", "bob//6", "alice//5", "bob//7", "carol/Caz/8"}},
    };
    for (const Row& row : rows) {
        SettingsFiles files(admin, drivers,
                            "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=5\r\nbob=6\r\n"
                            "[FixedID]\r\n0=alice,5\r\n1=bob,6\r\n");
        questions.clear();
        errors.clear();
        std::vector<Step> steps = {Press(IDC_IMPORT)};
        for (Step& step : ChooseFile(idFile))
            steps.push_back(step);
        if (row.answer)
            steps.push_back(AnswerBox(&questions, row.answer));
        steps.push_back(ExpectErrorBox(&errors));
        steps.push_back(ExpectRows(row.shown, row.name));
        steps.push_back(Press(IDCANCEL));
        RunTask(admin, row.task, steps);
        EXPECT_EQ(questions, row.answer ? std::vector<std::string>{"bob %s %n"} : std::vector<std::string>{}) << row.name;
        EXPECT_EQ(errors, std::vector<std::string>{"Import %n failed"}) << row.name;
    }
}

// Export writes the list and its keys into a chosen folder's settings file, keeping that file's
// other sections; the master copy stays as it was.
TEST(RegisteredIDDialog, ExportWritesOnlyTheChosenFolder)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    char documents[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE));
    struct Row {
        const char* name;
        int task;
        const char* mode;
        const char* id;
        const char* section;
        const char* key;
        const char* value;
    } rows[] = {
        {"registered list", 0, "4", "", "JobAccountID", "alice", "5"},
        {"fixed-ID setup, box unchecked", 1, "5", "11", "FixedID", "0", "a,11"},
    };
    for (const Row& row : rows) {
        SettingsFiles files(admin, drivers, std::string(FixedMaster) + "[JobAccountID]\r\nalice=5\r\n");
        std::string before = ReadFileBytes(files.master);
        std::string target = TestFolder("export");
        std::string exported = target + "\\vtjobac4.dat";
        WriteFileBytes(exported, "[Keep]\r\nx=1\r\n[JobAccount]\r\nMode=7\r\n");
        FolderChoices choices(admin.sandbox.Handle(), {target});
        std::vector<std::string> boxes;
        RunTask(admin, row.task, {Inspect([](HWND dialog) { CheckDlgButton(dialog, IDC_FIXED_MODE, BST_UNCHECKED); }),
                                  Press(IDC_EXPORT), ExpectErrorBox(&boxes), Press(IDCANCEL)});
        EXPECT_EQ(boxes, std::vector<std::string>{"Export complete."}) << row.name;
        EXPECT_EQ(choices.Starts(), std::vector<std::string>{documents}) << row.name;
        EXPECT_EQ(ProfileValue(exported, "JobAccount", "Mode"), row.mode) << row.name;
        EXPECT_EQ(ProfileValue(exported, "JobAccount", "JobAccountID"), row.id) << row.name;
        EXPECT_EQ(ProfileValue(exported, row.section, row.key), row.value) << row.name;
        EXPECT_EQ(ProfileValue(exported, "Keep", "x"), "1") << row.name;
        EXPECT_EQ(ReadFileBytes(files.master), before) << row.name;
    }
}

// The selection sends one candidate to the Hide-mode drivers' copies, never the master copy; OK
// needs exactly one selected row, and a double click sends the first of several.
TEST(FixedIDSelection, SendsTheChosenCandidateToTheDriversOnly)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    SettingsFiles files(admin, drivers, FixedMaster);
    std::string before = ReadFileBytes(files.master);
    auto doubleClick = Inspect([](HWND dialog) {
        NMHDR click = {GetDlgItem(dialog, IDC_ID_LIST), IDC_ID_LIST, static_cast<UINT>(NM_DBLCLK)};
        SendMessageA(dialog, WM_NOTIFY, IDC_ID_LIST, reinterpret_cast<LPARAM>(&click));
    });
    INT_PTR result = RunTask(admin, 2,
                             {Select({1}), Inspect([](HWND dialog) { EXPECT_TRUE(Enabled(dialog, IDOK)); }),
                              Select({1, 2}), Inspect([](HWND dialog) { EXPECT_FALSE(Enabled(dialog, IDOK)); }),
                              doubleClick});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadFileBytes(files.master), before);
    EXPECT_EQ(ProfileValue(files.hideCopy, "JobAccount", "JobAccountID"), "22");
    EXPECT_EQ(ProfileValue(files.hideCopy, "JobAccount", "UserID"), "bob");
    EXPECT_EQ(ProfileValue(files.hideCopy, "FixedID", "2"), "c,33") << "the rest comes from the master copy";
}

// Context help follows the task's table: the list has its own topic in each.
TEST(RegisteredIDDialog, HelpShowsEachTasksContext)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    SettingsFiles files(admin, drivers, FixedMaster);
    HelpStandIn help(admin.sandbox.Handle());
    ASSERT_TRUE(help.hook.ok());
    auto askHelp = Inspect([](HWND dialog) {
        HELPINFO info = {};
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = IDC_ID_LIST;
        info.hItemHandle = GetDlgItem(dialog, IDC_ID_LIST);
        SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        SendMessageA(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), 0);
    });
    HelpCalls.clear();
    for (int task : {0, 1, 2})
        RunTask(admin, task, {askHelp, Press(IDCANCEL)});
    std::vector<DWORD_PTR> contexts;
    for (const HelpCall& call : HelpCalls)
        contexts.push_back(call.data);
    EXPECT_EQ(contexts, (std::vector<DWORD_PTR>{10051, 10053, 10301, 10307, 10301, 10307}));
}

// One sort direction serves both ID-list dialogs: a click in the other-client dialog turns it, and
// the registered-ID dialog's next click turns it back.
TEST(RegisteredIDDialog, SortDirectionIsSharedWithTheOtherClientDialog)
{
    Drivers drivers;
    AdminModule admin(std::string(Common) + "AnotherClient=1\r\n", Strings);
    const std::string list = "[JobAccountID]\r\nbob=77\r\nalice=123\r\n";
    std::string other = TestFolder("other");
    WriteFileBytes(other + "\\vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n" + list);
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=6\r\nPath=" + other + "\r\n" + list);
    std::vector<std::vector<std::string>> orders;
    auto click = Inspect([&orders](HWND dialog) {
        ClickColumn(dialog, 0);
        orders.push_back(ShownRows(dialog));
    });
    admin.Run({Press(IDM_ANOTHER_CLIENT), click, Press(IDCANCEL), Press(IDM_REGISTERED_ID), click, Press(IDCANCEL),
               CloseByMenu()});
    const std::vector<std::vector<std::string>> expected = {
        {"bob/bob/77", "alice/alice/123"},  // the first click after load: descending
        {"alice/alice/123", "bob/bob/77"},  // the other dialog goes on: ascending
    };
    EXPECT_EQ(orders, expected);
}

// At the scale administrators have: a registered-ID list of 100,000 entries is sorted by each
// column twice, every second row shown is deleted, and OK writes the rows left in the order shown.
// User names and IDs repeat, so each sort also keeps the order of rows it finds equal.
TEST(RegisteredIDDialog, AHundredThousandRowsSortDeleteAndWriteInTheOrderShown)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    const unsigned count = 100000;
    struct Entry {
        std::string name, user, id;
    };
    std::vector<Entry> entries;
    std::string master = "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\n";
    for (unsigned i = 0; i < count; ++i) {
        Entry entry;
        entry.name = "n" + std::to_string(100000 + (i * 7919u) % count);
        entry.user = i % 3 == 0 ? entry.name : "User " + std::to_string(i % 1000);
        entry.id = std::to_string(1 + (i * 31u) % 5000);
        master += entry.name + "=" + entry.id + (entry.user != entry.name ? "," + entry.user : "") + "\r\n";
        entries.push_back(entry);
    }

    // The order the six clicks give, each click turning the shared direction; the ID column
    // compares numbers. The direction of the first is seen in the dialog (names are distinct).
    std::vector<std::string> shown, written;
    auto expectOrder = [&](bool descending) {
        for (int column : {0, 0, 1, 1, 2, 2}) {
            auto key = [column](const Entry& entry) -> const std::string& {
                return column == 0 ? entry.name : column == 1 ? entry.user : entry.id;
            };
            auto less = [&](const Entry& x, const Entry& y) {
                if (column == 2)
                    return std::stoul(key(x)) < std::stoul(key(y));
                return key(x) < key(y);
            };
            std::stable_sort(entries.begin(), entries.end(),
                             [&](const Entry& x, const Entry& y) { return descending ? less(y, x) : less(x, y); });
            descending = !descending;
        }
        for (unsigned row = 0; row < count; row += 2) {
            const Entry& entry = entries[row];
            shown.push_back(entry.name + "/" + entry.user + "/" + entry.id);
            written.push_back(entry.name + "=" + entry.id + (entry.user != entry.name ? "," + entry.user : ""));
        }
    };
    std::vector<int> everySecond;
    for (unsigned row = 1; row < count; row += 2)
        everySecond.push_back(static_cast<int>(row));

    SettingsFiles files(admin, drivers, master);
    auto click = [](int column) { return Inspect([column](HWND dialog) { ClickColumn(dialog, column); }); };
    auto firstDifference = [](const std::vector<std::string>& got, const std::vector<std::string>& expected) {
        for (size_t row = 0; row < got.size() && row < expected.size(); ++row)
            if (got[row] != expected[row])
                return "row " + std::to_string(row) + ": " + got[row] + " instead of " + expected[row];
        return got.size() == expected.size() ? std::string() : std::to_string(got.size()) + " rows";
    };
    RunTask(admin, 0,
            {Inspect([&](HWND dialog) {
                 EXPECT_EQ(ShownRows(dialog).size(), count);
                 ClickColumn(dialog, 0);
                 std::vector<std::string> rows = ShownRows(dialog);
                 expectOrder(rows.front() > rows.back());
             }),
             click(0), click(1), click(1), click(2), click(2), Select(everySecond), Press(IDC_DELETE),
             Inspect([&](HWND dialog) { EXPECT_EQ(firstDifference(ShownRows(dialog), shown), "") << "shown"; }),
             Press(IDOK)});

    std::string text = ReadFileBytes(files.master);
    size_t start = text.find("[JobAccountID]\r\n");
    ASSERT_NE(start, std::string::npos);
    std::vector<std::string> lines;
    for (size_t line = start + 16; line < text.size() && text[line] != '[';) {
        size_t end = text.find("\r\n", line);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(line, end - line));
        line = end + 2;
    }
    EXPECT_EQ(firstDifference(lines, written), "") << "written";
}

namespace {

// Files the fixed-ID selection makes in the temporary folder.
int TemporaryFilesLeft()
{
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    WIN32_FIND_DATAA found = {};
    HANDLE search = FindFirstFileA((std::string(folder) + "zrj*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        ++count;
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// A list as long as administrators keep: a thousand entries after those a test names, whose store
// needs large blocks of the heap.
std::string ThousandEntries(bool fixed)
{
    std::string entries;
    for (int entry = 0; entry < 1000; ++entry) {
        entries += fixed ? std::to_string(entry + 3) + "=f" + std::to_string(entry) + ","
                         : "n" + std::to_string(entry) + "=";
        entries += std::to_string(1000 + entry) + "\r\n";
    }
    return entries;
}

}  // namespace

// Memory that runs out inside one message fails that message alone: the procedure answers that it
// did nothing instead of letting std::bad_alloc unwind into user32 (which ends a 32-bit host), the
// rows and the files stay as they were, and the same work done again afterwards goes through.
TEST(RegisteredIDDialog, AMessageThatRunsOutOfMemoryFailsAloneAndTheNextWorks)
{
    Drivers drivers;
    AdminModule admin(std::string(Common) + "AnotherClient=1\r\n", Strings);
    HeapFailures heap(admin.sandbox.Handle());
    ASSERT_TRUE(heap.ok());
    const std::string other = TestFolder("other");
    WriteFileBytes(other + "\\vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");
    const std::string master = "[JobAccount]\r\nMode=5\r\nPath=" + other +
                               "\r\n[JobAccountID]\r\nalice=5\r\nbob=6,Bobby\r\n" + ThousandEntries(false) +
                               "[FixedID]\r\n0=a,11\r\n1=b,22,bob\r\n";
    const WPARAM ok = MAKEWPARAM(IDOK, BN_CLICKED);
    const Step deleteFirstRow = Inspect(
        [](HWND dialog) { EXPECT_TRUE(SendDlgItemMessageA(dialog, IDC_ID_LIST, LVM_DELETEITEM, 0, 0)); });
    struct Row {
        const char* name;
        int menuCommand;          // what opens the dialog in the mode dialog; 0: the selection's entry
        std::vector<Step> edits;  // what the failing message would save
        Step failing;
        std::vector<Step> again;  // the same work once more, which ends the dialog
        bool inDriverCopy;        // where the work shows: the Hide-mode driver's copy, else the master copy
        const char* section;
        const char* key;
        const char* before;
        const char* after;
    } rows[] = {
        {"OK of the registered list", IDM_REGISTERED_ID, {Select({1}), Press(IDC_DELETE)},
         FailsAloneWithoutMemory(&heap, 0, WM_COMMAND, ok), {Press(IDOK)}, false, "JobAccountID", "bob", "6,Bobby", ""},
        {"a row deleted through the list view", IDM_REGISTERED_ID, {},
         FailsAloneWithoutMemory(&heap, IDC_ID_LIST, LVM_DELETEITEM, 0), {deleteFirstRow, Press(IDOK)}, false,
         "JobAccountID", "alice", "5", ""},
        {"OK of the fixed-ID selection", 0, {Select({1})}, FailsAloneWithoutMemory(&heap, 0, WM_COMMAND, ok),
         {Press(IDOK)}, true, "JobAccount", "JobAccountID", "", "22"},
        {"OK of the other-client dialog", IDM_ANOTHER_CLIENT, {Check(IDC_USE_ANOTHER_CLIENT, true)},
         FailsAloneWithoutMemory(&heap, 0, WM_COMMAND, ok), {Press(IDOK)}, false, "JobAccount", "Mode", "5", "6"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        SettingsFiles files(admin, drivers, master);
        const std::string& target = row.inDriverCopy ? files.hideCopy : files.master;
        const int temporaryFiles = TemporaryFilesLeft();
        std::vector<std::string> shown;
        std::vector<Step> steps = row.edits;
        steps.push_back(Inspect([&](HWND dialog) { shown = ShownRows(dialog); }));
        steps.push_back(row.failing);
        steps.push_back(Inspect([&](HWND dialog) {
            EXPECT_EQ(ShownRows(dialog), shown);
            EXPECT_EQ(ProfileValue(target, row.section, row.key), row.before);
            EXPECT_FALSE(files.Propagated());
            EXPECT_EQ(TemporaryFilesLeft(), temporaryFiles);
        }));
        steps.insert(steps.end(), row.again.begin(), row.again.end());
        INT_PTR result = 0;
        if (row.menuCommand) {
            steps.insert(steps.begin(), Press(row.menuCommand));
            steps.push_back(CloseByMenu());
            result = admin.Run(std::move(steps));
        } else {
            result = admin.RunEntry("SelectFixedJobAccountMode", std::move(steps));
        }
        EXPECT_EQ(result, 1);
        EXPECT_EQ(ProfileValue(target, row.section, row.key), row.after);
        EXPECT_TRUE(files.Propagated() || row.inDriverCopy);
    }
}

namespace {

// Makes the module's heap run out during the next WM_INITDIALOG that this thread's dialogs get,
// through the thread's hooks around the window procedures.
namespace failing_start {

HeapFailures* heap = nullptr;
bool due = false;
bool running = false;
HHOOK before = nullptr;
HHOOK after = nullptr;

LRESULT CALLBACK Before(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && due && call->message == WM_INITDIALOG) {
        due = false;
        running = true;
        heap->RefuseFrom();
    }
    return CallNextHookEx(before, code, wParam, lParam);
}

LRESULT CALLBACK After(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && running && call->message == WM_INITDIALOG) {
        running = false;
        heap->Disarm();
    }
    return CallNextHookEx(after, code, wParam, lParam);
}

struct Hooks {
    explicit Hooks(HeapFailures* failures)
    {
        heap = failures;
        due = running = false;
        before = SetWindowsHookExA(WH_CALLWNDPROC, Before, nullptr, GetCurrentThreadId());
        after = SetWindowsHookExA(WH_CALLWNDPROCRET, After, nullptr, GetCurrentThreadId());
    }
    ~Hooks()
    {
        UnhookWindowsHookEx(before);
        UnhookWindowsHookEx(after);
        heap->Disarm();
    }
    bool ok() const { return before && after; }
};

}  // namespace failing_start

}  // namespace

// A list that cannot be read whole into the dialog is never offered for editing: the dialog ends
// before it shows, as one that could not be created (-1), for its OK would write the part it holds
// over the whole list. The mode dialog that opened it goes on.
TEST(RegisteredIDDialog, AListThatRunsOutOfMemoryWhileItLoadsNeverOpens)
{
    Drivers drivers;
    AdminModule admin(Common, Strings);
    HeapFailures heap(admin.sandbox.Handle());
    ASSERT_TRUE(heap.ok());
    failing_start::Hooks hooks(&heap);
    ASSERT_TRUE(hooks.ok());
    SettingsFiles files(admin, drivers, FixedMaster + ThousandEntries(true) + "[JobAccountID]\r\nalice=5\r\n" +
                                            ThousandEntries(false));
    const std::string before = ReadFileBytes(files.master);

    failing_start::due = true;
    EXPECT_EQ(admin.RunEntry("SelectFixedJobAccountMode", {}), -1) << "the fixed-ID selection";
    EXPECT_GT(heap.Failed(), 0);

    const int refused = heap.Failed();
    INT_PTR result = admin.Run({Inspect([](HWND) { failing_start::due = true; }), Press(IDM_REGISTERED_ID),
                                Inspect([&](HWND dialog) {
                                    EXPECT_GT(heap.Failed(), refused);
                                    EXPECT_NE(GetDlgItem(dialog, IDC_DRIVER_COMBO), nullptr)
                                        << "no registered-ID dialog; the mode dialog is in front";
                                }),
                                CloseByMenu()});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadFileBytes(files.master), before);
    EXPECT_FALSE(files.Propagated());
}
