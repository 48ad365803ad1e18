// The entry dialogs, driven as a user would: typing into their edits, pressing their buttons and
// answering their error box, under a real window station (Xvfb).
#include <windows.h>
#include <prsht.h>

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/account_file_acl.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/entry_dialogs.h"
#include "dialog_script.h"
#include "heap_failures.h"
#include "help_standin.h"
#include "iat_hook.h"
#include "res/resource.h"
#include "settings/job_account_info.h"
#include "profile_fixture.h"
#include "sandbox.h"
#include "settings/module_state.h"

namespace {

// A face this machine has: not every Wine installation enumerates "System" or "Tahoma".
int CALLBACK TakeTrueTypeFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD type, LPARAM found)
{
    if (!(type & TRUETYPE_FONTTYPE) || font->lfFaceName[0] == '@')
        return 1;
    *reinterpret_cast<std::string*>(found) = font->lfFaceName;
    return 0;
}

std::string InstalledFace()
{
    std::string face;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesA(dc, nullptr, TakeTrueTypeFace, reinterpret_cast<LPARAM>(&face));
    ReleaseDC(nullptr, dc);
    return face;
}

int CALLBACK CountFace(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return 1;
}

bool FaceExists(const char* face)
{
    int count = 0;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesA(dc, face, CountFace, reinterpret_cast<LPARAM>(&count));
    ReleaseDC(nullptr, dc);
    return count > 0;
}

const std::string Texts =
    "[string]\r\n"
    "ErrorMessage1=Please check your entry\r\n"
    "FontName=" + InstalledFace() + "\r\n"
    "FontSize=10\r\n"
    "UserID=User Name Here\r\n"
    "JobAccountID=Account Number\r\n";

// ---------------------------------------------------------------------------------------------
// Records.

struct Record {
    JobAccountInfo info = {};
    PROPSHEETPAGEA page = {};
    std::string printer = "Office Printer";
    std::string title = "Job Account Title";
    std::string accountFile;

    explicit Record(DWORD flags, const std::string& file = "")
    {
        accountFile = file;
        info.Flags = flags;
        info.PrinterName = &printer[0];
        info.TabTitle = &title[0];
        info.AccountFilePath = accountFile.empty() ? nullptr : &accountFile[0];
        page.dwSize = sizeof page;
        page.lParam = reinterpret_cast<LPARAM>(&info);
    }
    LPARAM Init() { return reinterpret_cast<LPARAM>(&page); }
    void Stored(const char* id, const char* user)
    {
        strcpy(info.JobAccountIDText, id);
        strcpy(info.UserID, user);
    }
};

std::string Profile(const std::string& file, const char* section, const char* key)
{
    char text[256] = {};
    GetPrivateProfileStringA(section, key, "<none>", text, sizeof text, file.c_str());
    return text;
}

RECT ClientRectOf(HWND dialog, int id)
{
    RECT rect = {};
    HWND control = GetDlgItem(dialog, id);
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The dialog font as its controls have it.
HFONT ControlFont(HWND dialog)
{
    return reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, IDC_USER_LABEL, WM_GETFONT, 0, 0));
}

int FontTextHeight(HWND dialog)
{
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, ControlFont(dialog));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    return metrics.tmHeight;
}

class Dialogs : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(GetDC(nullptr), nullptr) << "a display is needed (Xvfb)"; }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Filters.

TEST(InputFilters, NameFilterKeepsPrintableTextAndTabsOnly)
{
    ASSERT_EQ(GetACP(), 1252u) << "the table below is for the Western code page";
    struct Case {
        const char* text;
        size_t limit;
        const char* kept;
    } cases[] = {
        {"John Smith", 80, "John Smith"},
        {"say \"hi\"", 80, "say hi"},
        {"tab\there", 80, "tab\there"},
        {"caf\xE9 au lait", 80, "caf au lait"},
        {"line\r\nbreak", 80, "linebreak"},
        {"abcdef", 4, "abcd"},
        {"\"\"abcdef", 4, "abcd"},
    };
    for (const Case& c : cases) {
        char result[DialogTextChars] = {};
        FilterName(c.text, c.limit, result);
        EXPECT_STREQ(result, c.kept) << c.text;
    }
}

TEST(InputFilters, NameFilterOnTheJapaneseCodePageKeepsDoubleByteAndHalfWidthText)
{
    if (!IsValidCodePage(932))
        GTEST_SKIP() << "code page 932 is not installed";
    const std::string pair = "\x83\x5C";  // katakana "so": its trail byte is a backslash
    struct Case {
        std::string text;
        size_t limit;
        std::string kept;
    } cases[] = {
        {"\x83\x65\x83\x58\x83\x67", 80, "\x83\x65\x83\x58\x83\x67"},
        {"\xB1\xB2\xA1 x", 80, "\xB1\xB2\xA1 x"},
        {"a" + pair + "\"b", 80, "a" + pair + "b"},
        {"a\x83", 80, "a"},                                  // a lead byte without its trail
        {std::string(78, 'n') + pair, 80, std::string(78, 'n') + pair},
        // A pair that would end one byte past the limit does not fit in the field: it is cut.
        {std::string(79, 'n') + pair, 80, std::string(79, 'n')},
        {std::string(80, 'n') + pair, 80, std::string(80, 'n')},
        // Nor does one past the end of the result, whatever the limit.
        {std::string(253, 'n') + pair, 300, std::string(253, 'n') + pair},
        {std::string(254, 'n') + pair, 300, std::string(254, 'n')},
    };
    for (const Case& c : cases) {
        struct {
            char result[DialogTextChars];
            char sentinel[4];
        } guarded;
        memset(&guarded, 0x55, sizeof guarded);
        FilterName(c.text.c_str(), c.limit, guarded.result, 932);
        EXPECT_EQ(guarded.result, c.kept) << c.text;
        EXPECT_EQ(std::string(guarded.sentinel, 4), std::string(4, '\x55')) << c.text;
    }
}

