// The mode administration dialog, opened through the module's exports and driven as an
// administrator would under a real window station (Xvfb).
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include "admin_fixture.h"
#include "dialog_script.h"
#include "file_failures.h"
#include "host_run.h"
#include "dialogs/browse_folder.h"
#include "help_standin.h"
#include "iat_hook.h"
#include "res/resource.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "settings/text.h"
#include "spooler_fixture.h"

namespace {

// The mode the radios show: 0 No Support, 1 Tab, 2 Popup, 3 Hide; -1 when none is checked.
int ShownMode(HWND dialog)
{
    const int radios[] = {IDC_MODE_NONE, IDC_MODE_TAB, IDC_MODE_POPUP, IDC_MODE_HIDE};
    for (int mode = 0; mode < 4; ++mode)
        if (IsDlgButtonChecked(dialog, radios[mode]) == BST_CHECKED)
            return mode;
    return -1;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// Selects the driver's item as the user would, which the combo box reports with CBN_SELCHANGE.
void SelectDriver(HWND dialog, const char* name)
{
    HWND combo = GetDlgItem(dialog, IDC_DRIVER_COMBO);
    LRESULT item = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
    ASSERT_NE(item, CB_ERR) << name;
    SendMessageA(combo, CB_SETCURSEL, item, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVER_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::string MenuText(HMENU menu, UINT item, UINT flags)
{
    char text[256] = {};
    GetMenuStringA(menu, item, text, sizeof text, flags);
    return text;
}


}  // namespace

TEST(ModeDialog, TemplatesCaptionsAndMenu)
{
    Drivers drivers;
    struct Row {
        const char* name;
        std::string common;
        bool allDrivers;
        std::vector<UINT> present;
        std::vector<UINT> absent;
    } rows[] = {
        {"plain", "", false, {IDM_IMPORT}, {IDM_ANOTHER_CLIENT, IDM_REGISTERED_ID, IDM_SETUP_FIXED_ID, IDM_ENABLE_FIXED_ID, IDM_SELECT_FIXED_ID}},
        {"every switch", "AllMode=1\r\nAnotherClient=1\r\nDisplayRegisteredID=1\r\nFixedMode=1\r\nSelectFixedMode=1\r\n",
         true, {IDM_IMPORT, IDM_ANOTHER_CLIENT, IDM_REGISTERED_ID, IDM_SETUP_FIXED_ID, IDM_ENABLE_FIXED_ID, IDM_SELECT_FIXED_ID}, {}},
    };
    for (const Row& row : rows) {
        AdminModule admin(row.common);
        INT_PTR result = admin.Run({Inspect([&](HWND dialog) {
                                        char title[64] = {};
                                        GetWindowTextA(dialog, title, sizeof title);
                                        EXPECT_STREQ(title, "Mode Admin") << row.name;
                                        EXPECT_EQ(GetDlgItem(dialog, IDC_ALL_DRIVERS) != nullptr, row.allDrivers) << row.name;
                                        if (row.allDrivers) {
                                            EXPECT_EQ(ItemText(dialog, IDC_ALL_DRIVERS), "Every driver");
                                        }
                                        EXPECT_EQ(ItemText(dialog, IDC_DRIVER_LABEL), "Printer driver");
                                        EXPECT_EQ(ItemText(dialog, IDC_MODE_TAB), "Tab mode");
                                        EXPECT_EQ(ItemText(dialog, IDC_MODE_NONE), "No support");
                                        EXPECT_EQ(ItemText(dialog, IDC_CHANGE), "Apply it");
                                        EXPECT_EQ(ItemText(dialog, IDC_GROUP), "Job Accounting Mode") << "a default";
                                        EXPECT_EQ(GetDlgItem(dialog, IDOK), nullptr) << "1 is only a command";
                                        HMENU menu = GetMenu(dialog);
                                        ASSERT_NE(menu, nullptr);
                                        EXPECT_EQ(MenuText(menu, 0, MF_BYPOSITION), "Datei");
                                        EXPECT_EQ(MenuText(menu, 1, MF_BYPOSITION), "Versteckt");
                                        EXPECT_EQ(MenuText(menu, 2, MF_BYPOSITION), "Hilfe");
                                        EXPECT_EQ(MenuText(menu, IDOK, MF_BYCOMMAND), "&Close");
                                        EXPECT_EQ(MenuText(menu, IDM_VERSION, MF_BYCOMMAND), "&Version");
                                        for (UINT id : row.present)
                                            EXPECT_FALSE(MenuText(menu, id, MF_BYCOMMAND).empty()) << row.name << " " << id;
                                        for (UINT id : row.absent)
                                            EXPECT_EQ(GetMenuState(menu, id, MF_BYCOMMAND), static_cast<UINT>(-1))
                                                << row.name << " " << id;
                                    }),
                                    CloseByMenu()});
        EXPECT_EQ(result, 1) << row.name;
    }
}

TEST(ModeDialog, RadiosFollowTheSelectedDriver)
{
    Drivers drivers;
    InstalledDriver plain(DriverSpec{"ZR Plain", {"vtjobac1.dat"}});
    AdminModule admin;
    admin.Run({Inspect([](HWND dialog) {
                   HWND combo = GetDlgItem(dialog, IDC_DRIVER_COMBO);
                   EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 0) << "the first item is selected";
                   EXPECT_NE(ShownMode(dialog), -1) << "the radios show the first item's mode";
                   EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>("ZR Plain")),
                             CB_ERR)
                       << "a driver without job accounting is not offered";
                   const struct {
                       const char* driver;
                       int mode;
                   } expected[] = {{"ZR Tab", 1}, {"ZR Popup", 2}, {"ZR Hide", 3}, {"ZR Tab", 1}};
                   for (const auto& row : expected) {
                       SelectDriver(dialog, row.driver);
                       EXPECT_EQ(ShownMode(dialog), row.mode) << row.driver;
                   }
               }),
               CloseByMenu()});
}

