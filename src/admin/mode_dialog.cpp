// The mode administration dialog: a driver (or all of them) and the job accounting mode to give it.
#include "admin/mode_dialog.h"

#include <winspool.h>

#include <cstring>
#include <vector>

#include "admin/apply_mode.h"
#include "admin/mode_exports.h"
#include "admin/mode_menu.h"
#include "dialogs/dialog_helpers.h"
#include "settings/message_box.h"
#include "idlist/driver_list.h"
#include "res/resource.h"
#include "capability/driver_capability.h"
#include "settings/export_barrier.h"
#include "settings/file_handle.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/registry.h"
#include "settings/text.h"

namespace {

const HelpContextRow ModeHelp[] = {
    {IDC_DRIVER_LABEL, 10000}, {IDC_DRIVER_COMBO, 10000}, {IDC_GROUP, 10001}, {IDC_MODE_TAB, 10002},
    {IDC_MODE_POPUP, 10003}, {IDC_MODE_HIDE, 10004}, {IDC_MODE_NONE, 10005}, {IDM_IMPORT, 10006},
    {IDC_CHANGE, 10007}, {IDOK, 10008}, {IDC_ALL_DRIVERS, 10009}, {0, 0},
};

// One mode administration dialog exists at a time; its state is the process's.
struct ModeDialogState {
    HMENU Menu = nullptr;
    HWND Combo = nullptr;
    DriverList Drivers = {};
    bool NT = false;
    bool PopupRestricted = false;
};
ModeDialogState State;

// Taken once per process, at the procedure's first message.
bool VistaFlag = false;
bool VistaFlagTaken = false;

bool AllModeOffered() { return ReadCommonNumber("AllMode", 0) != 0; }

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void ShowMessage(HWND owner, const char* text, UINT type = MB_OK) { ShowModuleMessage(owner, text, type); }

void ShowStringMessage(HWND owner, const char* key, const char* fallback)
{
    char text[DialogTextChars] = {};
    ReadDialogText(key, fallback, text);
    ShowMessage(owner, text);
}

// The system's text for `code`, a line feed and "FailuredMessage", within 256 bytes.
void ShowFailure(HWND dialog, DWORD code)
{
    char text[DialogTextChars] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    text[sizeof text - 1] = '\0';
    AppendCut(text, "\n");
    char advice[DialogTextChars] = {};
    ReadDialogText("FailuredMessage", "Please perform again after system re-starting.", advice);
    AppendCut(text, advice);
    ShowMessage(dialog, text);
}

void CloseDialog(HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); }

void SetMenuText(HMENU menu, UINT item, BOOL byPosition, const char* key, const char* fallback)
{
    char text[DialogTextChars] = {};
    ReadDialogText(key, fallback, text);
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_TYPE;
    info.fType = MFT_STRING;
    info.dwTypeData = text;
    SetMenuItemInfoA(menu, item, byPosition, &info);
}

// An optional menu item: captioned when its "common" switch is on, else removed.
void OfferMenuItem(HMENU menu, const char* setting, UINT id, const char* key, const char* fallback)
{
    if (ReadCommonNumber(setting, 0) != 0)
        SetMenuText(menu, id, FALSE, key, fallback);
    else
        DeleteMenu(menu, id, MF_BYCOMMAND);
}

void SetUpMenu(HWND dialog)
{
    State.Menu = LoadMenuA(Module.ModuleInstance, MAKEINTRESOURCEA(IDM_ADMINISTRATION));
    if (!State.Menu)
        return;
    SetMenu(dialog, State.Menu);
    HMENU menu = State.Menu;
    SetMenuText(menu, 0, TRUE, "File", "&File");
    SetMenuText(menu, IDOK, FALSE, "Close", "&Close");
    SetMenuText(menu, 1, TRUE, "HideMode", "&Hide Mode");
    SetMenuText(menu, IDM_IMPORT, FALSE, "Import", "&Import ID File...");
    OfferMenuItem(menu, "AnotherClient", IDM_ANOTHER_CLIENT, "SetupAnotherClient", "&Set up Another Client Path...");
    OfferMenuItem(menu, "DisplayRegisteredID", IDM_REGISTERED_ID, "DisplayRegisteredID",
                  "&Display Registered Job Account ID...");
    if (ReadCommonNumber("FixedMode", 0) != 0) {
        SetMenuText(menu, IDM_SETUP_FIXED_ID, FALSE, "SetupFixedID", "Setup &Fixed Job Account ID...");
        SetMenuText(menu, IDM_ENABLE_FIXED_ID, FALSE, "EnableFixedMode", "Enable &Fixed Job Account ID...");
        char master[PathChars] = {};
        MasterSettingsPath(master);
        bool fixed = master[0] && ReadProfileNumber(master, "JobAccount", "Mode", 4) == 5;
        CheckMenuItem(menu, IDM_ENABLE_FIXED_ID, MF_BYCOMMAND | (fixed ? MF_CHECKED : MF_UNCHECKED));
    } else {
        DeleteMenu(menu, IDM_SETUP_FIXED_ID, MF_BYCOMMAND);
        DeleteMenu(menu, IDM_ENABLE_FIXED_ID, MF_BYCOMMAND);
    }
    OfferMenuItem(menu, "SelectFixedMode", IDM_SELECT_FIXED_ID, "SelectFixedID", "Select &Fixed Job Account ID...");
}