TEST(InputFilters, DigitFilterKeepsDigitsUpToTheLimit)
{
    struct Case {
        const char* text;
        size_t limit;
        const char* kept;
    } cases[] = {
        {"12a34", 9, "1234"}, {"-5", 9, "5"}, {"1 234 567 890", 9, "123456789"}, {"abc", 9, ""},
        {"12345678901", 10, "1234567890"},
    };
    for (const Case& c : cases) {
        char result[DialogTextChars] = {};
        FilterDigits(c.text, c.limit, result);
        EXPECT_STREQ(result, c.kept) << c.text;
    }
}

TEST(InputFilters, ALongNameIsCutAtTheLimit)
{
    std::string text(300, 'x');
    char result[DialogTextChars] = {};
    EXPECT_EQ(FilterName(text.c_str(), 255, result), 255u);
    EXPECT_EQ(FilterName(text.c_str(), 80, result), 80u);
}

// ---------------------------------------------------------------------------------------------
// Font.

TEST_F(Dialogs, FontHeightIsThePointSizeAtTheScreensPixelsPerInch)
{
    std::string face = InstalledFace();
    ASSERT_FALSE(face.empty());
    struct Case {
        const char* size;
        LONG height;
    } cases[] = {{"10", 13}, {"12", 16}, {"9", 12}};
    for (const Case& c : cases) {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(
            "[string]\r\nFontName=" + face + "\r\nFontSize=" + c.size + "\r\n", c.size));
        HFONT font = CreateDialogFont(GetDesktopWindow(), Module.StringFilePath);
        ASSERT_NE(font, nullptr);
        LOGFONTA logical = {};
        GetObjectA(font, sizeof logical, &logical);
        EXPECT_EQ(logical.lfHeight, c.height) << c.size;
        EXPECT_EQ(logical.lfFaceName, face);
        EXPECT_EQ(logical.lfWeight, FW_NORMAL);
        EXPECT_FALSE(logical.lfItalic);
        EXPECT_EQ(logical.lfWidth, 0);
        DeleteObject(font);
    }
}

TEST_F(Dialogs, AMissingFaceFallsBackToSystemOrToNoFont)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("[string]\r\nFontName=No Such Face\r\n"));
    HFONT font = CreateDialogFont(GetDesktopWindow(), Module.StringFilePath);
    if (!FaceExists("System")) {
        EXPECT_EQ(font, nullptr);
        return;
    }
    ASSERT_NE(font, nullptr);
    LOGFONTA logical = {};
    GetObjectA(font, sizeof logical, &logical);
    EXPECT_STREQ(logical.lfFaceName, "System");
    EXPECT_EQ(logical.lfHeight, 13);
    DeleteObject(font);
}

// ---------------------------------------------------------------------------------------------
// Texts.

// Memory that runs out while a dialog reads its texts costs only the remembering of the read: the
// text still comes from the string file, and no std::bad_alloc leaves the read into the dialog
// procedure that asked. The text is as long as a dialog text may be, so that its copy is the one
// request of its size, and the file is old enough for its reads to be remembered.
TEST_F(Dialogs, ATextThatCannotBeRememberedIsStillRead)
{
    const std::string text(DialogTextChars - 1, 'g');
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("[string]\r\nJobAccountGroup=" + text + "\r\n"));
    {
        HANDLE file = CreateFileA(Module.StringFilePath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME now = {};
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER anHourAgo = {{now.dwLowDateTime, now.dwHighDateTime}};
        anHourAgo.QuadPart -= 3600ull * 10000000ull;
        const FILETIME written = {anHourAgo.LowPart, anHourAgo.HighPart};
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
        CloseHandle(file);
    }
    HeapFailures heap(nullptr);  // this program's copy of the module's code reads
    ASSERT_TRUE(heap.ok());
    for (bool memoryRunsOut : {true, false}) {
        char read[DialogTextChars] = {};
        DWORD length = 0;
        if (memoryRunsOut)
            heap.RefuseExactly(text.size() + 1);
        EXPECT_NO_THROW(length = ReadDialogText("JobAccountGroup", "fallback", read)) << memoryRunsOut;
        heap.Disarm();
        EXPECT_EQ(read, text) << memoryRunsOut;
        EXPECT_EQ(length, text.size()) << memoryRunsOut;
    }
    EXPECT_GT(heap.Failed(), 0);
}

// ---------------------------------------------------------------------------------------------
// Job account popup.

TEST_F(Dialogs, PopupRefusesEmptyAndZeroEntriesWithTheErrorBox)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP);
    std::vector<std::string> errors;
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                               {
                                   Press(IDOK), ExpectErrorBox(&errors),               // empty ID
                                   SetText(IDC_ID_EDIT, "0000"), Press(IDOK), ExpectErrorBox(&errors),
                                   SetText(IDC_ID_EDIT, "42"), Press(IDOK), ExpectErrorBox(&errors),  // no user
                                   SetText(IDC_USER_EDIT, "alice"), Press(IDOK),
                               });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(errors.size(), 3u);
    for (const std::string& text : errors)
        EXPECT_EQ(text, "Please check your entry");
    EXPECT_EQ(record.info.JobAccountID, 42u);
    EXPECT_STREQ(record.info.JobAccountIDText, "42");
    EXPECT_STREQ(record.info.UserID, "alice");
}

TEST_F(Dialogs, PopupCancelEndsWithZeroAndLeavesTheRecord)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP);
    record.Stored("77", "bob");
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                               {SetText(IDC_ID_EDIT, "99"), Press(IDCANCEL)});
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(record.info.JobAccountIDText, "77");
    EXPECT_STREQ(record.info.UserID, "bob");
}

