// The "Job Account" property page (template 100) and the job account popup (template 101).
#include <windows.h>
#include <prsht.h>

#include <cstring>

#include "dialogs/dialog_helpers.h"
#include "dialogs/entry_dialogs.h"
#include "res/resource.h"
#include "settings/account_file.h"
#include "settings/job_account_info.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/text.h"

namespace {

const HelpContextRow JobAccountHelp[] = {
    {IDC_GROUP, 10100}, {IDC_USER_LABEL, 10102}, {IDC_USER_EDIT, 10102}, {IDC_ID_LABEL, 10101},
    {IDC_ID_EDIT, 10101}, {IDC_COLOR_SWITCH, 10407}, {IDOK, 10203}, {IDCANCEL, 10204}, {0, 0},
};

enum : size_t { UserLimit = 80, IDLimit = 9 };

int PopupAttention = 0;

JobAccountInfo* RecordOf(HWND dialog)
{
    auto* page = reinterpret_cast<const PROPSHEETPAGEA*>(GetWindowLongPtrA(dialog, DWLP_USER));
    return page ? reinterpret_cast<JobAccountInfo*>(page->lParam) : nullptr;
}

bool IsPopup(const JobAccountInfo* info)
{
    return (info->Flags & JAF_POPUP) != 0;
}

const char* AccountSection(const JobAccountInfo* info)
{
    return (info->Flags & JAF_ALL_PRINTER) ? "AllPrinter" : info->PrinterName;
}

bool WriteAccountValue(const JobAccountInfo* info, const char* key, const char* value)
{
    return WriteAccountFileValue(info->AccountFilePath, AccountSection(info), key, value);
}

// A save that did not reach the file must not pass for done: the next jobs would still carry the
// old entries. The path goes into the box as text, never as a format.
void ShowAccountFileError(HWND dialog, const JobAccountInfo* info)
{
    char message[DialogTextChars + PathChars + 2] = {};
    ReadDialogText("AccountFileError", "The job account could not be saved to this file:", message,
                   DialogTextChars);
    AppendCut(message, "\n");
    AppendCut(message, info->AccountFilePath ? info->AccountFilePath : "");
    MessageBoxA(dialog, message, Module.AppName, MB_OK | MB_ICONERROR);
}

// The popup's owner is whatever window the printing application had active; only a property
// sheet understands PSM_CHANGED, so the popup tells nobody.
void NotifyChange(HWND dialog, const JobAccountInfo* info)
{
    if (!IsPopup(info))
        SendMessageA(GetParent(dialog), PSM_CHANGED, reinterpret_cast<WPARAM>(dialog), 0);
}

void LayOut(HWND dialog, JobAccountInfo* info, HFONT font)
{
    int width = 0, height = 0;
    if (IsPopup(info)) {
        RECT client = {};
        GetClientRect(dialog, &client);
        width = client.right;
        height = client.bottom;
        SetWindowTextA(dialog, info->TabTitle ? info->TabTitle : "");
    } else {
        // The page fills the sheet's client area from its own corner to the sheet's lower right.
        HWND sheet = GetParent(dialog);
        RECT client = {}, page = {};
        GetClientRect(sheet, &client);
        GetWindowRect(dialog, &page);
        MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&page), 2);
        MoveWindow(dialog, page.left, page.top, client.right - page.left, client.bottom - page.top, FALSE);
        width = client.right - page.left;
        height = client.bottom;
    }

    DialogLayout layout(dialog, font, width, height);
    char text[DialogTextChars] = {};
    layout.GroupStart();
    ReadDialogText("UserID", "User Name", text);
    layout.Label(IDC_USER_LABEL, text);
    layout.Edit(IDC_USER_EDIT);
    if (info->Flags & JAF_CERT_USER)
        EnableWindow(GetDlgItem(dialog, IDC_USER_EDIT), FALSE);
    ReadDialogText("JobAccountID", "Job Account ID", text);
    layout.Label(IDC_ID_LABEL, text);
    layout.Edit(IDC_ID_EDIT);
    ShowWindow(GetDlgItem(dialog, IDC_COLOR_SWITCH), SW_HIDE);
    layout.GroupEnd();
    if (!IsPopup(info))
        return;

    bool cancelHidden = (info->Flags & JAF_POPUP_CANCEL_HIDE) != 0;
    layout.ButtonRowStart();
    char okText[DialogTextChars] = {}, cancelText[DialogTextChars] = {};
    ReadDialogText("OK", "OK", okText);
    ReadDialogText("Cancel", "Cancel", cancelText);
    SIZE ok = layout.ButtonSize(okText);
    SIZE cancel = layout.ButtonSize(cancelText);
    int q = layout.Quarter();
    layout.PlaceButton(IDOK, okText, cancelHidden ? (width - ok.cx) / 2 : q - ok.cx / 2, ok);
    if (info->Flags & JAF_POPUP_OK_DISABLED)
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    if (cancelHidden)
        ShowWindow(GetDlgItem(dialog, IDCANCEL), SW_HIDE);
    else
        layout.PlaceButton(IDCANCEL, cancelText, 2 * q + cancel.cx / 2, cancel);
    layout.Centre(cancelHidden ? ok.cy - 10 : cancel.cy - 10);
    SetTimer(dialog, AttentionTimer, AttentionPeriod, nullptr);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM init)
{
    SetWindowLongPtrA(dialog, DWLP_USER, init);
    JobAccountInfo* info = RecordOf(dialog);
    if (!info)
        return FALSE;
    HFONT font = CreateDialogFont(dialog, Module.StringFilePath);
    KeepDialogFont(dialog, font);
    ApplyDialogFont(dialog, font);
    if (info->Flags & JAF_POPUP_CANCEL_HIDE)
        DeleteMenu(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND);
    LayOut(dialog, info, font);
    // Putting the stored values in runs each edit's filter like typing would.
    if (info->JobAccountIDText[0])
        SetDlgItemTextA(dialog, IDC_ID_EDIT, info->JobAccountIDText);
    if (info->UserID[0])
        SetDlgItemTextA(dialog, IDC_USER_EDIT, info->UserID);
    return FALSE;
}