void SetUpCaptions(HWND dialog)
{
    SetWindowTextA(dialog, Module.AppName);
    SetItemTextFromStrings(dialog, IDC_DRIVER_LABEL, "Driver", "&Driver");
    SetItemTextFromStrings(dialog, IDC_GROUP, "JobAccountMode", "Job Accounting Mode");
    SetItemTextFromStrings(dialog, IDC_MODE_TAB, "Tab", "&Tab");
    SetItemTextFromStrings(dialog, IDC_MODE_POPUP, "Popup", "&Popup");
    SetItemTextFromStrings(dialog, IDC_MODE_HIDE, "Hide", "&Hide");
    SetItemTextFromStrings(dialog, IDC_MODE_NONE, "NoSupport", "&No Support");
    SetItemTextFromStrings(dialog, IDC_CHANGE, "Change", "&Change");
}

// Shared: the system keeps one copy of the icon, so opening the dialog again and again does not
// leave an icon behind each time.
void SetSmallIcon(HWND dialog)
{
    HANDLE icon = LoadImageA(Module.ModuleInstance, MAKEINTRESOURCEA(IDI_MODULE), IMAGE_ICON,
                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    if (icon)
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void CentreOnDesktop(HWND dialog)
{
    RECT desktop = {}, window = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int desktopWidth = desktop.right - desktop.left;
    int desktopHeight = desktop.bottom - desktop.top;
    SetWindowPos(dialog, nullptr, desktopWidth / 2 - width / 2, desktopHeight / 2 - height / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DisableForNoChange(HWND dialog)
{
    for (int id : {IDC_ALL_DRIVERS, IDC_DRIVER_COMBO, IDC_MODE_TAB, IDC_MODE_POPUP, IDC_MODE_HIDE, IDC_MODE_NONE,
                   IDC_CHANGE})
        if (HWND control = GetDlgItem(dialog, id))
            EnableWindow(control, FALSE);
    if (State.Menu) {
        EnableMenuItem(State.Menu, 1, MF_BYPOSITION | MF_DISABLED | MF_GRAYED);
        DrawMenuBar(dialog);
    }
}

void SendComboChange(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVER_COMBO, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(State.Combo));
}

INT_PTR OnInitDialog(HWND dialog)
{
    State = ModeDialogState{};
    State.NT = IsNTPlatform();
    if (State.NT && !IsAdministrator()) {
        ShowStringMessage(dialog, "NoAdministrator", "Administrator authority is required to change the mode.");
        CloseDialog(dialog);
        return FALSE;
    }
    // A default-mode installation that failed before is tried again.
    if (ReadRegistryDword("DefaultMode", 0) != 0)
        DefaultSetJobAccountMode();

    SetSmallIcon(dialog);
    SetUpMenu(dialog);
    State.Combo = GetDlgItem(dialog, IDC_DRIVER_COMBO);
    HFONT font = CreateDialogFont(dialog, Module.StringFilePath);
    KeepDialogFont(dialog, font);
    ApplyDialogFont(dialog, font);
    SetUpCaptions(dialog);

    DWORD allFlag = 0;
    if (AllModeOffered()) {
        SetItemTextFromStrings(dialog, IDC_ALL_DRIVERS, "AllMode", "&All drivers are set as the same mode.");
        allFlag = ReadRegistryDword("AllFlag", 0);
        CheckDlgButton(dialog, IDC_ALL_DRIVERS, allFlag ? BST_CHECKED : BST_UNCHECKED);
    }
    if (State.Menu) {
        SetMenuText(State.Menu, 2, TRUE, "Help", "&Help");
        SetMenuText(State.Menu, IDM_HELP, FALSE, "Help", "&Help");
        SetMenuText(State.Menu, IDM_VERSION, FALSE, "Version", "&Version");
    }
    State.PopupRestricted = VistaFlag && ReadCommonNumber("VistaPopupDisabled", 1) != 0;
    DrawMenuBar(dialog);

    if (!BuildDriverList(State.Combo, &State.Drivers))
        CloseDialog(dialog);
    SendMessageA(State.Combo, CB_SETCURSEL, 0, 0);
    if (allFlag)
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ALL_DRIVERS, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ALL_DRIVERS)));
    else
        SendComboChange(dialog);
    CentreOnDesktop(dialog);
    if (ReadCommonNumber("NoChange", 0) != 0)
        DisableForNoChange(dialog);
    return FALSE;
}