TEST_F(Dialogs, PopupShowsTheStoredValuesAndCutsALongIDToNineDigits)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP);
    record.Stored("1234567890", "carol");
    std::string id, user, title, label;
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                               {Inspect([&](HWND dialog) {
                                    id = ItemText(dialog, IDC_ID_EDIT);
                                    user = ItemText(dialog, IDC_USER_EDIT);
                                    char text[256] = {};
                                    GetWindowTextA(dialog, text, sizeof text);
                                    title = text;
                                    label = ItemText(dialog, IDC_USER_LABEL);
                                }),
                                Press(IDOK)});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(id, "123456789");
    EXPECT_EQ(user, "carol");
    EXPECT_EQ(title, "Job Account Title");
    EXPECT_EQ(label, "User Name Here");
    EXPECT_EQ(record.info.JobAccountID, 123456789u);
}

TEST_F(Dialogs, TypingIntoTheEditsRunsTheFiltersAndKeepsTheCaret)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP);
    std::string id, user;
    DWORD idCaret = 0, userCaret = 0;
    RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
              {
                  TypeText(IDC_ID_EDIT, "12a34"),
                  SetText(IDC_USER_EDIT, "ab"),
                  Inspect([](HWND dialog) {
                      // A quote typed between a and b.
                      HWND edit = GetDlgItem(dialog, IDC_USER_EDIT);
                      SendMessageA(edit, EM_SETSEL, 1, 1);
                      SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("\""));
                  }),
                  Inspect([&](HWND dialog) {
                      id = ItemText(dialog, IDC_ID_EDIT);
                      user = ItemText(dialog, IDC_USER_EDIT);
                      SendDlgItemMessageA(dialog, IDC_ID_EDIT, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&idCaret));
                      SendDlgItemMessageA(dialog, IDC_USER_EDIT, EM_GETSEL, 0,
                                          reinterpret_cast<LPARAM>(&userCaret));
                  }),
                  TypeText(IDC_ID_EDIT, "56789012"),
                  Inspect([&](HWND dialog) { id += "|" + ItemText(dialog, IDC_ID_EDIT); }),
                  Press(IDCANCEL),
              });
    EXPECT_EQ(id, "1234|123456789");
    EXPECT_EQ(idCaret, 4u);
    EXPECT_EQ(user, "ab");
    EXPECT_EQ(userCaret, 1u);
}

TEST_F(Dialogs, PopupLayoutFollowsTheFontAndCentresTheWindow)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP);
    RECT window = {}, group = {}, userLabel = {}, userEdit = {}, idLabel = {}, idEdit = {}, ok = {}, cancel = {};
    int th = 0;
    LONG fontHeight = 0;
    RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
              {Inspect([&](HWND dialog) {
                   GetWindowRect(dialog, &window);
                   group = ClientRectOf(dialog, IDC_GROUP);
                   userLabel = ClientRectOf(dialog, IDC_USER_LABEL);
                   userEdit = ClientRectOf(dialog, IDC_USER_EDIT);
                   idLabel = ClientRectOf(dialog, IDC_ID_LABEL);
                   idEdit = ClientRectOf(dialog, IDC_ID_EDIT);
                   ok = ClientRectOf(dialog, IDOK);
                   cancel = ClientRectOf(dialog, IDCANCEL);
                   th = FontTextHeight(dialog);
                   LOGFONTA logical = {};
                   GetObjectA(ControlFont(dialog), sizeof logical, &logical);
                   fontHeight = logical.lfHeight;
               }),
               Press(IDCANCEL)});
    EXPECT_EQ(fontHeight, 13);
    int width = window.right - window.left;  // the client width captured at initialisation
    EXPECT_EQ(group.left, 10);
    EXPECT_EQ(group.top, 10);
    EXPECT_EQ(group.right - group.left, width - 40);
    EXPECT_EQ(userLabel.left, 20);
    EXPECT_EQ(userLabel.top, th + 20);
    EXPECT_EQ(userLabel.bottom - userLabel.top, th + 2);
    EXPECT_EQ(userEdit.top, th + 20 + th + 2);
    EXPECT_EQ(userEdit.right - userEdit.left, width - 60);
    EXPECT_EQ(userEdit.bottom - userEdit.top, 20);
    EXPECT_EQ(idLabel.top, userEdit.top + 30);
    EXPECT_EQ(idEdit.top, idLabel.top + th + 2);
    int rowTop = idEdit.top + 30 + 10;
    EXPECT_EQ(group.bottom, rowTop - 10);
    EXPECT_EQ(ok.top, rowTop);
    EXPECT_EQ(cancel.top, rowTop);
    EXPECT_EQ(ok.bottom - ok.top, th + 10);
    int q = (width - 40) / 4;
    EXPECT_GE(ok.right - ok.left, q);
    EXPECT_EQ(ok.left, q - (ok.right - ok.left) / 2);
    EXPECT_EQ(cancel.left, 2 * q + (cancel.right - cancel.left) / 2);
    EXPECT_EQ(window.left, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2);
}

TEST_F(Dialogs, PopupWithCancelHiddenShowsOkAloneCentredAndNoClose)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP | JAF_POPUP_CANCEL_HIDE);
    record.Stored("5", "dave");
    bool cancelVisible = true;
    int closeState = 0;
    RECT window = {}, ok = {};
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                               {Inspect([&](HWND dialog) {
                                    cancelVisible = IsWindowVisible(GetDlgItem(dialog, IDCANCEL));
                                    closeState = GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND);
                                    GetWindowRect(dialog, &window);
                                    ok = ClientRectOf(dialog, IDOK);
                                }),
                                Press(IDCANCEL),  // Escape
                                Inspect([](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }),
                                Press(IDOK)});
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(cancelVisible);
    EXPECT_EQ(closeState, -1);
    int width = window.right - window.left;
    EXPECT_EQ(ok.left, (width - (ok.right - ok.left)) / 2);
}

