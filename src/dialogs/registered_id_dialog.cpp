// The registered-ID dialog. The list view holds the rows being edited; the settings file is
// rewritten from it as a whole on OK or Export, in the order shown.
#include "dialogs/registered_id_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialogs/browse_folder.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/entry_dialogs.h"
#include "dialogs/failure_messages.h"
#include "dialogs/id_file_dialog.h"
#include "dialogs/list_sort.h"
#include "idlist/driver_list.h"
#include "idlist/id_list_view.h"
#include "idlist/propagate.h"
#include "res/resource.h"
#include "settings/export_barrier.h"
#include "settings/message_box.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/settings_file.h"
#include "settings/text.h"

namespace {

enum : DWORD { ModeHideList = 4, ModeFixedID = 5 };
enum : int { FixedUserChars = 81, FixedIDChars = 256 };

// Posted to itself when the selection changed: a selection of many rows arrives as a notification
// per row, and the buttons follow once, after the last.
enum : UINT { SelectionChangedMessage = WM_APP + 1 };

const char AttentionProperty[] = "zrRegisteredIDAttention";
// Where the selection's OK leaves the row chosen, when its opener asked for it.
const char ChoiceProperty[] = "zrRegisteredIDChoice";
// Set while the posted update is on its way; a window property would cost a trip to the window
// server for each of the notifications.
bool SelectionUpdatePending = false;

const HelpContextRow ListHelp[] = {{IDC_ANOTHER_MODE_NOTE, 10050}, {IDC_ID_LIST, 10051}, {IDC_IMPORT, 10006},
                                   {IDC_DELETE, 10052},            {IDC_ADD, 10055},     {IDOK, 10053},
                                   {IDCANCEL, 10054},              {0, 0}};
const HelpContextRow FixedHelp[] = {
    {IDC_FIXED_GROUP, 10100}, {IDC_FIXED_USER_LABEL, 10102}, {IDC_FIXED_USER, 10102}, {IDC_FIXED_ID_LABEL, 10101},
    {IDC_FIXED_ID, 10101},    {IDC_ANOTHER_MODE_NOTE, 10300}, {IDC_ID_LIST, 10301},   {IDC_IMPORT, 10302},
    {IDC_EXPORT, 10303},      {IDC_DELETE, 10304},          {IDC_SELECT, 10305},    {IDC_ADD, 10309},
    {IDC_FIXED_MODE, 10306},  {IDOK, 10307},                {IDCANCEL, 10308},      {0, 0}};

int TaskOf(HWND dialog) { return static_cast<int>(GetWindowLongPtrA(dialog, GWLP_USERDATA)); }
bool IsFixed(HWND dialog) { return TaskOf(dialog) != RegisteredIDList; }
bool IsSelection(HWND dialog) { return TaskOf(dialog) == FixedIDSelection; }
HWND IDList(HWND dialog) { return GetDlgItem(dialog, IDC_ID_LIST); }

void ShowTextBox(HWND dialog, const char* key, const char* fallback, DWORD size)
{
    std::vector<char> text(size, '\0');
    ReadStringText(key, fallback, text.data(), size);
    MessageBoxA(dialog, text.data(), Module.AppName, MB_OK);
}

void HideControls(HWND dialog, std::initializer_list<int> ids)
{
    for (int id : ids)
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
}

std::string ItemText(HWND dialog, int id, int size)
{
    std::vector<char> text(size, '\0');
    GetDlgItemTextA(dialog, id, text.data(), size);
    return text.data();
}

int SelectedCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0)); }

// ---- initialisation

void InitRegisteredListTask(HWND dialog, HWND list, DWORD mode)
{
    char title[DialogTextChars] = {};
    ReadDialogText("RegisteredIDTitle", "Display Registered Job Account ID", title);
    SetWindowTextA(dialog, title);
    AddCaptionedColumn(list, IdNameColumn, "LoginName_C", "Login Name", 0);
    HideControls(dialog, {IDC_FIXED_MODE, IDC_SELECT, IDC_EXPORT, IDC_FIXED_GROUP, IDC_FIXED_ID, IDC_FIXED_USER,
                          IDC_FIXED_USER_LABEL, IDC_FIXED_ID_LABEL});
    if (mode != ModeHideList)
        SetItemTextFromStrings(dialog, IDC_ANOTHER_MODE_NOTE, "AnotherModeMessage", "Selected Another Mode.");
}