TEST(ModeDialog, AllDriversCheckBoxFollowsTheRegistry)
{
    Drivers drivers;
    AdminModule admin("AllMode=1\r\n");
    SetRegistryDword(admin.sandbox.RegistryRoot(), "AllFlag", 1);
    SetRegistryDword(admin.sandbox.RegistryRoot(), "AllMode", 3);
    admin.Run({Inspect([](HWND dialog) {
                   EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_ALL_DRIVERS), BST_CHECKED);
                   EXPECT_FALSE(Enabled(dialog, IDC_DRIVER_COMBO));
                   EXPECT_FALSE(Enabled(dialog, IDC_DRIVER_LABEL));
                   EXPECT_EQ(ShownMode(dialog), 3) << "the mode of the last all-drivers change";

                   CheckDlgButton(dialog, IDC_ALL_DRIVERS, BST_UNCHECKED);
                   SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ALL_DRIVERS, BN_CLICKED),
                                reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ALL_DRIVERS)));
                   EXPECT_TRUE(Enabled(dialog, IDC_DRIVER_COMBO));
                   SelectDriver(dialog, "ZR Tab");
                   EXPECT_EQ(ShownMode(dialog), 1) << "unchecked, the radios show the selected driver";
               }),
               CloseByMenu()});

    SetRegistryDword(admin.sandbox.RegistryRoot(), "AllFlag", 0);
    AdminModule again("AllMode=1\r\n");
    again.Run({Inspect([](HWND dialog) {
                   EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_ALL_DRIVERS), BST_UNCHECKED);
                   EXPECT_TRUE(Enabled(dialog, IDC_DRIVER_COMBO));
               }),
               CloseByMenu()});
}