TEST_F(Dialogs, PopupWithOkDisabledEnablesOkOnlyWhileBothEditsHoldText)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    struct Case {
        const char* storedID;
        const char* storedUser;
        bool enabledAtStart;
    } cases[] = {{"", "", false}, {"12", "", false}, {"12", "erin", true}};
    for (const Case& c : cases) {
        Record record(JAF_POPUP | JAF_POPUP_OK_DISABLED);
        record.Stored(c.storedID, c.storedUser);
        std::vector<bool> enabled;
        auto look = [&](HWND dialog) { enabled.push_back(IsWindowEnabled(GetDlgItem(dialog, IDOK))); };
        RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                  {Inspect(look), SetText(IDC_ID_EDIT, "7"), SetText(IDC_USER_EDIT, "frank"), Inspect(look),
                   SetText(IDC_USER_EDIT, ""), Inspect(look), SetText(IDC_USER_EDIT, "x"),
                   SetText(IDC_ID_EDIT, "abc"), Inspect(look), Press(IDCANCEL)});
        EXPECT_EQ(enabled, (std::vector<bool>{c.enabledAtStart, true, false, false})) << c.storedID;
    }
}

TEST_F(Dialogs, PopupWithCertificateUserDisablesTheNameButStillNeedsIt)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    Record record(JAF_POPUP | JAF_CERT_USER);
    bool userEnabled = true;
    std::vector<std::string> errors;
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                               {Inspect([&](HWND dialog) { userEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_USER_EDIT)); }),
                                SetText(IDC_ID_EDIT, "3"), Press(IDOK), ExpectErrorBox(&errors),
                                SetText(IDC_USER_EDIT, "gina"), Press(IDOK)});
    EXPECT_FALSE(userEnabled);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(record.info.UserID, "gina");
}

// ---------------------------------------------------------------------------------------------
// Job account page inside a property sheet.

namespace {

struct SheetRun {
    std::vector<std::function<void(HWND sheet, HWND page)>> steps;
    size_t next = 0;
    bool running = false;
    int idle = 0;
};
SheetRun* CurrentSheet = nullptr;

BOOL CALLBACK FindSheet(HWND window, LPARAM found)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window) && GetParent(window) == nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK SheetTick(HWND, UINT, UINT_PTR, DWORD)
{
    SheetRun* run = CurrentSheet;
    if (!run || run->running)
        return;
    HWND active = ActiveDialog();
    if (!active)
        return;
    run->running = true;
    HWND sheet = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindSheet, reinterpret_cast<LPARAM>(&sheet));
    HWND page = sheet ? reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
    if (run->next < run->steps.size())
        run->steps[run->next++](active == sheet ? sheet : active, page);
    else if (++run->idle > 40)
        PostMessageA(active, WM_CLOSE, 0, 0);
    run->running = false;
}

// Shows the page in a sheet and runs the steps; each gets the active window (the sheet, or the
// error box over it) and the page.
void RunSheet(HMODULE module, Record& record, std::vector<std::function<void(HWND, HWND)>> steps)
{
    record.page.dwFlags = PSP_DEFAULT;
    record.page.hInstance = module;
    record.page.pszTemplate = MAKEINTRESOURCEA(IDD_JOBACCOUNT_PAGE);
    record.page.pfnDlgProc = JobAccountDialogProc;
    HPROPSHEETPAGE page = CreatePropertySheetPageA(&record.page);
    ASSERT_NE(page, nullptr);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = 0;
    header.hwndParent = GetDesktopWindow();
    header.pszCaption = "Printer";
    header.nPages = 1;
    header.phpage = &page;
    SheetRun run;
    run.steps = std::move(steps);
    CurrentSheet = &run;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, SheetTick);
    PropertySheetA(&header);
    KillTimer(nullptr, timer);
    CurrentSheet = nullptr;
}

}  // namespace

TEST_F(Dialogs, PageStoresTheEntriesInTheAccountFileOnApply)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    struct Case {
        DWORD flags;
        const char* section;
        const char* user;  // expected in the file
    } cases[] = {
        {0, "Office Printer", "henry"},
        {JAF_ALL_PRINTER, "AllPrinter", "henry"},
        {JAF_CERT_USER, "Office Printer", "<none>"},
    };
    for (const Case& c : cases) {
        PlantedProfile profile;  // the calling user's own file, which the page writes
        std::string file = profile.File();
        Record record(JAF_TAB | c.flags, file);
        bool changed = false;
        RunSheet(sandbox.Handle(), record,
                 {[&](HWND, HWND page) {
                      SetDlgItemTextA(page, IDC_ID_EDIT, "314");
                      SetDlgItemTextA(page, IDC_USER_EDIT, "henry");
                  },
                  [&](HWND sheet, HWND) {
                      // The edits told the sheet: Apply is available.
                      changed = IsWindowEnabled(GetDlgItem(sheet, 0x3021));
                      PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
                  }});
        EXPECT_TRUE(changed) << c.section;
        EXPECT_EQ(Profile(file, c.section, "JobAccountID"), "314") << c.section;
        EXPECT_EQ(Profile(file, c.section, "UserID"), c.user) << c.section;
        EXPECT_STREQ(record.info.JobAccountIDText, "314");
        EXPECT_EQ(record.info.JobAccountID, 314u);
    }
}

TEST_F(Dialogs, PageRefusesAZeroIDAndStaysOpen)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    PlantedProfile profile;  // the calling user's own file, which the page writes
    std::string file = profile.File();
    Record record(JAF_TAB, file);
    std::vector<std::string> errors;
    bool pageStillThere = false;
    RunSheet(sandbox.Handle(), record,
             {[&](HWND, HWND page) {
                  SetDlgItemTextA(page, IDC_ID_EDIT, "000");
                  SetDlgItemTextA(page, IDC_USER_EDIT, "ivy");
              },
              [&](HWND sheet, HWND) { PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0); },
              [&](HWND box, HWND) {
                  errors.push_back(ItemText(box, 0xFFFF));
                  PostMessageA(box, WM_COMMAND, IDOK, 0);
              },
              [&](HWND sheet, HWND page) {
                  pageStillThere = page != nullptr;
                  PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }});
    EXPECT_EQ(errors, (std::vector<std::string>{"Please check your entry"}));
    EXPECT_TRUE(pageStillThere);
    EXPECT_EQ(Profile(file, "Office Printer", "JobAccountID"), "<none>");
}