void InitFixedTask(HWND dialog, HWND list, const char* master, DWORD mode)
{
    char title[DialogTextChars] = {};
    ReadDialogText("FixedIDTitle", "Select Fixed Job Account ID", title);
    SetWindowTextA(dialog, title);
    AddCaptionedColumn(list, IdNameColumn, "Name_C", "Name", 0);
    char id[FixedIDChars] = {};
    char user[FixedUserChars] = {};
    ReadProfileText(master, "JobAccount", "JobAccountID", "", id);
    ReadProfileText(master, "JobAccount", "UserID", "", user);
    SetDlgItemTextA(dialog, IDC_FIXED_ID, id);
    SetDlgItemTextA(dialog, IDC_FIXED_USER, user);
    SetItemTextFromStrings(dialog, IDC_FIXED_MODE, "EnableFixedMode", "&Enable Fixed Job Account ID");
    if (mode == ModeFixedID)
        CheckDlgButton(dialog, IDC_FIXED_MODE, BST_CHECKED);
    else
        SetItemTextFromStrings(dialog, IDC_ANOTHER_MODE_NOTE, "AnotherModeMessage", "Selected Another Mode.");
    if (!IsSelection(dialog))
        return;
    HideControls(dialog, {IDC_FIXED_MODE, IDC_ADD, IDC_IMPORT, IDC_DELETE, IDC_SELECT, IDC_EXPORT, IDC_FIXED_GROUP,
                          IDC_FIXED_ID, IDC_FIXED_USER, IDC_FIXED_USER_LABEL, IDC_FIXED_ID_LABEL});
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    SetTimer(dialog, AttentionTimer, AttentionPeriod, nullptr);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM task)
{
    HFONT font = CreateDialogFont(dialog, Module.StringFilePath);
    KeepDialogFont(dialog, font);
    ApplyDialogFont(dialog, font);
    const int kept = task == RegisteredIDList || task == FixedIDSelection ? static_cast<int>(task) : FixedIDSetup;
    SetWindowLongPtrA(dialog, GWLP_USERDATA, kept);

    HWND list = IDList(dialog);
    PrepareIDListView(list);

    char master[PathChars] = {};
    MasterSettingsPath(master);
    const DWORD mode = master[0] ? ReadProfileNumber(master, "JobAccount", "Mode", ModeHideList) : ModeHideList;
    if (IsFixed(dialog))
        InitFixedTask(dialog, list, master, mode);
    else
        InitRegisteredListTask(dialog, list, mode);

    SetItemTextFromStrings(dialog, IDC_FIXED_GROUP, "SelectJobAccountID", "Selected Fixed Job Account ID");
    AddCaptionedColumn(list, IdUserColumn, "UserID_C", "User Name", 0);
    SetItemTextFromStrings(dialog, IDC_FIXED_USER_LABEL, "UserID_C", "User Name");
    AddCaptionedColumn(list, IdIDColumn, "JobAccountID_C", "Job Account ID", 1);
    SetItemTextFromStrings(dialog, IDC_FIXED_ID_LABEL, "JobAccountID_C", "Job Account ID");
    if (master[0])
        LoadRegisteredIDs(list, IsFixed(dialog), master);

    SetItemTextFromStrings(dialog, IDC_ADD, "Add", "&Add...");
    SetItemTextFromStrings(dialog, IDC_IMPORT, "Import2", "&Import...");
    SetItemTextFromStrings(dialog, IDC_EXPORT, "Export", "E&xport...");
    SetItemTextFromStrings(dialog, IDC_DELETE, "Delete", "&Delete");
    SetItemTextFromStrings(dialog, IDC_SELECT, "Select", "&Select");
    SetItemTextFromStrings(dialog, IDOK, "OK", "OK");
    SetItemTextFromStrings(dialog, IDCANCEL, "Cancel", "&Cancel");
    EnableWindow(GetDlgItem(dialog, IDC_DELETE), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_SELECT), FALSE);
    return TRUE;
}