namespace {

// Windows XP for the module's version probes.
BOOL WINAPI ReportXP(OSVERSIONINFOA* info)
{
    if (!info)
        return FALSE;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

}  // namespace

TEST(ModeDialog, PopupRadioFollowsTheVistaRestriction)
{
    Drivers drivers;
    struct Row {
        const char* name;
        std::string common;
        bool xp;
        bool popupForDenyingDriver;
    } rows[] = {
        {"VistaPopupDisabled absent", "", false, false},
        {"VistaPopupDisabled 1", "VistaPopupDisabled=1\r\n", false, false},
        {"VistaPopupDisabled 0", "VistaPopupDisabled=0\r\n", false, true},
        {"below Vista", "", true, true},
    };
    for (const Row& row : rows) {
        AdminModule admin(row.common);
        std::unique_ptr<ImportHook> version;
        if (row.xp) {
            version = std::make_unique<ImportHook>(admin.sandbox.Handle(), "kernel32.dll", "GetVersionExA",
                                                   reinterpret_cast<void*>(&ReportXP));
            ASSERT_TRUE(version->ok()) << row.name;
        }
        admin.Run({Inspect([&row](HWND dialog) {
                       SelectDriver(dialog, "ZR Popup");
                       EXPECT_EQ(Enabled(dialog, IDC_MODE_POPUP), row.popupForDenyingDriver) << row.name;
                       SelectDriver(dialog, "ZR Tab");
                       EXPECT_TRUE(Enabled(dialog, IDC_MODE_POPUP)) << row.name << ": the driver allows dialogs";
                   }),
                   CloseByMenu()});
    }
}

TEST(ModeDialog, NoChangeShowsTheModesButChangesNothing)
{
    Drivers drivers;
    AdminModule admin("NoChange=1\r\nAllMode=1\r\n");
    admin.Run({Inspect([](HWND dialog) {
                   for (int id : {IDC_ALL_DRIVERS, IDC_DRIVER_COMBO, IDC_MODE_TAB, IDC_MODE_POPUP, IDC_MODE_HIDE,
                                  IDC_MODE_NONE, IDC_CHANGE})
                       EXPECT_FALSE(Enabled(dialog, id)) << id;
                   EXPECT_TRUE(Enabled(dialog, IDC_DRIVER_LABEL));
                   EXPECT_NE(ShownMode(dialog), -1) << "the modes are still shown";
                   HMENU menu = GetMenu(dialog);
                   EXPECT_TRUE(GetMenuState(menu, 1, MF_BYPOSITION) & MF_GRAYED) << "Hide Mode";
                   EXPECT_FALSE(GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED) << "File";
                   EXPECT_FALSE(GetMenuState(menu, 2, MF_BYPOSITION) & MF_GRAYED) << "Help";
               }),
               CloseByMenu()});
}

TEST(ModeDialog, EscapeDoesNothingAndTheCloseBoxCloses)
{
    Drivers drivers;
    AdminModule admin;
    bool escaped = false;
    INT_PTR result = admin.Run({Press(IDCANCEL), Inspect([&escaped](HWND dialog) {
                                    escaped = IsWindowVisible(dialog) != FALSE;
                                    PostMessageA(dialog, WM_CLOSE, 0, 0);
                                })});
    EXPECT_TRUE(escaped) << "the dialog is still open after Escape";
    EXPECT_EQ(result, 1);
}

namespace {

// A token whose groups hold nobody: Wine's token always holds the administrators.
BOOL WINAPI GroupsWithoutAdministrators(HANDLE, TOKEN_INFORMATION_CLASS type, void* buffer, DWORD size, DWORD* needed)
{
    if (type != TokenGroups) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *needed = sizeof(TOKEN_GROUPS);
    if (!buffer || size < sizeof(TOKEN_GROUPS)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    static_cast<TOKEN_GROUPS*>(buffer)->GroupCount = 0;
    return TRUE;
}

}  // namespace

TEST(ModeDialog, RefusesAUserWhoIsNotAnAdministrator)
{
    Drivers drivers;
    AdminModule admin;
    ImportHook token(admin.sandbox.Handle(), "advapi32.dll", "GetTokenInformation",
                     reinterpret_cast<void*>(&GroupsWithoutAdministrators));
    ASSERT_TRUE(token.ok());
    std::vector<std::string> boxes;
    INT_PTR result = admin.Run({ExpectErrorBox(&boxes)});
    EXPECT_EQ(result, 1) << "the refusal closes the dialog";
    EXPECT_EQ(boxes, std::vector<std::string>{"Admins only"});
}

namespace {

void ChooseMode(HWND dialog, int radio) { CheckRadioButton(dialog, IDC_MODE_TAB, IDC_MODE_NONE, radio); }

std::string SelectedText(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_DRIVER_COMBO);
    char text[256] = {};
    SendMessageA(combo, CB_GETLBTEXT, SendMessageA(combo, CB_GETCURSEL, 0, 0), reinterpret_cast<LPARAM>(text));
    return text;
}

std::string SystemText(DWORD code)
{
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return text;
}

}  // namespace

TEST(ModeDialog, ChangeAppliesTheModeOrShowsWhyNot)
{
    Drivers drivers;
    AdminModule admin;
    // What a change to Hide copies beside the driver; a change to Popup finds no data file.
    WriteFileBytes(admin.sandbox.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");
    std::vector<std::string> boxes;
    admin.Run({Inspect([](HWND dialog) {
                   SelectDriver(dialog, "ZR Tab");
                   ChooseMode(dialog, IDC_MODE_HIDE);
               }),
               Press(IDC_CHANGE), ExpectErrorBox(&boxes),
               Inspect([](HWND dialog) {
                   EXPECT_EQ(SelectedText(dialog), "ZR Tab") << "the changed driver stays selected";
                   SelectDriver(dialog, "ZR Tab");
                   EXPECT_EQ(ShownMode(dialog), 3) << "the list was enumerated again";
                   SelectDriver(dialog, "ZR Hide");
                   ChooseMode(dialog, IDC_MODE_POPUP);
               }),
               Press(IDC_CHANGE), ExpectErrorBox(&boxes), CloseByMenu()});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Done it");
    EXPECT_EQ(boxes[1], SystemText(ERROR_FILE_NOT_FOUND) + "\nTry again later") << "the system's text, then the advice";
}

namespace {

// Memory that runs out in the middle of the driver list's rebuild: once armed, the allocation that
// follows the enumeration of every driver fails, after the records were read.
bool rebuildFailureArmed = false;
bool failNextAllocation = false;
bool allocationRefused = false;

BOOL WINAPI EnumerateThenRunOut(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                LPDWORD needed, LPDWORD returned)
{
    const BOOL answered = EnumPrinterDriversA(server, environment, level, buffer, size, needed, returned);
    if (rebuildFailureArmed && buffer && environment && strcmp(environment, "all") == 0) {
        rebuildFailureArmed = false;
        failNextAllocation = true;
    }
    return answered;
}

HLOCAL WINAPI AllocateUnlessRunOut(UINT flags, SIZE_T bytes)
{
    if (failNextAllocation) {
        failNextAllocation = false;
        allocationRefused = true;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return LocalAlloc(flags, bytes);
}

}  // namespace

// A change that succeeds but whose list cannot be read again leaves no item that names a driver
// of the list that is gone.
TEST(ModeDialog, ARebuildThatFailsPartWayOffersNoDriver)
{
    Drivers drivers;
    AdminModule admin;
    WriteFileBytes(admin.sandbox.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");
    ImportHook enumeration(admin.sandbox.Handle(), "winspool.drv", "EnumPrinterDriversA",
                           reinterpret_cast<void*>(&EnumerateThenRunOut));
    ImportHook allocation(admin.sandbox.Handle(), "kernel32.dll", "LocalAlloc",
                          reinterpret_cast<void*>(&AllocateUnlessRunOut));
    ASSERT_TRUE(enumeration.ok());
    ASSERT_TRUE(allocation.ok());
    allocationRefused = false;
    std::vector<std::string> boxes;
    LRESULT itemsLeft = -1;
    admin.Run({Inspect([](HWND dialog) {
                   SelectDriver(dialog, "ZR Tab");
                   ChooseMode(dialog, IDC_MODE_HIDE);
                   rebuildFailureArmed = true;
               }),
               Press(IDC_CHANGE), ExpectErrorBox(&boxes),
               Inspect([&itemsLeft](HWND dialog) {
                   HWND combo = GetDlgItem(dialog, IDC_DRIVER_COMBO);
                   itemsLeft = SendMessageA(combo, CB_GETCOUNT, 0, 0);
                   // The user picks whatever the box still offers.
                   SendMessageA(combo, CB_SETCURSEL, 0, 0);
                   SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVER_COMBO, CBN_SELCHANGE),
                                reinterpret_cast<LPARAM>(combo));
               }),
               CloseByMenu()});
    rebuildFailureArmed = failNextAllocation = false;
    EXPECT_TRUE(allocationRefused) << "the rebuild ran out of memory";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Done it") << "the change itself was made";
    EXPECT_EQ(itemsLeft, 0);
}

namespace {

// A computer that shares a printer: the enumeration of shared printers asks for room.
BOOL WINAPI SharedPrinterThere(DWORD, char*, DWORD, BYTE*, DWORD, DWORD* needed, DWORD* returned)
{
    *needed = 64;
    *returned = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
}

}  // namespace

TEST(ModeDialog, NoToTheSharedPrinterQuestionChangesNothing)
{
    Drivers drivers;
    AdminModule admin("AllMode=1\r\n");
    ImportHook shared(admin.sandbox.Handle(), "winspool.drv", "EnumPrintersA", reinterpret_cast<void*>(&SharedPrinterThere));
    ASSERT_TRUE(shared.ok());
    std::string question;
    bool quiet = false;
    admin.Run({Inspect([](HWND dialog) {
                   CheckDlgButton(dialog, IDC_ALL_DRIVERS, BST_CHECKED);
                   SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ALL_DRIVERS, BN_CLICKED),
                                reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ALL_DRIVERS)));
                   ChooseMode(dialog, IDC_MODE_HIDE);
               }),
               Press(IDC_CHANGE),
               Inspect([&question](HWND box) {
                   question = ItemText(box, 0xFFFF);
                   PostMessageA(box, WM_COMMAND, IDNO, 0);
               }),
               Inspect([&quiet](HWND dialog) { quiet = GetDlgItem(dialog, IDC_DRIVER_COMBO) != nullptr; }),
               CloseByMenu()});
    EXPECT_EQ(question, "Shared, go on?");
    EXPECT_TRUE(quiet) << "no further box after No";
    HKEY key = nullptr;
    DWORD flag = 0, size = sizeof flag;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, admin.sandbox.RegistryRoot().c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        EXPECT_NE(RegQueryValueExA(key, "AllFlag", nullptr, nullptr, reinterpret_cast<BYTE*>(&flag), &size), ERROR_SUCCESS)
            << "nothing recorded an all-drivers change";
        RegCloseKey(key);
    }
}