TEST_F(Dialogs, PageHidesTheColourSwitchAndStoresAStoredTenDigitIDCut)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    PlantedProfile profile;  // the calling user's own file, which the page writes
    std::string file = profile.File();
    Record record(JAF_TAB, file);
    record.Stored("1234567890", "jack");
    bool switchVisible = true;
    std::string id;
    RunSheet(sandbox.Handle(), record,
             {[&](HWND sheet, HWND page) {
                  switchVisible = IsWindowVisible(GetDlgItem(page, IDC_COLOR_SWITCH));
                  id = ItemText(page, IDC_ID_EDIT);
                  PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              }});
    EXPECT_FALSE(switchVisible);
    EXPECT_EQ(id, "123456789");
    EXPECT_EQ(Profile(file, "Office Printer", "JobAccountID"), "123456789");
    EXPECT_EQ(Profile(file, "Office Printer", "UserID"), "jack");
}

// ---------------------------------------------------------------------------------------------
// Colour-password popup.

TEST_F(Dialogs, ColourPasswordCountsTenDigitsOnlyBelowElevenHundredMillion)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    struct Case {
        const char* typed;
        const char* text;
        DWORD id;
    } cases[] = {
        {"123", "123", 123},
        {"0123456789", "0123456789", 123456789},
        {"1099999999", "1099999999", 1099999999},
        {"1100000000", "1100000000", 0},
        {"9999999999", "9999999999", 0},
        {"12-34-56-78-90-12", "1234567890", 0},
    };
    for (const Case& c : cases) {
        PlantedProfile profile;  // the calling user's own file, which the page writes
        std::string file = profile.File();
        Record record(0, file);
        INT_PTR result = RunDialog(sandbox.Handle(), IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(),
                                   {SetText(IDC_ID_EDIT, c.typed), SetText(IDC_USER_EDIT, "kim"), Press(IDOK)});
        EXPECT_EQ(result, 1) << c.typed;
        EXPECT_STREQ(record.info.JobAccountIDText, c.text);
        EXPECT_EQ(record.info.JobAccountID, c.id) << c.typed;
        EXPECT_STREQ(record.info.UserID, "kim");
    }
}

TEST_F(Dialogs, ColourPasswordRefusesEmptyOrZeroPasswordAndEmptyUser)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    PlantedProfile profile;  // the calling user's own file, which the page writes
    Record record(0, profile.File());
    std::vector<std::string> errors;
    bool masked = false;
    INT_PTR result = RunDialog(
        sandbox.Handle(), IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(),
        {Inspect([&](HWND dialog) {
             masked = (GetWindowLongA(GetDlgItem(dialog, IDC_ID_EDIT), GWL_STYLE) & ES_PASSWORD) != 0;
         }),
         Press(IDOK), ExpectErrorBox(&errors), SetText(IDC_ID_EDIT, "0000000000"), Press(IDOK),
         ExpectErrorBox(&errors), SetText(IDC_ID_EDIT, "8"), Press(IDOK), ExpectErrorBox(&errors),
         Press(IDCANCEL)});
    EXPECT_TRUE(masked);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(errors.size(), 3u);
}

TEST_F(Dialogs, ColourPasswordWritesWhatItsCheckBoxesSay)
{
    struct Case {
        const char* common;
        bool next;      // state of 1036 at OK
        bool remember;  // state of 1037 at OK
        const char* password;
        const char* user;
        const char* popup;
    } cases[] = {
        {"", true, true, "4711", "lee", "1"},
        {"", false, false, "<none>", "<none>", "0"},
        {"HideNextPopup=1\r\nHideSavePassword=1\r\n", true, true, "<none>", "<none>", "0"},
    };
    for (const Case& c : cases) {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(std::string(c.common) + Texts, std::to_string(&c - cases)));
        PlantedProfile profile;  // the calling user's own file, which the page writes
        std::string file = profile.File();
        WriteFileBytes(file,
                       "[Office Printer]\r\nPopupColorPassword=1\r\nColorPassword=1\r\nUserIDByColor=old\r\n");
        Record record(JAF_ALL_PRINTER, file);
        RunDialog(sandbox.Handle(), IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(),
                  {SetText(IDC_ID_EDIT, "4711"), SetText(IDC_USER_EDIT, "lee"), Check(IDC_NEXT_POPUP, c.next),
                   Check(IDC_SAVE_PASSWORD, c.remember), Press(IDOK)});
        EXPECT_EQ(Profile(file, "Office Printer", "ColorPassword"), c.password) << c.common;
        EXPECT_EQ(Profile(file, "Office Printer", "UserIDByColor"), c.user) << c.common;
        EXPECT_EQ(Profile(file, "Office Printer", "PopupColorPassword"), c.popup) << c.common;
        EXPECT_EQ(Profile(file, "AllPrinter", "ColorPassword"), "<none>");
    }
}