// ---- writing the list

// The rows of the list in display order, each a settings-file entry of the dialog's section.
std::string ListSectionBody(HWND dialog)
{
    return FormatIdSection(ListRows(IDList(dialog)), IsFixed(dialog));
}

// The [JobAccount] keys written with the fixed-ID list: the chosen ID, its user and the mode.
ProfileKeys FixedKeys(HWND dialog, const char* mode)
{
    return {{"JobAccountID", ItemText(dialog, IDC_FIXED_ID, FixedIDChars)},
            {"UserID", ItemText(dialog, IDC_FIXED_USER, FixedUserChars)},
            {"Mode", mode}};
}

// The keys and the list section go into `file` in one replacement, so a printer reading the file
// meanwhile sees the old entries or the new ones.
bool WriteKeysAndList(HWND dialog, const char* file, const ProfileKeys& keys)
{
    const char* section = IsFixed(dialog) ? FixedIDSection : RegisteredIDSection;
    std::string body = ListSectionBody(dialog);
    return UpdateSettingsFile(file, [&](const std::string& text) {
        std::string updated = keys.empty() ? text : WithKeysSet(text, "JobAccount", keys);
        return WithSectionReplaced(updated, section, body);
    });
}

// A file of the temporary folder under a name of its own, so selections in two processes at once do
// not take each other's file; it goes however the work with it ends.
class TemporaryFile {
public:
    TemporaryFile()
    {
        char folder[PathChars] = {};
        const DWORD length = GetTempPathA(sizeof folder, folder);
        if (length == 0 || length >= sizeof folder || !GetTempFileNameA(folder, "zrj", 0, path_))
            path_[0] = '\0';
    }
    ~TemporaryFile()
    {
        if (path_[0])
            DeleteFileA(path_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Empty when no file could be made.
    const char* Path() const { return path_; }

private:
    char path_[PathChars] = {};
};

// Task 2: the chosen candidate goes to every Hide-mode driver's copy through a temporary file
// made from the master copy; the master copy itself stays as it was.
void SendChoiceToDrivers(HWND dialog)
{
    IdRow chosen;
    if (!FirstSelectedRow(IDList(dialog), &chosen))
        return;
    char master[PathChars] = {};
    TemporaryFile temporary;
    if (MasterSettingsPath(master) && temporary.Path()[0]) {
        FlushProfileCache(master);
        std::string text;
        // A master copy that cannot be read would give the drivers copies holding the choice alone.
        if (ReadSettingsText(master, &text) &&
            ReplaceFileContents(temporary.Path(),
                                WithKeysSet(text, "JobAccount",
                                            {{"JobAccountID", chosen.ID}, {"UserID", chosen.UserName}}))) {
            OwnedDriverList drivers;
            PropagateSettingsFile(&drivers.list, temporary.Path());
        }
    }
    if (auto* choice = static_cast<IdRow*>(GetPropA(dialog, ChoiceProperty)))
        *choice = chosen;
    EndDialog(dialog, 1);
}

void OnOk(HWND dialog)
{
    if (IsSelection(dialog)) {
        SendChoiceToDrivers(dialog);
        return;
    }
    char master[PathChars] = {};
    if (MasterSettingsPath(master)) {
        const bool on = IsDlgButtonChecked(dialog, IDC_FIXED_MODE) == BST_CHECKED;
        if (!WriteKeysAndList(dialog, master, IsFixed(dialog) ? FixedKeys(dialog, on ? "5" : "4") : ProfileKeys{})) {
            // The master copy is as it was; the edits stay in the dialog to be tried again.
            const DWORD error = GetLastError();
            ShowSettingsWriteFailure(dialog, master, error);
            return;
        }
    }
    EndDialog(dialog, 1);
}

// A settings file for another computer with this list; the master copy stays as it was.
void OnExport(HWND dialog)
{
    char folder[PathChars] = {};
    if (!BrowseForFolder(dialog, folder))
        return;
    char file[PathChars] = {};
    ProfileKeys keys = IsFixed(dialog) ? FixedKeys(dialog, "5") : ProfileKeys{{"Mode", "4"}};
    if (!ComposePath(file, {folder, "\\", Module.DatFile4})) {
        ShowFileFailure(dialog, "ExportErrorMessage", "Export failed.", folder, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (!WriteKeysAndList(dialog, file, keys)) {
        const DWORD error = GetLastError();
        ShowFileFailure(dialog, "ExportErrorMessage", "Export failed.", file, error);
        return;
    }
    ShowTextBox(dialog, "ExportMessage", "Export complete.", PathChars);
}

// ---- editing the list

void OnItemChanged(HWND dialog);

void OnImport(HWND dialog)
{
    char idFile[PathChars] = {};
    if (!ChooseIDFile(dialog, idFile))
        return;
    const int result = ImportIDFile(IDList(dialog), idFile, IsFixed(dialog));
    if (result == IdFileTooLarge || result == IdFileWideText)
        ShowIDFileRefusal(dialog, result == IdFileTooLarge ? IdFileRead::TooLarge : IdFileRead::WideText, idFile);
    else if (result != IdListAccepted)
        ShowTextBox(dialog, "ErrorMessage2", "Import File Error!", DialogTextChars);
}

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

// What the login-name dialog gave passes the checks of an import and of the next load, as the
// settings file will hold it (the name cut to 80 bytes): a row taken here and dropped by the next
// load would be deleted by the OK after it.
bool AcceptsAddedEntry(const IdRow& row, bool fixed)
{
    IdRow written = row;
    written.Name = written.Name.substr(0, IdNameBytes - 1);
    return CheckEntry(&written, fixed) == IdListAccepted;
}

void OnAdd(HWND dialog)
{
    LoginNameRequest request = {};
    request.Kind = IsFixed(dialog) ? 1 : 0;
    INT_PTR result = DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_LOGIN_NAME), dialog,
                                     LoginNameDialogProc, reinterpret_cast<LPARAM>(&request));
    if (result == 0 || result == -1)
        return;
    IdRow row = {Field(request.LoginName, sizeof request.LoginName), Field(request.UserName, sizeof request.UserName),
                 Field(request.IDText, sizeof request.IDText)};
    if (!AcceptsAddedEntry(row, IsFixed(dialog))) {
        ShowEntryError(dialog);
        return;
    }
    HWND list = IDList(dialog);
    int found = IsFixed(dialog) ? -1 : FindRowByName(list, row.Name.c_str());
    if (found < 0) {
        AppendListRows(list, {row});
        return;
    }
    std::string question = RegisteredQuestion(row.Name);
    if (MessageBoxA(dialog, question.c_str(), Module.AppName, MB_YESNO) != IDYES)
        return;
    SetRowTexts(list, found, found, row);
}

void OnSelect(HWND dialog)
{
    IdRow chosen;
    if (!FirstSelectedRow(IDList(dialog), &chosen))
        return;
    SetDlgItemTextA(dialog, IDC_FIXED_USER, chosen.UserName.c_str());
    SetDlgItemTextA(dialog, IDC_FIXED_ID, chosen.ID.c_str());
}

void OnDelete(HWND dialog)
{
    DeleteSelectedRows(IDList(dialog));
    // The list forgets its selection without a notification when its rows are renumbered.
    OnItemChanged(dialog);
}

// ---- notifications, timer, help

void OnItemChanged(HWND dialog)
{
    int selected = SelectedCount(IDList(dialog));
    if (IsSelection(dialog)) {
        EnableWindow(GetDlgItem(dialog, IDOK), selected == 1);
        return;
    }
    EnableWindow(GetDlgItem(dialog, IDC_SELECT), selected == 1);
    EnableWindow(GetDlgItem(dialog, IDC_DELETE), selected >= 1);
}

void NoteSelectionChange(HWND dialog)
{
    if (SelectionUpdatePending)
        return;
    SelectionUpdatePending = PostMessageA(dialog, SelectionChangedMessage, 0, 0) != FALSE;
}

INT_PTR OnNotify(HWND dialog, const NMHDR* header)
{
    if (!header || header->idFrom != IDC_ID_LIST)
        return FALSE;
    if (AnswerIDListNotify(dialog, header))
        return TRUE;
    switch (header->code) {
    case LVN_COLUMNCLICK:
        SortListByColumn(*reinterpret_cast<const NMLISTVIEW*>(header));
        return TRUE;
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
        NoteSelectionChange(dialog);
        return TRUE;
    case NM_DBLCLK:
        if (IsFixed(dialog) && SelectedCount(IDList(dialog)) > 0)
            PostMessageA(dialog, WM_COMMAND, IsSelection(dialog) ? IDOK : IDC_SELECT, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void OnTimer(HWND dialog)
{
    int counter = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropA(dialog, AttentionProperty)));
    FlashForAttention(dialog, counter, AttentionInFront::FlashCaption);
    SetPropA(dialog, AttentionProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(counter)));
}

void OnCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_IMPORT:
        OnImport(dialog);
        break;
    case IDC_ADD:
        OnAdd(dialog);
        break;
    case IDC_SELECT:
        OnSelect(dialog);
        break;
    case IDC_DELETE:
        OnDelete(dialog);
        break;
    case IDC_EXPORT:
        OnExport(dialog);
        break;
    default:
        break;
    }
}

}  // namespace

