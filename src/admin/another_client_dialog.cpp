// The another-client path dialog. Nothing is written before OK (the master copy) or Export (the
// exported file): Change only changes what the dialog shows.
#include "admin/another_client_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "dialogs/browse_folder.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/list_sort.h"
#include "idlist/id_list.h"
#include "res/resource.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/settings_file.h"
#include "settings/text.h"

namespace {

enum : DWORD { ModeAnotherClient = 6, ModeHideList = 4 };

void SetControlText(HWND dialog, int id, const char* key, const char* fallback)
{
    char text[DialogTextChars] = {};
    ReadDialogText(key, fallback, text);
    SetDlgItemTextA(dialog, id, text);
}

// Keys whose messages are read into path-sized buffers.
void ShowPathMessage(HWND dialog, const char* key, const char* fallback)
{
    char text[PathChars] = {};
    ReadStringText(key, fallback, text, sizeof text);
    MessageBoxA(dialog, text, Module.AppName, MB_OK);
}

void AddColumn(HWND list, int index, const char* key, const char* fallback, int format)
{
    char caption[DialogTextChars] = {};
    ReadDialogText(key, fallback, caption);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = 0;
    column.pszText = caption;
    column.iSubItem = index;
    SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

// A printer settings file in `folder`; false when the path does not fit.
bool SettingsFileIn(const char* folder, char (&file)[PathChars])
{
    return ComposePath(file, {folder, "\\", Module.DatFile4});
}

// Printable ASCII other than the double quote, or a tab, at most 80 bytes; bytes above 0x7F are
// taken as the code page's characters.
void AppendRow(HWND list, int tag, const char* name, const char* user, const char* id)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = tag;
    item.lParam = tag;
    item.pszText = const_cast<char*>(name);
    int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0)
        return;
    const char* texts[] = {user, id};
    for (int column = 1; column <= 2; ++column) {
        LVITEMA sub = {};
        sub.iSubItem = column;
        sub.pszText = const_cast<char*>(texts[column - 1]);
        SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&sub));
    }
}

// The registered IDs of `file`, read as one section, after the rows already shown.
void ShowRegisteredIDs(HWND list, const char* file)
{
    // The shared entry check leaves out what a load refuses.
    IdList entries;
    LoadIdSection(file, false, &entries);
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (const IdRow& row : entries.Rows()) {
        AppendRow(list, rows, row.Name.c_str(), row.UserName.c_str(), row.ID.c_str());
        ++rows;
    }
    for (int column = 0; column <= 2; ++column)
        SendMessageA(list, LVM_SETCOLUMNWIDTH, column, LVSCW_AUTOSIZE_USEHEADER);
}

HWND IDList(HWND dialog) { return GetDlgItem(dialog, IDC_ID_LIST); }

INT_PTR OnInitDialog(HWND dialog)
{
    HFONT font = CreateDialogFont(dialog, Module.StringFilePath);
    KeepDialogFont(dialog, font);
    ApplyDialogFont(dialog, font);
    HWND list = IDList(dialog);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);

    char title[DialogTextChars] = {};
    ReadDialogText("SetupAnotherClientTitle", "Set up another client path", title);
    SetWindowTextA(dialog, title);
    AddColumn(list, 0, "LoginName_C", "Login Name", LVCFMT_LEFT);
    SetControlText(dialog, IDC_USE_ANOTHER_CLIENT, "AnotherClient", "&Get Accounting Info. Another Client");
    SetControlText(dialog, IDC_PATH_GROUP, "AnotherClientPath", "&Path to get Accounting Info.");
    SetControlText(dialog, IDC_CHANGE, "Change", "&Change...");

    char master[PathChars] = {};
    MasterSettingsPath(master);
    char folder[PathChars] = {};
    ReadProfileText(master, "JobAccount", "Path", "", folder);
    SetDlgItemTextA(dialog, IDC_PATH_TEXT, folder);
    if (ReadProfileNumber(master, "JobAccount", "Mode", ModeHideList) == ModeAnotherClient)
        CheckDlgButton(dialog, IDC_USE_ANOTHER_CLIENT, BST_CHECKED);
    else
        SetControlText(dialog, IDC_ANOTHER_MODE_NOTE, "AnotherModeMessage", "Selected Another Mode.");

    AddColumn(list, 1, "UserID_C", "User Name", LVCFMT_LEFT);
    AddColumn(list, 2, "JobAccountID_C", "Job Account ID", LVCFMT_RIGHT);
    char file[PathChars] = {};
    if (SettingsFileIn(folder, file))
        ShowRegisteredIDs(list, file);

    SetControlText(dialog, IDC_EXPORT, "Export", "E&xport...");
    SetControlText(dialog, IDOK, "OK", "OK");
    SetControlText(dialog, IDCANCEL, "Cancel", "&Cancel");
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
        if (!header || header->idFrom != IDC_ID_LIST || header->code != LVN_COLUMNCLICK)
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
}