void UpdateOkButton(HWND dialog, const JobAccountInfo* info, int otherEdit, const char* filtered)
{
    if (!(info->Flags & JAF_POPUP_OK_DISABLED))
        return;
    bool ready = GetWindowTextLengthA(GetDlgItem(dialog, otherEdit)) > 0 && filtered[0] != '\0';
    EnableWindow(GetDlgItem(dialog, IDOK), ready);
}

void OnOk(HWND dialog, JobAccountInfo* info)
{
    ReadEditText(dialog, IDC_ID_EDIT, info->JobAccountIDText);
    if (!info->JobAccountIDText[0]) {
        ShowEntryError(dialog);
        return;
    }
    info->JobAccountID = ParseDecimal(info->JobAccountIDText);
    if (info->JobAccountID == 0) {
        ShowEntryError(dialog);
        return;
    }
    ReadEditText(dialog, IDC_USER_EDIT, info->UserID);
    if (!info->UserID[0]) {
        ShowEntryError(dialog);
        return;
    }
    EndDialog(dialog, 1);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    JobAccountInfo* info = RecordOf(dialog);
    if (!info)
        return FALSE;
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    char filtered[DialogTextChars] = {};
    if (id == IDC_USER_EDIT && code == EN_UPDATE) {
        FilterNameText(dialog, id, UserLimit, filtered);
        UpdateOkButton(dialog, info, IDC_ID_EDIT, filtered);
        if (strcmp(filtered, info->UserID) != 0)
            NotifyChange(dialog, info);
    } else if (id == IDC_ID_EDIT && code == EN_UPDATE) {
        FilterDigitText(dialog, id, IDLimit, filtered);
        UpdateOkButton(dialog, info, IDC_USER_EDIT, filtered);
        if (strcmp(filtered, info->JobAccountIDText) != 0)
            NotifyChange(dialog, info);
    } else if (id == IDOK && IsPopup(info)) {
        OnOk(dialog, info);
    } else if (id == IDCANCEL && IsPopup(info)) {
        // With Cancel hidden and Close gone, Escape and Alt+F4 must not cancel behind the user's back.
        if (!(info->Flags & JAF_POPUP_CANCEL_HIDE))
            EndDialog(dialog, 0);
    }
    return TRUE;
}

// Result of PSN_APPLY: stores the entries in the account file, or refuses them.
bool Apply(HWND dialog, JobAccountInfo* info)
{
    char idText[32] = {};
    ReadEditText(dialog, IDC_ID_EDIT, idText);
    if (!idText[0]) {
        ShowEntryError(dialog);
        return false;
    }
    info->JobAccountID = ParseDecimal(idText);
    if (info->JobAccountID == 0) {
        ShowEntryError(dialog);
        return false;
    }
    if (!WriteAccountValue(info, "JobAccountID", idText)) {
        ShowAccountFileError(dialog, info);
        return false;
    }
    CopyCut(info->JobAccountIDText, idText);
    if (!(info->Flags & JAF_CERT_USER)) {
        char user[UserIDChars] = {};
        ReadEditText(dialog, IDC_USER_EDIT, user);
        if (!user[0]) {
            ShowEntryError(dialog);
            return false;
        }
        if (!WriteAccountValue(info, "UserID", user)) {
            ShowAccountFileError(dialog, info);
            return false;
        }
        CopyCut(info->UserID, user);
    }
    if (IsVistaOrLater() && info->AccountFilePath)
        SetAccountFileAccess(info->AccountFilePath);
    return true;
}

INT_PTR OnNotify(HWND dialog, const NMHDR* header)
{
    JobAccountInfo* info = RecordOf(dialog);
    if (!info || IsPopup(info) || !header)
        return FALSE;
    switch (header->code) {
    case PSN_APPLY: {
        bool valid = Apply(dialog, info);
        if (valid && reinterpret_cast<const PSHNOTIFY*>(header)->lParam)
            DeleteDialogFont(dialog);
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, valid ? PSNRET_NOERROR : PSNRET_INVALID);
        return TRUE;
    }
    case PSN_RESET:
        DeleteDialogFont(dialog);
        return TRUE;
    case PSN_KILLACTIVE:
    case PSN_HELP:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, FALSE);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK JobAccountDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DialogMessageOrFail(dialog, message, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_NOTIFY:
            return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
        case WM_TIMER:
            if (wParam == AttentionTimer)
                FlashForAttention(dialog, PopupAttention, AttentionInFront::Stop);
            return TRUE;
        case WM_HELP:
        case WM_CONTEXTMENU:
            return HandleHelpMessage(message, wParam, lParam, JobAccountHelp);
        case WM_DESTROY:
            // Whichever way the dialog went, its font goes with it.
            DeleteDialogFont(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}