INT_PTR CALLBACK RegisteredIDDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DialogMessageOrFail(dialog, message, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_COMMAND:
            OnCommand(dialog, LOWORD(wParam));
            return TRUE;
        case WM_NOTIFY:
            return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
        case SelectionChangedMessage:
            SelectionUpdatePending = false;
            OnItemChanged(dialog);
            return TRUE;
        case WM_TIMER:
            if (wParam == AttentionTimer)
                OnTimer(dialog);
            return TRUE;
        case WM_HELP:
        case WM_CONTEXTMENU:
            HandleHelpMessage(message, wParam, lParam, IsFixed(dialog) ? FixedHelp : ListHelp);
            return TRUE;
        case WM_CLOSE:
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return TRUE;
        case WM_DESTROY:
            KillTimer(dialog, AttentionTimer);
            RemovePropA(dialog, AttentionProperty);
            SelectionUpdatePending = false;
            DeleteDialogFont(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}

extern "C" INT_PTR WINAPI SelectFixedJobAccountMode(HWND /*window*/, HINSTANCE /*instance*/, LPSTR /*commandLine*/,
                                                   int /*show*/)
{
    return ExportAnswer(INT_PTR{-1}, [] {
        if (!WindowsCanBeAnswered())
            return INT_PTR{-1};
        return OpenRegisteredIDDialog(nullptr, FixedIDSelection);
    });
}

namespace {

struct ChoiceStart {
    int task;
    IdRow* chosen;
};

// The dialog with a place for the row chosen: kept with the window before the dialog starts, so
// the selection's OK finds it whatever else happens to the window.
INT_PTR CALLBACK ChoiceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DialogMessageOrFail(dialog, message, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            const auto* start = reinterpret_cast<const ChoiceStart*>(lParam);
            SetPropA(dialog, ChoiceProperty, start->chosen);
            return RegisteredIDDialogProc(dialog, message, wParam, start->task);
        }
        if (message == WM_DESTROY)
            RemovePropA(dialog, ChoiceProperty);
        return RegisteredIDDialogProc(dialog, message, wParam, lParam);
    });
}

}  // namespace

INT_PTR OpenRegisteredIDDialog(HWND owner, int task, IdRow* chosen)
{
    // A print job reaches this for the fixed-ID choice: without the common controls it goes on as
    // when the dialog cannot be created.
    if (!RegisterListViewClass())
        return -1;
    if (!chosen)
        return DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_REGISTERED_ID), owner,
                               RegisteredIDDialogProc, static_cast<LPARAM>(task));
    ChoiceStart start = {task, chosen};
    return DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_REGISTERED_ID), owner, ChoiceDialogProc,
                           reinterpret_cast<LPARAM>(&start));
}
