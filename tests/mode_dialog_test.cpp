// The mode administration dialog, opened through the module's exports and driven as an
// administrator would under a real window station (Xvfb).
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "help_standin.h"
#include "iat_hook.h"
#include "res/resource.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

const char Cap[] = "TVADMIN1.CAP";

// "ZR Tab" allows dialogs on Windows 6.0 and later (flag bit 0); the others do not.
std::string Capabilities()
{
    return "[Capability]\r\nZR Tab=Allow\r\nZR Popup=Deny\r\nZR Hide=Deny\r\n"
           "[Allow]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n[Deny]\r\nJobAccount=1\r\n";
}

DriverSpec Supporting(const std::string& name, const char* dataFile)
{
    return DriverSpec{name, {Cap, dataFile}, {{Cap, Capabilities()}}};
}

// Three drivers, one in each mode that the dialog shows with its own radio.
struct Drivers {
    InstalledDriver tab{Supporting("ZR Tab", "vtjobac1.dat")};
    InstalledDriver popup{Supporting("ZR Popup", "vtjobac2.dat")};
    InstalledDriver hide{Supporting("ZR Hide", "vtjobac4.dat")};
};

using EntryFn = INT_PTR(WINAPI*)(HWND, HINSTANCE, LPSTR, int);

const char Captions[] = "[string]\r\nAppName=Mode Admin\r\nDriver=Printer driver\r\nTab=Tab mode\r\n"
                        "Popup=Popup mode\r\nHide=Hide mode\r\nNoSupport=No support\r\nChange=Apply it\r\n"
                        "File=Datei\r\nHideMode=Versteckt\r\nHelp=Hilfe\r\nAllMode=Every driver\r\n"
                        "SuccessMessage=Done it\r\nNoAdministrator=Admins only\r\n"
                        "FailuredMessage=Try again later\r\nSharedPrinterMessage=Shared, go on?\r\n";

// A sandboxed module whose string file holds the captions above and the given "common" lines.
struct AdminModule {
    ModuleSandbox sandbox;
    EntryFn open = nullptr;

    explicit AdminModule(const std::string& common = "")
        : sandbox(ModuleSandbox::WithStringFile(common + Captions))
    {
        open = reinterpret_cast<EntryFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(sandbox.Handle(), "ChangeJobAccountMode")));
        EXPECT_NE(open, nullptr);
    }
    INT_PTR Run(std::vector<Step> steps, bool* stuck = nullptr)
    {
        char none[] = "";
        return RunScript([this, &none]() { return open(nullptr, nullptr, none, SW_SHOW); }, std::move(steps), stuck);
    }
};

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

Step CloseByMenu() { return Press(IDOK); }

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
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
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
