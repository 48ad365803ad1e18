// The colour-password popup (template 107): the user allowed colour printing and the password
// that becomes the job's account ID.
#include <windows.h>
#include <prsht.h>

#include <cstring>

#include "dialogs/dialog_helpers.h"
#include "dialogs/entry_dialogs.h"
#include "res/resource.h"
#include "settings/account_file.h"
#include "settings/job_account_info.h"
#include "settings/module_state.h"
#include "settings/profile.h"

namespace {

const HelpContextRow ColorPasswordHelp[] = {
    {IDC_GROUP, 10400}, {IDC_USER_LABEL, 10401}, {IDC_USER_EDIT, 10401}, {IDC_ID_LABEL, 10402},
    {IDC_ID_EDIT, 10402}, {IDC_NEXT_POPUP, 10403}, {IDC_SAVE_PASSWORD, 10404}, {IDOK, 10405},
    {IDCANCEL, 10406}, {0, 0},
};

enum : size_t { UserLimit = 80, PasswordLimit = 10 };

int ColorPasswordAttention = 0;

JobAccountInfo* RecordOf(HWND dialog)
{
    auto* page = reinterpret_cast<const PROPSHEETPAGEA*>(GetWindowLongPtrA(dialog, DWLP_USER));
    return page ? reinterpret_cast<JobAccountInfo*>(page->lParam) : nullptr;
}

// The password keys live in the printer's own section whatever "AllPrinter" says. A null value
// deletes the key.
void WriteAccountValue(const JobAccountInfo* info, const char* key, const char* value)
{
    WriteAccountFileValue(info->AccountFilePath, info->PrinterName, key, value);
}

void SetUpCheckBox(HWND dialog, int id, const char* hideKey, const char* defaultKey)
{
    HWND box = GetDlgItem(dialog, id);
    if (ReadCommonNumber(hideKey, 0) != 0) {
        ShowWindow(box, SW_HIDE);
        CheckDlgButton(dialog, id, BST_UNCHECKED);
    } else {
        CheckDlgButton(dialog, id, ReadCommonNumber(defaultKey, 0) != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void LayOut(HWND dialog, HFONT font)
{
    RECT client = {};
    GetClientRect(dialog, &client);
    DialogLayout layout(dialog, font, client.right, client.bottom);
    char text[DialogTextChars] = {};
    layout.GroupStart();
    ReadDialogText("UserIDByColor", "&User Name allowed color printing", text);
    layout.Label(IDC_USER_LABEL, text);
    layout.Edit(IDC_USER_EDIT);
    ReadDialogText("ColorPassword", "&Color Password", text);
    layout.Label(IDC_ID_LABEL, text);
    layout.Edit(IDC_ID_EDIT);
    ReadDialogText("NextPopup", "Use pop up &next time", text);
    layout.CheckBox(IDC_NEXT_POPUP, text, 20);
    ReadDialogText("SavePassword", "&Remember User Name and Color Password", text);
    layout.CheckBox(IDC_SAVE_PASSWORD, text, 30);
    layout.GroupEnd();

    layout.ButtonRowStart();
    char okText[DialogTextChars] = {}, cancelText[DialogTextChars] = {};
    ReadDialogText("OK", "OK", okText);
    ReadDialogText("CancelColorPassword", "Cancel(Use original setting)", cancelText);
    SIZE ok = layout.ButtonSize(okText);
    SIZE cancel = layout.ButtonSize(cancelText);
    int gap = (layout.Width() - ok.cx - cancel.cx) / 3;
    layout.PlaceButton(IDOK, okText, gap, ok);
    layout.PlaceButton(IDCANCEL, cancelText, ok.cx + 2 * gap, cancel);
    layout.Centre(ok.cy - 10);
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
    SetWindowTextA(dialog, info->TabTitle ? info->TabTitle : "");
    LayOut(dialog, font);
    SetTimer(dialog, AttentionTimer, AttentionPeriod, nullptr);
    if (info->JobAccountIDText[0])
        SetDlgItemTextA(dialog, IDC_ID_EDIT, info->JobAccountIDText);
    if (info->UserID[0])
        SetDlgItemTextA(dialog, IDC_USER_EDIT, info->UserID);
    SetUpCheckBox(dialog, IDC_NEXT_POPUP, "HideNextPopup", "NextPopupDefault");
    SetUpCheckBox(dialog, IDC_SAVE_PASSWORD, "HideSavePassword", "SavePasswordDefault");
    return FALSE;
}

// Only a ten-digit password below 1,100,000,000 counts; a larger one sends the job out with ID 0.
bool TenDigitsOutOfRange(const char* text)
{
    return strlen(text) == 10 && text[0] != '0' && !(text[0] == '1' && text[1] == '0');
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
    if (TenDigitsOutOfRange(info->JobAccountIDText))
        info->JobAccountID = 0;
    ReadEditText(dialog, IDC_USER_EDIT, info->UserID);
    if (!info->UserID[0]) {
        ShowEntryError(dialog);
        return;
    }
    bool remember = IsDlgButtonChecked(dialog, IDC_SAVE_PASSWORD) == BST_CHECKED;
    WriteAccountValue(info, "ColorPassword", remember ? info->JobAccountIDText : nullptr);
    WriteAccountValue(info, "UserIDByColor", remember ? info->UserID : nullptr);
    if (IsDlgButtonChecked(dialog, IDC_NEXT_POPUP) != BST_CHECKED)
        WriteAccountValue(info, "PopupColorPassword", "0");
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
    // The popup's owner is no property sheet, so the edits notify nobody of their changes.
    if (id == IDC_USER_EDIT && code == EN_UPDATE)
        FilterNameText(dialog, id, UserLimit, filtered);
    else if (id == IDC_ID_EDIT && code == EN_UPDATE)
        FilterDigitText(dialog, id, PasswordLimit, filtered);
    else if (id == IDOK)
        OnOk(dialog, info);
    else if (id == IDCANCEL)
        EndDialog(dialog, 0);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK ColorPasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DialogMessageOrFail(dialog, message, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_TIMER:
            if (wParam == AttentionTimer)
                FlashForAttention(dialog, ColorPasswordAttention, AttentionInFront::Stop);
            return TRUE;
        case WM_HELP:
        case WM_CONTEXTMENU:
            return HandleHelpMessage(message, wParam, lParam, ColorPasswordHelp);
        case WM_DESTROY:
            DeleteDialogFont(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}