void OnDriverSelected(HWND dialog)
{
    LRESULT index = SendMessageA(State.Combo, CB_GETITEMDATA, SendMessageA(State.Combo, CB_GETCURSEL, 0, 0), 0);
    if (index == CB_ERR || !State.Drivers.Modes || !State.Drivers.DriverFlags ||
        !DriverEntry(State.Drivers, static_cast<DWORD>(index)))
        return;
    CheckModeRadio(dialog, State.Drivers.Modes[index]);
    if (VistaFlag) {
        bool allowed = !State.PopupRestricted || (State.Drivers.DriverFlags[index] & 1);
        EnableWindow(GetDlgItem(dialog, IDC_MODE_POPUP), allowed);
    }
}

void OnAllDriversClicked(HWND dialog)
{
    if (!IsChecked(dialog, IDC_ALL_DRIVERS)) {
        EnableWindow(State.Combo, TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_DRIVER_LABEL), TRUE);
        SendComboChange(dialog);
        return;
    }
    EnableWindow(State.Combo, FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_DRIVER_LABEL), FALSE);
    if (State.PopupRestricted)
        EnableWindow(GetDlgItem(dialog, IDC_MODE_POPUP), FALSE);
    CheckModeRadio(dialog, ReadRegistryDword("AllMode", 0));
}

DWORD ModeFromRadios(HWND dialog)
{
    const struct {
        int id;
        DWORD mode;
    } radios[] = {{IDC_MODE_NONE, ModeNoSupport}, {IDC_MODE_TAB, ModeTab}, {IDC_MODE_POPUP, ModePopup},
                  {IDC_MODE_HIDE, ModeHide}};
    for (const auto& radio : radios)
        if (IsChecked(dialog, radio.id))
            return radio.mode;
    return ModeNoSupport;
}

void OnChange(HWND dialog)
{
    const bool allDrivers = AllModeOffered() && IsChecked(dialog, IDC_ALL_DRIVERS);
    char selected[DialogTextChars] = {};
    int target = AllDrivers;
    if (allDrivers) {
        char question[DialogTextChars] = {};
        ReadDialogText("SharedPrinterMessage",
                       "This setup does not become effective at the client side of a shared printer. Do you "
                       "want to continue?",
                       question);
        // A question nobody could answer is no yes.
        if (AnySharedPrinter() && ShowModuleMessage(dialog, question, MB_YESNO) != IDYES)
            return;
    } else {
        LRESULT item = SendMessageA(State.Combo, CB_GETCURSEL, 0, 0);
        if (item != CB_ERR && SendMessageA(State.Combo, CB_GETLBTEXTLEN, item, 0) < DialogTextChars)
            SendMessageA(State.Combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(selected));
        SetLastError(0);
        LRESULT index = SendMessageA(State.Combo, CB_GETITEMDATA, item, 0);
        if (index == CB_ERR) {
            DWORD error = GetLastError();
            if (error != 0)
                ShowFailure(dialog, error);
            else
                ShowStringMessage(dialog, "SuccessMessage", "Success");
            return;
        }
        target = static_cast<int>(index);
    }

    DWORD result = ApplyJobAccountMode(&State.Drivers, target, ModeFromRadios(dialog));
    if (result != 0) {
        ShowFailure(dialog, result);
        return;
    }
    ReleaseDriverList(&State.Drivers);
    // A build that fails part-way leaves the combo box's items as they were, naming entries of a
    // list that is gone: none is offered until the dialog is opened again.
    if (!BuildDriverList(State.Combo, &State.Drivers)) {
        ReleaseDriverList(&State.Drivers);
        SendMessageA(State.Combo, CB_RESETCONTENT, 0, 0);
    }
    LRESULT item = allDrivers ? 0 : SendMessageA(State.Combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                 reinterpret_cast<LPARAM>(selected));
    SendMessageA(State.Combo, CB_SETCURSEL, item, 0);
    ShowStringMessage(dialog, "SuccessMessage", "Success");
}