TEST_F(Dialogs, ColourPasswordCheckBoxesFollowTheCommonSettings)
{
    struct Case {
        const char* common;
        bool nextVisible, nextChecked, saveVisible, saveChecked;
    } cases[] = {
        {"", true, false, true, false},
        {"NextPopupDefault=1\r\nSavePasswordDefault=1\r\n", true, true, true, true},
        {"HideNextPopup=1\r\nNextPopupDefault=1\r\n", false, false, true, false},
        {"HideSavePassword=1\r\nSavePasswordDefault=1\r\n", true, false, false, false},
    };
    for (const Case& c : cases) {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(std::string(c.common) + Texts, std::to_string(&c - cases)));
        PlantedProfile profile;  // the calling user's own file, which the page writes
        Record record(0, profile.File());
        record.Stored("0042", "mia");
        bool seen[4] = {};
        std::string id, user;
        RunDialog(sandbox.Handle(), IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(),
                  {Inspect([&](HWND dialog) {
                       seen[0] = IsWindowVisible(GetDlgItem(dialog, IDC_NEXT_POPUP));
                       seen[1] = IsDlgButtonChecked(dialog, IDC_NEXT_POPUP) == BST_CHECKED;
                       seen[2] = IsWindowVisible(GetDlgItem(dialog, IDC_SAVE_PASSWORD));
                       seen[3] = IsDlgButtonChecked(dialog, IDC_SAVE_PASSWORD) == BST_CHECKED;
                       id = ItemText(dialog, IDC_ID_EDIT);
                       user = ItemText(dialog, IDC_USER_EDIT);
                   }),
                   Press(IDCANCEL)});
        EXPECT_EQ(seen[0], c.nextVisible) << c.common;
        EXPECT_EQ(seen[1], c.nextChecked) << c.common;
        EXPECT_EQ(seen[2], c.saveVisible) << c.common;
        EXPECT_EQ(seen[3], c.saveChecked) << c.common;
        EXPECT_EQ(id, "0042");
        EXPECT_EQ(user, "mia");
    }
}

TEST_F(Dialogs, ColourPasswordLayoutSpacesTheCheckBoxesAndSplitsTheButtonRow)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    PlantedProfile profile;  // the calling user's own file, which the page writes
    Record record(0, profile.File());
    RECT window = {}, group = {}, idEdit = {}, next = {}, save = {}, ok = {}, cancel = {};
    int th = 0;
    RunDialog(sandbox.Handle(), IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(),
              {Inspect([&](HWND dialog) {
                   GetWindowRect(dialog, &window);
                   group = ClientRectOf(dialog, IDC_GROUP);
                   idEdit = ClientRectOf(dialog, IDC_ID_EDIT);
                   next = ClientRectOf(dialog, IDC_NEXT_POPUP);
                   save = ClientRectOf(dialog, IDC_SAVE_PASSWORD);
                   ok = ClientRectOf(dialog, IDOK);
                   cancel = ClientRectOf(dialog, IDCANCEL);
                   th = FontTextHeight(dialog);
               }),
               Press(IDCANCEL)});
    int width = window.right - window.left;
    EXPECT_EQ(next.left, 20);
    EXPECT_EQ(next.top, idEdit.top + 30);
    EXPECT_EQ(next.bottom - next.top, th + 2);
    EXPECT_EQ(save.top, next.top + 20);
    int y = save.top + 30;
    EXPECT_EQ(group.bottom, y);
    EXPECT_EQ(ok.top, y + 10);
    EXPECT_EQ(cancel.top, y + 10);
    int bo = ok.right - ok.left, bc = cancel.right - cancel.left;
    int gap = (width - bo - bc) / 3;
    EXPECT_EQ(ok.left, gap);
    EXPECT_EQ(cancel.left, bo + 2 * gap);
    EXPECT_GE(bc, (width - 40) / 4);
}

TEST_F(Dialogs, LoginNameLayoutHasTheNameRowOnlyForListEntries)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    for (int kind : {0, 2}) {
        LoginNameRequest request = {};
        request.Kind = kind;
        RECT nameLabel = {}, nameEdit = {}, userLabel = {};
        int th = 0;
        std::string title;
        RunDialog(sandbox.Handle(), kind == 2 ? IDD_JOBACCOUNT_POPUP : IDD_LOGIN_NAME, LoginNameDialogProc,
                  reinterpret_cast<LPARAM>(&request),
                  {Inspect([&](HWND dialog) {
                       if (kind != 2) {
                           nameLabel = ClientRectOf(dialog, IDC_NAME_LABEL);
                           nameEdit = ClientRectOf(dialog, IDC_NAME_EDIT);
                       }
                       userLabel = ClientRectOf(dialog, IDC_USER_LABEL);
                       th = FontTextHeight(dialog);
                       char text[256] = {};
                       GetWindowTextA(dialog, text, sizeof text);
                       title = text;
                   }),
                   Press(IDCANCEL)});
        EXPECT_EQ(title, "Job Account");
        if (kind == 2) {
            EXPECT_EQ(userLabel.top, th + 20);
        } else {
            EXPECT_EQ(nameLabel.top, th + 20);
            EXPECT_EQ(nameEdit.top, th + 20 + th + 2);
            EXPECT_EQ(userLabel.top, nameEdit.top + 30);
        }
    }
}

TEST_F(Dialogs, ColourPasswordCancelLeavesTheAccountFileAlone)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    PlantedProfile profile;  // the calling user's own file, which the page writes
    std::string file = profile.File();
    const std::string before = "[Office Printer]\r\nPopupColorPassword=1\r\n";
    WriteFileBytes(file, before);
    Record record(0, file);
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(),
                               {SetText(IDC_ID_EDIT, "5"), SetText(IDC_USER_EDIT, "ned"), Press(IDCANCEL)});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFileBytes(file), before);
}

// ---------------------------------------------------------------------------------------------
// Login-name dialog.

