// The login-name dialog: one job account entry, with the login name (or name) it belongs to for
// the registered-ID list (template 106) or without it for the fixed ID (template 101).
#include <cstring>

#include "dialogs/dialog_helpers.h"
#include "dialogs/entry_dialogs.h"
#include "res/resource.h"
#include "settings/module_state.h"
#include "settings/text.h"

namespace {

const HelpContextRow LoginNameHelp[] = {
    {IDC_GROUP, 10100}, {IDC_NAME_LABEL, 10103}, {IDC_NAME_EDIT, 10103}, {IDC_USER_LABEL, 10102},
    {IDC_USER_EDIT, 10102}, {IDC_ID_LABEL, 10101}, {IDC_ID_EDIT, 10101}, {IDOK, 10053},
    {IDCANCEL, 10054}, {0, 0},
};
const HelpContextRow NameHelp[] = {
    {IDC_GROUP, 10100}, {IDC_NAME_LABEL, 10104}, {IDC_NAME_EDIT, 10104}, {IDC_USER_LABEL, 10102},
    {IDC_USER_EDIT, 10102}, {IDC_ID_LABEL, 10101}, {IDC_ID_EDIT, 10101}, {IDOK, 10053},
    {IDCANCEL, 10054}, {0, 0},
};

enum : size_t { NameLimit = 255, UserLimit = 80, IDLimit = 9 };
enum : int { KindLoginName = 0, KindName = 1, KindFixedID = 2 };

// Only the help tables read it; it keeps the last dialog's kind.
bool NameMode = false;

LoginNameRequest* RequestOf(HWND dialog)
{
    return reinterpret_cast<LoginNameRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void LayOut(HWND dialog, const LoginNameRequest* request, HFONT font)
{
    RECT client = {};
    GetClientRect(dialog, &client);
    DialogLayout layout(dialog, font, client.right, client.bottom);
    char text[DialogTextChars] = {};
    layout.GroupStart();
    if (request->Kind != KindFixedID) {
        if (NameMode)
            ReadDialogText("Name", "Name", text);
        else
            ReadDialogText("LoginName", "Login Name", text);
        layout.Label(IDC_NAME_LABEL, text);
        layout.Edit(IDC_NAME_EDIT);
    } else {
        // The caller's fields need not be terminated; copies keep the reads inside them.
        char userName[sizeof request->UserName] = {};
        char idText[sizeof request->IDText] = {};
        CopyCut(userName, request->UserName);
        CopyCut(idText, request->IDText);
        SetDlgItemTextA(dialog, IDC_USER_EDIT, userName);
        SetDlgItemTextA(dialog, IDC_ID_EDIT, idText);
    }
    ReadDialogText("UserID", "User Name", text);
    layout.Label(IDC_USER_LABEL, text);
    layout.Edit(IDC_USER_EDIT);
    ReadDialogText("JobAccountID", "Job Account ID", text);
    layout.Label(IDC_ID_LABEL, text);
    layout.Edit(IDC_ID_EDIT);
    layout.GroupEnd();

    layout.ButtonRowStart();
    char okText[DialogTextChars] = {}, cancelText[DialogTextChars] = {};
    ReadDialogText("OK", "OK", okText);
    ReadDialogText("Cancel", "Cancel", cancelText);
    SIZE ok = layout.ButtonSize(okText);
    SIZE cancel = layout.ButtonSize(cancelText);
    int q = layout.Quarter();
    layout.PlaceButton(IDOK, okText, q - ok.cx / 2, ok);
    layout.PlaceButton(IDCANCEL, cancelText, 2 * q + cancel.cx / 2, cancel);
    layout.Centre(cancel.cy - 10);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM init)
{
    SetWindowLongPtrA(dialog, DWLP_USER, init);
    LoginNameRequest* request = RequestOf(dialog);
    if (!request)
        return FALSE;
    NameMode = request->Kind != KindLoginName;
    HFONT font = CreateDialogFont(dialog, Module.StringFilePath);
    KeepDialogFont(dialog, font);
    ApplyDialogFont(dialog, font);
    char title[DialogTextChars] = {};
    ReadDialogText("TabTitle", "Job Account", title);
    SetWindowTextA(dialog, title);
    LayOut(dialog, request, font);
    return FALSE;
}

void OnOk(HWND dialog, LoginNameRequest* request)
{
    request->IDText[0] = '\0';
    request->UserName[0] = '\0';
    request->LoginName[0] = '\0';
    ReadEditText(dialog, IDC_ID_EDIT, request->IDText);
    if (!request->IDText[0]) {
        ShowEntryError(dialog);
        return;
    }
    bool hasName = request->Kind != KindFixedID;
    if (hasName) {
        ReadEditText(dialog, IDC_NAME_EDIT, request->LoginName);
        if (!request->LoginName[0]) {
            ShowEntryError(dialog);
            return;
        }
    }
    ReadEditText(dialog, IDC_USER_EDIT, request->UserName);
    if (!request->UserName[0] && hasName) {
        // A login name stands in for a missing user name only when it fits the user name's field.
        if (strlen(request->LoginName) > sizeof request->UserName - 1) {
            ShowEntryError(dialog);
            return;
        }
        if (!NameMode)
            CopyCut(request->UserName, request->LoginName);
    }
    EndDialog(dialog, 1);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    LoginNameRequest* request = RequestOf(dialog);
    if (!request)
        return FALSE;
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    char filtered[DialogTextChars] = {};
    if (id == IDC_USER_EDIT && code == EN_UPDATE)
        FilterNameText(dialog, id, UserLimit, filtered);
    else if (id == IDC_NAME_EDIT && code == EN_UPDATE)
        FilterNameText(dialog, id, NameLimit, filtered);
    else if (id == IDC_ID_EDIT && code == EN_UPDATE)
        FilterDigitText(dialog, id, IDLimit, filtered);
    else if (id == IDOK)
        OnOk(dialog, request);
    else if (id == IDCANCEL)
        EndDialog(dialog, 0);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK LoginNameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DialogMessageOrFail(dialog, message, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_HELP:
        case WM_CONTEXTMENU:
            return HandleHelpMessage(message, wParam, lParam, NameMode ? NameHelp : LoginNameHelp);
        case WM_DESTROY:
            DeleteDialogFont(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}