TEST(ModeDialog, HelpOpensTheHelpFileAndEachControlsContext)
{
    Drivers drivers;
    AdminModule admin;
    HelpStandIn help(admin.sandbox.Handle());
    ASSERT_TRUE(help.hook.ok());
    admin.Run({Press(IDM_HELP), Inspect([](HWND dialog) {
                   HELPINFO info = {};
                   info.cbSize = sizeof info;
                   info.iContextType = HELPINFO_WINDOW;
                   info.iCtrlId = IDC_CHANGE;
                   info.hItemHandle = GetDlgItem(dialog, IDC_CHANGE);
                   SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
                   SendMessageA(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_MODE_HIDE)), 0);
               }),
               CloseByMenu()});
    ASSERT_EQ(HelpCalls.size(), 3u);
    EXPECT_EQ(HelpCalls[0].path, admin.sandbox.Directory() + "vtlogext.hlp");
    EXPECT_EQ(HelpCalls[0].command, 0x0000u);  // HH_DISPLAY_TOPIC
    EXPECT_EQ(HelpCalls[1].path, admin.sandbox.Directory() + "vtlogext.hlp>popup");
    EXPECT_EQ(HelpCalls[1].command, 0x000Fu);  // HH_HELP_CONTEXT
    EXPECT_EQ(HelpCalls[1].data, 10007u) << "Change";
    EXPECT_EQ(HelpCalls[2].data, 10004u) << "Hide";
}

// A default-mode installation that failed is due until it succeeds; each opening tries it again.
TEST(ModeDialog, OpeningRetriesADueDefaultInstallation)
{
    Drivers drivers;
    AdminModule admin("DefaultAllMode=1\r\nDefaultMode=3\r\n");
    WriteFileBytes(admin.sandbox.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");
    SetRegistryDword(admin.sandbox.RegistryRoot(), "DefaultMode", 1);
    admin.Run({Inspect([](HWND dialog) {
                   SelectDriver(dialog, "ZR Tab");
                   EXPECT_EQ(ShownMode(dialog), 3) << "the default mode reached every driver before the list was read";
               }),
               CloseByMenu()});
    HKEY key = nullptr;
    DWORD due = 1, size = sizeof due;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, admin.sandbox.RegistryRoot().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "DefaultMode", nullptr, nullptr, reinterpret_cast<BYTE*>(&due), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(due, 0u) << "the installation is no longer due";
}

// The command-line runner finds the entry point by its plain name and the dialog opens.
TEST(ModeDialog, OpensThroughRundll32)
{
    Drivers drivers;
    AdminModule admin;
    std::string command = "rundll32.exe \"" + admin.sandbox.Directory() + "zrlogext.dll\",ChangeJobAccountMode";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(StartProgram(nullptr, command, FALSE, nullptr, &startup, &process));
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        Sleep(50);
        window = FindWindowA("#32770", "Mode Admin");
    }
    ASSERT_NE(window, nullptr) << "the mode administration dialog opened";
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, process.dwProcessId);
    EXPECT_NE(GetDlgItem(window, IDC_DRIVER_COMBO), nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

namespace {


// A value of the module's own version resource, as the platform reads it.
std::string ModuleVersionString(const std::string& module, const char* name)
{
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeA(module.c_str(), &ignored));
    if (block.empty() || !GetFileVersionInfoA(module.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
        return "";
    DWORD* translation = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &bytes))
        return "";
    char query[64] = {};
    snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", static_cast<unsigned>(LOWORD(*translation)),
             static_cast<unsigned>(HIWORD(*translation)), name);
    char* value = nullptr;
    if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &bytes) || !value)
        return "";
    return value;
}