TEST_F(Dialogs, LoginNameKindsFillTheRequest)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    std::string longName(81, 'n');
    struct Case {
        int kind;
        std::string login, user;
        int errors;
        const char* userOut;
    } cases[] = {
        {0, "olga", "", 0, "olga"},
        {1, "olga", "", 0, ""},
        {0, "olga", "pat", 0, "pat"},
        {0, longName, "pat", 0, "pat"},
    };
    for (const Case& c : cases) {
        LoginNameRequest request = {};
        request.Kind = c.kind;
        std::string label;
        INT_PTR result = RunDialog(sandbox.Handle(), IDD_LOGIN_NAME, LoginNameDialogProc,
                                   reinterpret_cast<LPARAM>(&request),
                                   {Inspect([&](HWND dialog) { label = ItemText(dialog, IDC_NAME_LABEL); }),
                                    SetText(IDC_NAME_EDIT, c.login), SetText(IDC_USER_EDIT, c.user),
                                    SetText(IDC_ID_EDIT, "0"), Press(IDOK)});
        EXPECT_EQ(result, 1) << c.kind << c.login;
        EXPECT_STREQ(request.IDText, "0");
        EXPECT_EQ(request.LoginName, c.login);
        EXPECT_STREQ(request.UserName, c.userOut) << c.kind << c.login;
        EXPECT_EQ(label, c.kind == 0 ? "Login Name" : "Name");
    }
}

TEST_F(Dialogs, LoginNameRefusesMissingEntriesAndAnOverlongNameAsUser)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    LoginNameRequest request = {};
    std::vector<std::string> errors;
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_LOGIN_NAME, LoginNameDialogProc,
                               reinterpret_cast<LPARAM>(&request),
                               {Press(IDOK), ExpectErrorBox(&errors),                       // no ID
                                SetText(IDC_ID_EDIT, "12"), Press(IDOK), ExpectErrorBox(&errors),  // no login
                                SetText(IDC_NAME_EDIT, std::string(81, 'q')), Press(IDOK),
                                ExpectErrorBox(&errors),                                    // too long as user
                                SetText(IDC_NAME_EDIT, std::string(80, 'q')), Press(IDOK)});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(errors.size(), 3u);
    EXPECT_EQ(request.UserName, std::string(80, 'q'));
}

TEST_F(Dialogs, LoginNameTakesUpTo255Bytes)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    LoginNameRequest request = {};
    request.Kind = 1;
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_LOGIN_NAME, LoginNameDialogProc,
                               reinterpret_cast<LPARAM>(&request),
                               {SetText(IDC_NAME_EDIT, std::string(300, 'r')), TypeText(IDC_NAME_EDIT, "\"s"),
                                SetText(IDC_USER_EDIT, "sam"),
                                SetText(IDC_ID_EDIT, "1234567890"),
                                Press(IDOK)});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(request.LoginName, std::string(255, 'r'));
    EXPECT_STREQ(request.IDText, "123456789");
}

TEST_F(Dialogs, LoginNameKindTwoShowsTheStoredEntryWithoutANameRow)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    LoginNameRequest request = {};
    request.Kind = 2;
    strcpy(request.IDText, "98765432101");
    strcpy(request.UserName, "quinn");
    std::string id, user;
    bool nameRow = true;
    INT_PTR result = RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, LoginNameDialogProc,
                               reinterpret_cast<LPARAM>(&request),
                               {Inspect([&](HWND dialog) {
                                    id = ItemText(dialog, IDC_ID_EDIT);
                                    user = ItemText(dialog, IDC_USER_EDIT);
                                    nameRow = GetDlgItem(dialog, IDC_NAME_EDIT) != nullptr;
                                }),
                                SetText(IDC_USER_EDIT, ""), Press(IDOK)});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(id, "987654321");
    EXPECT_EQ(user, "quinn");
    EXPECT_FALSE(nameRow);
    EXPECT_STREQ(request.IDText, "987654321");
    EXPECT_STREQ(request.UserName, "");
}

TEST_F(Dialogs, LoginNameCancelEndsWithZero)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    LoginNameRequest request = {};
    EXPECT_EQ(RunDialog(sandbox.Handle(), IDD_LOGIN_NAME, LoginNameDialogProc, reinterpret_cast<LPARAM>(&request),
                        {SetText(IDC_ID_EDIT, "5"), Press(IDCANCEL)}),
              0);
}

// The script runner itself: a dialog that closes before its script is through fails the test, so a
// check placed after an early close cannot pass unseen.
TEST_F(Dialogs, AScriptWhoseDialogClosesEarlyFails)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    LoginNameRequest request = {};
    bool lateStepRan = false;
    EXPECT_NONFATAL_FAILURE(RunDialog(sandbox.Handle(), IDD_LOGIN_NAME, LoginNameDialogProc,
                                      reinterpret_cast<LPARAM>(&request),
                                      {Press(IDCANCEL), Inspect([&](HWND) { lateStepRan = true; })}),
                            "ended before step 2 of 2 ran");
    EXPECT_FALSE(lateStepRan);
}

// ---------------------------------------------------------------------------------------------
// Attention and help.

// A popup in front stops asking at once, or flashes its caption five times, one a tick, and then
// stops.
TEST_F(Dialogs, AttentionTimerInFrontStopsOrFlashesTheCaptionFiveTimes)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    struct Row {
        const char* name;
        AttentionInFront inFront;
        int counter;
        int counterAfter;
        bool timerLeft;
    } rows[] = {
        {"stop", AttentionInFront::Stop, 3, 0, false},
        {"flash, fourth tick", AttentionInFront::FlashCaption, 3, 4, true},
        {"flash, sixth tick", AttentionInFront::FlashCaption, 5, 0, false},
    };
    for (const Row& row : rows) {
        Record record(JAF_POPUP);
        int counter = row.counter;
        BOOL timerLeft = TRUE;
        RunDialog(sandbox.Handle(), IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(),
                  {Inspect([&](HWND dialog) {
                       SetForegroundWindow(dialog);
                       SetTimer(dialog, AttentionTimer, 1000, nullptr);
                       FlashForAttention(dialog, counter, row.inFront);
                       timerLeft = KillTimer(dialog, AttentionTimer);
                   }),
                   Press(IDCANCEL)});
        EXPECT_EQ(counter, row.counterAfter) << row.name;
        EXPECT_EQ(timerLeft != FALSE, row.timerLeft) << row.name;
    }
}