void OnClose(HWND dialog)
{
    ReleaseDriverList(&State.Drivers);
    DeleteDialogFont(dialog);
    EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_DRIVER_COMBO:
        if (HIWORD(wParam) == CBN_SELCHANGE)
            OnDriverSelected(dialog);
        break;
    case IDC_ALL_DRIVERS:
        if (HIWORD(wParam) == BN_CLICKED)
            OnAllDriversClicked(dialog);
        break;
    case IDC_CHANGE:
        OnChange(dialog);
        break;
    case IDOK:
        OnClose(dialog);
        break;
    default:
        // Escape (IDCANCEL) is no menu command: the dialog closes only through Close.
        RunModeMenuCommand(dialog, LOWORD(wParam), &State.Drivers);
        break;
    }
}

}  // namespace

void CheckModeRadio(HWND dialog, DWORD mode)
{
    int id = mode == ModeTab ? IDC_MODE_TAB : mode == ModePopup ? IDC_MODE_POPUP : mode == ModeHide ? IDC_MODE_HIDE
                                                                                                    : IDC_MODE_NONE;
    CheckRadioButton(dialog, IDC_MODE_TAB, IDC_MODE_NONE, id);
}

int IsAdministrator()
{
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive()))
        return 0;
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    if (size < sizeof(TOKEN_GROUPS))
        return 0;
    std::vector<BYTE> block(size, 0);
    if (!GetTokenInformation(token.get(), TokenGroups, block.data(), size, &size))
        return 0;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return 0;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(block.data());
    int found = 0;
    for (DWORD i = 0; i < groups->GroupCount && !found; ++i)
        found = EqualSid(groups->Groups[i].Sid, administrators) ? 1 : 0;
    FreeSid(administrators);
    return found;
}

int AnySharedPrinter()
{
    DWORD needed = 0, returned = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_SHARED, nullptr, 1, nullptr, 0, &needed, &returned);
    return needed != 0 ? 1 : 0;
}

namespace {

void HandleModeDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!VistaFlagTaken) {
        VistaFlag = IsVistaOrLater();
        VistaFlagTaken = true;
    }
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        break;
    case WM_COMMAND:
        OnCommand(dialog, wParam);
        break;
    case WM_CLOSE:
        CloseDialog(dialog);
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        HandleHelpMessage(message, wParam, lParam, ModeHelp);
        break;
    case WM_DESTROY:
        if (State.Menu) {
            SetMenu(dialog, nullptr);
            DestroyMenu(State.Menu);
            State.Menu = nullptr;
        }
        // Whichever way the dialog went, its font and driver list go with it.
        DeleteDialogFont(dialog);
        ReleaseDriverList(&State.Drivers);
        break;
    default:
        break;
    }
}

}  // namespace

extern "C" INT_PTR CALLBACK ChangeJobAccountModeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Exported, so that a caller may run the dialog itself: the settings come first.
    if (!EnsureModuleSettings())
        return FALSE;
    return DialogMessageOrFail(dialog, message, [&] {
        HandleModeDialogMessage(dialog, message, wParam, lParam);
        return INT_PTR{FALSE};
    });
}

extern "C" INT_PTR WINAPI ChangeJobAccountMode(HWND /*window*/, HINSTANCE /*instance*/, LPSTR /*commandLine*/,
                                              int /*show*/)
{
    return ExportAnswer(INT_PTR{-1}, [] {
        if (!WindowsCanBeAnswered())
            return INT_PTR{-1};
        int templateId = AllModeOffered() ? IDD_CHANGE_MODE_ALL : IDD_CHANGE_MODE;
        return DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(templateId), nullptr,
                               ChangeJobAccountModeDialogProc, 0);
    });
}