bool MenuChecked(HWND dialog, UINT id) { return (GetMenuState(GetMenu(dialog), id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

}  // namespace

// The string file's texts are shown as they stand, format directives included.
TEST(ModeMenu, VersionBoxShowsProductVersionAndCopyrightLines)
{
    Drivers drivers;
    struct Row {
        const char* name;
        std::string common;
        std::string added;      // expected after the version
        std::string copyright;  // expected lines; empty: the resource's LegalCopyright
    } rows[] = {
        {"added string and copyright", "VersionAddedString=SP1 %n%s\r\nCopyright=A/B/ C %x%n\r\n", "SP1 %n%s", "A\nB \nC %x%n"},
        {"from the resource", "", "", ""},
    };
    for (const Row& row : rows) {
        AdminModule admin(row.common);
        std::string module = admin.sandbox.Directory() + "zrlogext.dll";
        std::string copyright = row.copyright.empty() ? ModuleVersionString(module, "LegalCopyright") : row.copyright;
        ASSERT_FALSE(copyright.empty()) << row.name;
        std::vector<std::string> boxes;
        admin.Run({Press(IDM_VERSION), ExpectErrorBox(&boxes), CloseByMenu()});
        ASSERT_EQ(boxes.size(), 1u) << row.name;
        EXPECT_EQ(boxes[0], "Mode Admin Ver." + ModuleVersionString(module, "ProductVersion") + row.added + "\n" + copyright)
            << row.name;
    }
}

TEST(ModeMenu, FixedIDToggleSwitchesModeAndPropagates)
{
    Drivers drivers;
    AdminModule admin("FixedMode=1\r\n");
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\nJobAccountID=42\r\n");
    std::vector<std::string> seen;
    auto expect = [&](const char* mode, bool checked) {
        return Inspect([&files, mode, checked](HWND dialog) {
            EXPECT_EQ(ProfileValue(files.master, "JobAccount", "Mode"), mode);
            EXPECT_EQ(MenuChecked(dialog, IDM_ENABLE_FIXED_ID), checked) << "Mode " << mode;
            EXPECT_TRUE(files.Propagated()) << "Mode " << mode;
            EXPECT_EQ(ProfileValue(files.master, "JobAccount", "JobAccountID"), "42") << "the rest stays";
        });
    };
    admin.Run({Inspect([](HWND dialog) { EXPECT_FALSE(MenuChecked(dialog, IDM_ENABLE_FIXED_ID)); }),
               Press(IDM_ENABLE_FIXED_ID), expect("5", true), Press(IDM_ENABLE_FIXED_ID), expect("4", false),
               CloseByMenu()});

    // A master copy already in Mode 5 opens with the item checked.
    AdminModule again("FixedMode=1\r\n");
    WriteFileBytes(again.sandbox.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=5\r\n");
    again.Run({Inspect([](HWND dialog) { EXPECT_TRUE(MenuChecked(dialog, IDM_ENABLE_FIXED_ID)); }), CloseByMenu()});
}

// The fixed-ID commands that cannot write the master copy say so, with the file, and change
// nothing: the item keeps its check and nothing is propagated.
TEST(ModeMenu, FixedIDCommandsThatCannotWriteSaySoAndChangeNothing)
{
    Drivers drivers;
    AdminModule admin("FixedMode=1\r\n");
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\nJobAccountID=123\r\nUserID=Jo\r\n");
    const std::string before = ReadFileBytes(files.master);
    FileFailures failures(admin.sandbox.Handle());
    ASSERT_TRUE(failures.ok());
    failures.FailNewFiles(ERROR_DISK_FULL);
    std::vector<std::string> boxes;
    admin.Run({Press(IDM_ENABLE_FIXED_ID), ExpectErrorBox(&boxes),
               Inspect([](HWND dialog) { EXPECT_FALSE(MenuChecked(dialog, IDM_ENABLE_FIXED_ID)); }),
               Press(IDM_SETUP_FIXED_ID), SetText(IDC_ID_EDIT, "4567"), SetText(IDC_USER_EDIT, "Ann Lee"),
               Press(IDOK), ExpectErrorBox(&boxes), CloseByMenu()});
    ASSERT_EQ(boxes.size(), 2u);
    for (const std::string& box : boxes) {
        EXPECT_EQ(box.rfind("The printer settings file could not be written.", 0), 0u) << box;
        EXPECT_NE(box.find(files.master), std::string::npos) << box;
    }
    EXPECT_EQ(ReadFileBytes(files.master), before);
    EXPECT_FALSE(files.Propagated());
}

TEST(ModeMenu, SetupFixedIDStoresTheEntryAndPropagates)
{
    Drivers drivers;
    struct Row {
        const char* name;
        int button;
        std::string id, user;  // expected in the master copy afterwards
        bool propagated;
    } rows[] = {
        {"OK", IDOK, "4567", "Ann Lee", true},
        {"Cancel", IDCANCEL, "123", "Jo", false},
    };
    for (const Row& row : rows) {
        AdminModule admin("FixedMode=1\r\n");
        SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=5\r\nJobAccountID=123\r\nUserID=Jo\r\n");
        admin.Run({Press(IDM_SETUP_FIXED_ID), Inspect([&row](HWND entry) {
                       EXPECT_EQ(ItemText(entry, IDC_ID_EDIT), "123") << row.name << ": the stored ID is shown";
                       EXPECT_EQ(ItemText(entry, IDC_USER_EDIT), "Jo") << row.name;
                       EXPECT_EQ(GetDlgItem(entry, IDC_NAME_EDIT), nullptr) << row.name << ": template 101";
                       SetDlgItemTextA(entry, IDC_ID_EDIT, "4567");
                       SetDlgItemTextA(entry, IDC_USER_EDIT, "Ann Lee");
                   }),
                   Press(row.button), CloseByMenu()});
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "JobAccountID"), row.id) << row.name;
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "UserID"), row.user) << row.name;
        EXPECT_EQ(files.Propagated(), row.propagated) << row.name;
    }
}

namespace {



const char OtherClientFile[] = "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nalice=123\r\nbob=77,Bobby\r\n"
                               "carl=0\r\nd\"ave=5\r\n";
const std::vector<std::string> OtherClientRows = {"alice/alice/123", "bob/Bobby/77"};

}  // namespace