TEST_F(Dialogs, ControlHelpOpensEveryRowOfTheControlAsAPopup)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    HelpStandIn help;
    ASSERT_TRUE(help.hook.ok());
    const HelpContextRow table[] = {{1004, 111}, {1003, 222}, {1004, 333}, {0, 0}};
    ShowControlHelp(GetDesktopWindow(), 1004, table);
    ASSERT_EQ(HelpCalls.size(), 2u);
    EXPECT_EQ(HelpCalls[0].path, std::string(Module.HelpFilePath) + ">popup");
    EXPECT_EQ(HelpCalls[0].command, 0x000Fu);  // HH_HELP_CONTEXT
    EXPECT_EQ(HelpCalls[0].data, 111u);
    EXPECT_EQ(HelpCalls[1].data, 333u);

    HelpCalls.clear();
    ShowControlHelp(GetDesktopWindow(), 4242, table);
    EXPECT_TRUE(HelpCalls.empty());

    // A help path with no room left for the window type opens nothing rather than a cut path.
    memset(Module.HelpFilePath, 'h', sizeof Module.HelpFilePath - 1);
    Module.HelpFilePath[sizeof Module.HelpFilePath - 1] = '\0';
    ShowControlHelp(GetDesktopWindow(), 1004, table);
    EXPECT_TRUE(HelpCalls.empty());
}

TEST_F(Dialogs, EachDialogAsksForItsOwnHelpContexts)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    HelpStandIn help;
    ASSERT_TRUE(help.hook.ok());
    Record record(JAF_POPUP);
    LoginNameRequest loginName = {};
    LoginNameRequest name = {};
    name.Kind = 1;
    struct Case {
        const char* what;
        int templateId;
        DLGPROC proc;
        LPARAM init;
        int control;
        DWORD context;
    } cases[] = {
        {"popup ID", IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(), IDC_ID_EDIT, 10101},
        {"popup OK", IDD_JOBACCOUNT_POPUP, JobAccountDialogProc, record.Init(), IDOK, 10203},
        {"colour password", IDD_COLOR_PASSWORD, ColorPasswordDialogProc, record.Init(), IDC_SAVE_PASSWORD, 10404},
        {"login name", IDD_LOGIN_NAME, LoginNameDialogProc, reinterpret_cast<LPARAM>(&loginName), IDC_NAME_EDIT, 10103},
        {"name", IDD_LOGIN_NAME, LoginNameDialogProc, reinterpret_cast<LPARAM>(&name), IDC_NAME_EDIT, 10104},
    };
    for (const Case& c : cases) {
        HelpCalls.clear();
        RunDialog(sandbox.Handle(), c.templateId, c.proc, c.init,
                  {Inspect([&](HWND dialog) {
                       HELPINFO info = {};
                       info.cbSize = sizeof info;
                       info.iContextType = HELPINFO_WINDOW;
                       info.iCtrlId = c.control;
                       info.hItemHandle = GetDlgItem(dialog, c.control);
                       SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
                       SendMessageA(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(info.hItemHandle), -1);
                   }),
                   Press(IDCANCEL)});
        ASSERT_EQ(HelpCalls.size(), 2u) << c.what;
        EXPECT_EQ(HelpCalls[0].data, c.context) << c.what;
        EXPECT_EQ(HelpCalls[1].data, c.context) << c.what;
    }
}

TEST_F(Dialogs, HelpForAnUnlistedControlOpensNothing)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile(Texts));
    const HelpContextRow table[] = {{1002, 10100}, {0, 0}};
    HWND before = GetForegroundWindow();
    ShowControlHelp(GetDesktopWindow(), 4242, table);
    EXPECT_EQ(GetForegroundWindow(), before);
}

// ---------------------------------------------------------------------------------------------
// Account file access list.

TEST(AccountFileAcl, TheNewListHoldsTwoEveryoneEntriesInOrder)
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    DWORD size = AccountFileAclSize(everyone);
    EXPECT_EQ(size, 2 * (8 + GetLengthSid(everyone)) + 8);
    std::vector<BYTE> buffer(size);
    auto* acl = reinterpret_cast<ACL*>(buffer.data());
    ASSERT_TRUE(BuildAccountFileAcl(everyone, acl, size));
    EXPECT_EQ(acl->AclRevision, 2);
    ASSERT_EQ(acl->AceCount, 2);
    const BYTE expectedFlags[] = {OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, CONTAINER_INHERIT_ACE};
    for (DWORD i = 0; i < 2; ++i) {
        void* entry = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &entry));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(allowed->Header.AceFlags, expectedFlags[i]);
        EXPECT_EQ(allowed->Header.AceSize, 8 + GetLengthSid(everyone));
        EXPECT_EQ(allowed->Mask, static_cast<DWORD>(GENERIC_ALL));
        EXPECT_TRUE(EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), everyone));
    }
    EXPECT_TRUE(AclGrantsEveryoneAll(acl, everyone));
    FreeSid(everyone);
}

TEST(AccountFileAcl, SettingTheListKeepsTheFileUsableAndRefusesFilesNotTheCallers)
{
    PlantedProfile profile;
    const std::string file = profile.File();
    WriteFileBytes(file, "[P]\r\nJobAccountID=1\r\n");
    EXPECT_EQ(SetAccountFileAccess(file.c_str()), 1);
    EXPECT_TRUE(WritePrivateProfileStringA("P", "UserID", "u", file.c_str()));
    EXPECT_EQ(Profile(file, "P", "UserID"), "u");
    const std::string elsewhere = FreshTestDirectory("account") + "vtjobac.ini";
    WriteFileBytes(elsewhere, "[P]\r\nJobAccountID=1\r\n");
    EXPECT_EQ(SetAccountFileAccess(elsewhere.c_str()), -1) << "another folder's file is not the calling user's";
    EXPECT_EQ(SetAccountFileAccess((file + ".missing").c_str()), -1);
    EXPECT_EQ(SetAccountFileAccess(""), -1);
    EXPECT_EQ(SetAccountFileAccess(nullptr), -1);
}
