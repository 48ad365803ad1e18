// The another-client path dialog. Nothing is written before OK (the master copy) or Export (the
// exported file): Change only changes what the dialog shows.
#include "admin/another_client_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "dialogs/browse_folder.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/list_sort.h"
#include "idlist/id_list_view.h"
#include "res/resource.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/settings_file.h"
#include "settings/text.h"

namespace {

enum : DWORD { ModeAnotherClient = 6, ModeHideList = 4 };

// Keys whose messages are read into path-sized buffers.
void ShowPathMessage(HWND dialog, const char* key, const char* fallback)
{
    char text[PathChars] = {};
    ReadStringText(key, fallback, text, sizeof text);
    MessageBoxA(dialog, text, Module.AppName, MB_OK);
}

// A printer settings file in `folder`; false when the path does not fit.
bool SettingsFileIn(const char* folder, char (&file)[PathChars])
{
    return ComposePath(file, {folder, "\\", Module.DatFile4});
}

// The registered IDs of `file` after the rows already shown.
void ShowRegisteredIDs(HWND list, const char* file) { LoadRegisteredIDs(list, false, file); }

HWND IDList(HWND dialog) { return GetDlgItem(dialog, IDC_ID_LIST); }

INT_PTR OnInitDialog(HWND dialog)
{
    HFONT font = CreateDialogFont(dialog, Module.StringFilePath);
    KeepDialogFont(dialog, font);
    ApplyDialogFont(dialog, font);
    HWND list = IDList(dialog);
    PrepareIDListView(list);

    char title[DialogTextChars] = {};
    ReadDialogText("SetupAnotherClientTitle", "Set up another client path", title);
    SetWindowTextA(dialog, title);
    AddCaptionedColumn(list, IdNameColumn, "LoginName_C", "Login Name", 0);
    SetItemTextFromStrings(dialog, IDC_USE_ANOTHER_CLIENT, "AnotherClient", "&Get Accounting Info. Another Client");
    SetItemTextFromStrings(dialog, IDC_PATH_GROUP, "AnotherClientPath", "&Path to get Accounting Info.");
    SetItemTextFromStrings(dialog, IDC_CHANGE, "Change", "&Change...");

    char master[PathChars] = {};
    MasterSettingsPath(master);
    char folder[PathChars] = {};
    ReadProfileText(master, "JobAccount", "Path", "", folder);
    SetDlgItemTextA(dialog, IDC_PATH_TEXT, folder);
    if (ReadProfileNumber(master, "JobAccount", "Mode", ModeHideList) == ModeAnotherClient)
        CheckDlgButton(dialog, IDC_USE_ANOTHER_CLIENT, BST_CHECKED);
    else
        SetItemTextFromStrings(dialog, IDC_ANOTHER_MODE_NOTE, "AnotherModeMessage", "Selected Another Mode.");

    AddCaptionedColumn(list, IdUserColumn, "UserID_C", "User Name", 0);
    AddCaptionedColumn(list, IdIDColumn, "JobAccountID_C", "Job Account ID", 1);
    char file[PathChars] = {};
    if (SettingsFileIn(folder, file))
        ShowRegisteredIDs(list, file);

    SetItemTextFromStrings(dialog, IDC_EXPORT, "Export", "E&xport...");
    SetItemTextFromStrings(dialog, IDOK, "OK", "OK");
    SetItemTextFromStrings(dialog, IDCANCEL, "Cancel", "&Cancel");
    return FALSE;
}

void OnOk(HWND dialog)
{
    char folder[PathChars] = {};
    GetDlgItemTextA(dialog, IDC_PATH_TEXT, folder, sizeof folder);
    char master[PathChars] = {};
    if (MasterSettingsPath(master))
        SetProfileKeys(master, "JobAccount",
                       {{"Path", folder}, {"Mode", IsDlgButtonChecked(dialog, IDC_USE_ANOTHER_CLIENT) == BST_CHECKED ? "6" : "4"}});
    EndDialog(dialog, 1);
}

// A folder is another client's only when its settings file names a mode.
void OnChange(HWND dialog)
{
    char folder[PathChars] = {};
    GetDlgItemTextA(dialog, IDC_PATH_TEXT, folder, sizeof folder);
    if (!BrowseForFolder(dialog, folder))
        return;
    char file[PathChars] = {};
    if (!SettingsFileIn(folder, file) || ReadProfileNumber(file, "JobAccount", "Mode", 0) == 0) {
        ShowPathMessage(dialog, "FailedPath", "Incorrect path.");
        return;
    }
    SetDlgItemTextA(dialog, IDC_PATH_TEXT, folder);
    HWND list = IDList(dialog);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    ShowRegisteredIDs(list, file);
}

// A small settings file that points other clients at the folder shown; the master copy stays.
void OnExport(HWND dialog)
{
    char target[PathChars] = {};
    if (!BrowseForFolder(dialog, target))
        return;
    char file[PathChars] = {};
    char folder[PathChars] = {};
    GetDlgItemTextA(dialog, IDC_PATH_TEXT, folder, sizeof folder);
    bool written = SettingsFileIn(target, file) && SetProfileKeys(file, "JobAccount", {{"Path", folder}, {"Mode", "6"}});
    if (written)
        ShowPathMessage(dialog, "ExportMessage", "Export complete.");
    else
        ShowPathMessage(dialog, "ExportErrorMessage", "Export failed.");
}

}  // namespace

INT_PTR CALLBACK AnotherClientDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DialogMessageOrFail(dialog, message, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case IDOK:
                OnOk(dialog);
                break;
            case IDCANCEL:
                EndDialog(dialog, 0);
                break;
            case IDC_CHANGE:
                OnChange(dialog);
                break;
            case IDC_EXPORT:
                OnExport(dialog);
                break;
            default:
                break;
            }
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (!header || header->idFrom != IDC_ID_LIST)
                return FALSE;
            if (AnswerIDListNotify(dialog, header))
                return TRUE;
            if (header->code != LVN_COLUMNCLICK)
                return FALSE;
            SortListByColumn(*reinterpret_cast<const NMLISTVIEW*>(lParam));
            return TRUE;
        }
        case WM_CLOSE:
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return TRUE;
        case WM_DESTROY:
            DeleteDialogFont(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}