TEST(AnotherClientDialog, ShowsTheMasterCopysFolderAndModeAndCancelWritesNothing)
{
    Drivers drivers;
    AdminModule admin("AnotherClient=1\r\n");
    std::string other = TestFolder("other");
    WriteFileBytes(other + "\\vtjobac4.dat", OtherClientFile);
    struct Row {
        const char* name;
        const char* mode;
        bool checked;
        const char* notice;
    } rows[] = {{"Mode 6", "6", true, ""}, {"Mode 5", "5", false, "Elsewhere"}};
    for (const Row& row : rows) {
        SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=" + std::string(row.mode) + "\r\nPath=" + other + "\r\n");
        std::string before = ReadFileBytes(files.master);
        INT_PTR result = admin.Run({Press(IDM_ANOTHER_CLIENT), Inspect([&](HWND dialog) {
                                        char title[64] = {};
                                        GetWindowTextA(dialog, title, sizeof title);
                                        EXPECT_STREQ(title, "Other client") << row.name;
                                        EXPECT_FALSE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_CONTEXTHELP) << row.name;
                                        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_USE_ANOTHER_CLIENT) == BST_CHECKED,
                                                  row.checked) << row.name;
                                        EXPECT_EQ(ItemText(dialog, IDC_ANOTHER_MODE_NOTE), row.notice) << row.name;
                                        EXPECT_EQ(ItemText(dialog, IDC_PATH_TEXT), other) << row.name;
                                        EXPECT_EQ(ItemText(dialog, IDC_CHANGE), "Apply it") << row.name;
                                        EXPECT_EQ(ItemText(dialog, IDC_USE_ANOTHER_CLIENT),
                                                  "&Get Accounting Info. Another Client") << "a default";
                                        EXPECT_EQ(ItemText(dialog, IDC_EXPORT), "E&xport...");
                                        EXPECT_EQ(ShownRows(dialog), OtherClientRows) << row.name << ": refused entries are left out";
                                        HWND header = reinterpret_cast<HWND>(
                                            SendMessageA(GetDlgItem(dialog, IDC_ID_LIST), LVM_GETHEADER, 0, 0));
                                        EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 3) << row.name;
                                        LVCOLUMNA column = {};
                                        char caption[64] = {};
                                        column.mask = LVCF_FMT | LVCF_TEXT;
                                        column.pszText = caption;
                                        column.cchTextMax = sizeof caption;
                                        SendMessageA(GetDlgItem(dialog, IDC_ID_LIST), LVM_GETCOLUMNA, 2,
                                                     reinterpret_cast<LPARAM>(&column));
                                        EXPECT_STREQ(caption, "Account");
                                        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
                                    }),
                                    Press(IDCANCEL), CloseByMenu()});
        EXPECT_EQ(result, 1) << row.name;
        EXPECT_EQ(ReadFileBytes(files.master), before) << row.name;
        EXPECT_FALSE(files.Propagated()) << row.name << ": nothing to propagate after Cancel";
    }
}

TEST(AnotherClientDialog, ChangeRefusesAFolderWithoutSettingsAndOkPropagates)
{
    Drivers drivers;
    AdminModule admin("AnotherClient=1\r\n");
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=5\r\nJobAccountID=42\r\n");
    std::string empty = TestFolder("empty");
    std::string modeless = TestFolder("modeless");
    WriteFileBytes(modeless + "\\vtjobac4.dat", "[JobAccountID]\r\nalice=123\r\n");
    std::string other = TestFolder("other");
    WriteFileBytes(other + "\\vtjobac4.dat", OtherClientFile);

    FolderChoices choices(admin.sandbox.Handle(), {empty, modeless, other});
    std::vector<std::string> boxes;
    std::vector<Step> steps = {Press(IDM_ANOTHER_CLIENT)};
    for (const std::string& refused : {empty, modeless}) {
        steps.push_back(Press(IDC_CHANGE));
        steps.push_back(ExpectErrorBox(&boxes));
        steps.push_back(Inspect([refused](HWND dialog) {
            EXPECT_EQ(ItemText(dialog, IDC_PATH_TEXT), "") << refused << " is refused";
            EXPECT_TRUE(ShownRows(dialog).empty()) << refused;
        }));
    }
    steps.push_back(Press(IDC_CHANGE));
    steps.push_back(Inspect([&](HWND dialog) {
        EXPECT_EQ(ItemText(dialog, IDC_PATH_TEXT), other);
        EXPECT_EQ(ShownRows(dialog), OtherClientRows);
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "Path"), "") << "nothing is written before OK";
        CheckDlgButton(dialog, IDC_USE_ANOTHER_CLIENT, BST_CHECKED);
    }));
    steps.push_back(Press(IDOK));
    steps.push_back(Inspect([&](HWND dialog) {
        EXPECT_NE(GetDlgItem(dialog, IDC_DRIVER_COMBO), nullptr) << "back in the mode administration dialog";
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "Path"), other);
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "Mode"), "6");
        EXPECT_EQ(ProfileValue(files.master, "JobAccount", "JobAccountID"), "42") << "the rest stays";
        EXPECT_TRUE(files.Propagated());
    }));
    steps.push_back(CloseByMenu());
    admin.Run(steps);
    EXPECT_EQ(boxes, (std::vector<std::string>{"No settings there", "No settings there"}));
}

TEST(AnotherClientDialog, ExportPointsAChosenFolderAtThePathShown)
{
    Drivers drivers;
    AdminModule admin("AnotherClient=1\r\n");
    std::string other = TestFolder("other");
    WriteFileBytes(other + "\\vtjobac4.dat", OtherClientFile);
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\nPath=" + other + "\r\n");
    std::string before = ReadFileBytes(files.master);
    std::string target = TestFolder("export");
    std::string exported = target + "\\vtjobac4.dat";
    WriteFileBytes(exported, "[Keep]\r\nx=1\r\n");

    FolderChoices choices(admin.sandbox.Handle(), {target});
    std::vector<std::string> boxes;
    admin.Run({Press(IDM_ANOTHER_CLIENT), Press(IDC_EXPORT), ExpectErrorBox(&boxes), Press(IDCANCEL), CloseByMenu()});

    EXPECT_EQ(boxes, std::vector<std::string>{"Export complete."});
    char documents[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE));
    EXPECT_EQ(choices.Starts(), std::vector<std::string>{documents}) << "the browser starts at the documents folder";
    EXPECT_EQ(ProfileValue(exported, "JobAccount", "Path"), other);
    EXPECT_EQ(ProfileValue(exported, "JobAccount", "Mode"), "6") << "whatever the check box shows";
    EXPECT_EQ(ProfileValue(exported, "Keep", "x"), "1") << "the rest of the file stays";
    EXPECT_EQ(ReadFileBytes(files.master), before) << "the master copy is not changed";
}

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM texts)
{
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(text);
    return TRUE;
}

std::vector<std::string> ChildTexts(HWND window)
{
    std::vector<std::string> texts;
    EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

}  // namespace

// The system's browser opens with the module's instruction and a cancel leaves the folder given
// (or the documents folder for none). Where it starts and what a choice gives are seen through the
// browser's stand-in: Wine's browser, loaded, does not always reach the folder it is sent to.
TEST(BrowseForFolder, StartsAtTheFolderGivenOrTheDocumentsFolder)
{
    ModuleSandbox sandbox;
    char documents[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE));
    const std::string start = TestFolder("start");
    const std::string chosen = TestFolder("chosen");
    struct Row {
        const char* name;
        std::string given;
        std::string start;
    } rows[] = {
        {"no folder given", "", documents},
        {"a folder given", start, start},
    };
    for (const Row& row : rows) {
        char path[PathChars] = {};
        CopyCut(path, row.given.c_str());
        std::vector<std::string> texts;
        INT_PTR result = RunScript([&path]() { return BrowseForFolder(nullptr, path); },
                                   {Inspect([&texts](HWND browser) { texts = ChildTexts(browser); }), Press(IDCANCEL)});
        EXPECT_EQ(result, 0) << row.name;
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Select a folder."), texts.end()) << row.name;
        EXPECT_EQ(std::string(path), row.start) << row.name;

        CopyCut(path, row.given.c_str());
        FolderChoices choices(nullptr, {chosen, ""});
        EXPECT_EQ(BrowseForFolder(nullptr, path), 1) << row.name;
        EXPECT_EQ(std::string(path), chosen) << row.name;
        EXPECT_EQ(BrowseForFolder(nullptr, path), 0) << row.name << ", cancelled";
        EXPECT_EQ(std::string(path), chosen) << row.name << ", cancelled";
        EXPECT_EQ(choices.Starts(), (std::vector<std::string>{row.start, chosen})) << row.name;
    }
}

// The direction turns before every sort, whichever column; IDs sort by value, names by their bytes.
TEST(AnotherClientDialog, ColumnClicksSortInTurnsThatTheNextDialogContinues)
{
    Drivers drivers;
    AdminModule admin("AnotherClient=1\r\n");
    std::string other = TestFolder("other");
    WriteFileBytes(other + "\\vtjobac4.dat",
                   "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nbob=77\r\nCarl=1000\r\nalice=123\r\n");
    SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=6\r\nPath=" + other + "\r\n");
    std::vector<std::vector<std::string>> orders;
    auto click = [&orders](int column) {
        return Inspect([&orders, column](HWND dialog) {
            ClickColumn(dialog, column);
            orders.push_back(ShownRows(dialog));
        });
    };
    admin.Run({Press(IDM_ANOTHER_CLIENT), click(2), click(0), click(0), Press(IDCANCEL),
               Press(IDM_ANOTHER_CLIENT), click(2), Press(IDCANCEL), CloseByMenu()});
    const std::vector<std::vector<std::string>> expected = {
        {"Carl/Carl/1000", "alice/alice/123", "bob/bob/77"},  // first click after load: descending, by value
        {"Carl/Carl/1000", "alice/alice/123", "bob/bob/77"},  // ascending, by bytes: "C" before "a"
        {"bob/bob/77", "alice/alice/123", "Carl/Carl/1000"},  // descending
        {"bob/bob/77", "alice/alice/123", "Carl/Carl/1000"},  // the next dialog goes on: ascending
    };
    EXPECT_EQ(orders, expected);
}

TEST(ModeMenu, ImportReportsRefusedLinesOnceAndPropagatesTheMasterCopy)
{
    Drivers drivers;
    AdminModule admin("[string]\r\nErrorMessage2=Refused %n lines\r\n");
    struct Row {
        const char* name;
        std::string idFile;
        std::vector<std::string> boxes;
    } rows[] = {
        {"a refused line", "alice,123\r\nbad name=x,5\r\nbob,77,Bobby\r\n", {"Refused %n lines"}},
        {"every line accepted", "alice,123\r\nbob,77,Bobby\r\n", {}},
    };
    for (const Row& row : rows) {
        SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\ncarol=9\r\n");
        std::string idFile = TestFolder("ids") + "\\ids.csv";
        WriteFileBytes(idFile, row.idFile);
        std::vector<std::string> boxes;
        std::vector<Step> steps = {Press(IDM_IMPORT)};
        for (Step& step : ChooseFile(idFile))
            steps.push_back(step);
        if (!row.boxes.empty())
            steps.push_back(ExpectErrorBox(&boxes));
        steps.push_back(CloseByMenu());
        admin.Run(steps);
        EXPECT_EQ(boxes, row.boxes) << row.name;
        EXPECT_EQ(ProfileValue(files.master, "JobAccountID", "alice"), "123") << row.name;
        EXPECT_EQ(ProfileValue(files.master, "JobAccountID", "bob"), "77,Bobby") << row.name;
        EXPECT_EQ(ProfileValue(files.master, "JobAccountID", "carol"), "9") << row.name << ": nothing is deleted";
        EXPECT_TRUE(files.Propagated()) << row.name;
    }
}

namespace {

// What the mode administration dialog shows that the string file can change: title, control
// texts, driver names, and every menu item with its text.
std::vector<std::string> ShownTexts(HWND dialog)
{
    char title[256] = {};
    GetWindowTextA(dialog, title, sizeof title);
    std::vector<std::string> shown = {title};
    for (int id : {IDC_DRIVER_LABEL, IDC_GROUP, IDC_MODE_TAB, IDC_MODE_POPUP, IDC_MODE_HIDE, IDC_MODE_NONE, IDC_CHANGE,
                   IDC_ALL_DRIVERS})
        shown.push_back(std::to_string(id) + (GetDlgItem(dialog, id) ? " " + ItemText(dialog, id) : " absent"));
    HWND combo = GetDlgItem(dialog, IDC_DRIVER_COMBO);
    for (LRESULT item = 0; item < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++item) {
        char name[256] = {};
        SendMessageA(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(name));
        shown.push_back(name);
    }
    HMENU bar = GetMenu(dialog);
    for (int menu = 0; menu < GetMenuItemCount(bar); ++menu) {
        shown.push_back(MenuText(bar, menu, MF_BYPOSITION));
        HMENU items = GetSubMenu(bar, menu);
        for (int item = 0; item < GetMenuItemCount(items); ++item)
            shown.push_back(std::to_string(GetMenuItemID(items, item)) + " " + MenuText(items, item, MF_BYPOSITION));
    }
    return shown;
}

// The settings taken from the string file at load, the module's own folder left out.
std::string SettingsReadAtLoad(const ModuleState& state)
{
    const char* helpFile = strrchr(state.HelpFilePath, '\\');
    return std::string(state.RegistryRoot) + " | " + (helpFile ? helpFile : "") + " | " + state.DatFile1 + " | " +
           state.DatFile2 + " | " + state.DatFile4 + " | " + state.AccountFile + " | " + state.MfHeader + " | " +
           state.AppName;
}

}  // namespace

// The sample string file for translators holds the built-in texts and settings: the module shows
// the sample's values, and shows and offers the same with it as without a string file.
// An import that cannot go ahead says why, naming the file: an ID file refused whole, or a master
// copy that cannot be written. The master copy is as it was and nothing is propagated.
TEST(ModeMenu, ImportThatCannotGoAheadSaysWhy)
{
    Drivers drivers;
    AdminModule admin;
    struct Row {
        const char* name;
        std::string idFile;
        bool unwritable;
        const char* message;
        bool namesMaster;
    } rows[] = {
        {"a UTF-16 file", std::string("\xFF\xFE" "b\0,\0" "7\0", 8), false, "UTF-16", false},
        {"a master copy that cannot be written", "bob,7\r\n", true,
         "The printer settings file could not be written.", true},
    };
    for (const Row& row : rows) {
        SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\ncarol=9\r\n");
        const std::string before = ReadFileBytes(files.master);
        const std::string idFile = TestFolder("ids") + "\\ids.csv";
        WriteFileBytes(idFile, row.idFile);
        FileFailures failures(admin.sandbox.Handle());
        ASSERT_TRUE(failures.ok());
        if (row.unwritable)
            failures.FailNewFiles(ERROR_DISK_FULL);
        std::vector<std::string> boxes;
        std::vector<Step> steps = {Press(IDM_IMPORT)};
        for (Step& step : ChooseFile(idFile))
            steps.push_back(step);
        steps.push_back(ExpectErrorBox(&boxes));
        steps.push_back(CloseByMenu());
        admin.Run(steps);
        ASSERT_EQ(boxes.size(), 1u) << row.name;
        EXPECT_NE(boxes[0].find(row.message), std::string::npos) << row.name << ": " << boxes[0];
        EXPECT_NE(boxes[0].find(row.namesMaster ? files.master : idFile), std::string::npos) << row.name;
        EXPECT_EQ(ReadFileBytes(files.master), before) << row.name;
        EXPECT_FALSE(files.Propagated()) << row.name;
    }
}

TEST(StringFileSample, ShowsItsValuesAndChangesNothing)
{
    Drivers drivers;
    const std::string samplePath = ProgramDirectory() + "sample-zrjobacs.str";
    const std::string sample = ReadFileBytes(samplePath);
    ASSERT_NE(sample.find("[string]"), std::string::npos) << samplePath;
    std::vector<std::string> shown[2];
    ModuleState state[2] = {};
    for (int withSample = 0; withSample < 2; ++withSample) {
        ModuleSandbox::Options options;
        options.addRegRoot = false;  // the sample names the built-in key, as no string file does
        options.stringFile = withSample ? sample : "";
        options.directoryTag = withSample ? "sample" : "none";
        ModuleSandbox sandbox(options);
        state[withSample] = Module;
        auto open = reinterpret_cast<EntryFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(sandbox.Handle(), "ChangeJobAccountMode")));
        ASSERT_NE(open, nullptr);
        char none[] = "";
        RunScript([&]() { return open(nullptr, nullptr, none, SW_SHOW); },
                  {Inspect([&](HWND dialog) { shown[withSample] = ShownTexts(dialog); }), CloseByMenu()});
    }
    ASSERT_GT(shown[1].size(), 10u);
    EXPECT_EQ(shown[1][0], ProfileValue(samplePath, "string", "AppName"));
    const std::string hideMenu = ProfileValue(samplePath, "string", "HideMode");
    EXPECT_NE(std::find(shown[1].begin(), shown[1].end(), hideMenu), shown[1].end()) << hideMenu;
    EXPECT_EQ(shown[1], shown[0]);

    EXPECT_STREQ(strrchr(state[1].StringFilePath, '\\'), "\\zrjobacs.str");
    EXPECT_EQ(SettingsReadAtLoad(state[1]), SettingsReadAtLoad(state[0]));
}
