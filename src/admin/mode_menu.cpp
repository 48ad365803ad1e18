// The mode administration dialog's menu: the fixed job account ID, another client's list, help and
// the version box. Every change to the master copy goes on to the Hide-mode drivers' copies.
#include "admin/mode_menu.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "admin/another_client_dialog.h"
#include "dialogs/registered_id_dialog.h"
#include "admin/version_text.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/entry_dialogs.h"
#include "dialogs/failure_messages.h"
#include "dialogs/id_file_dialog.h"
#include "idlist/id_import.h"
#include "idlist/id_list_view.h"
#include "idlist/propagate.h"
#include "res/resource.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/settings_file.h"
#include "settings/text.h"

namespace {

enum : DWORD { ModeHideList = 4, ModeFixedID = 5 };
enum : size_t { VersionTextChars = 1024, AddedStringChars = 32 };
enum : DWORD { ImportErrorChars = 4096 };

// A dialog result other than 0 (cancelled) and -1 (not created) means the settings changed.
bool DialogChangedSettings(INT_PTR result) { return result != 0 && result != -1; }

void EnableFixedID(HWND dialog, const DriverList* drivers)
{
    char master[PathChars] = {};
    if (!MasterSettingsPath(master))
        return;
    bool enable = ReadProfileNumber(master, "JobAccount", "Mode", ModeHideList) != ModeFixedID;
    if (!SetProfileKeys(master, "JobAccount", {{"Mode", enable ? "5" : "4"}})) {
        // The mode did not change, so neither does the item's check.
        const DWORD error = GetLastError();
        ShowSettingsWriteFailure(dialog, master, error);
        return;
    }
    if (HMENU menu = GetMenu(dialog))
        CheckMenuItem(menu, IDM_ENABLE_FIXED_ID, MF_BYCOMMAND | (enable ? MF_CHECKED : MF_UNCHECKED));
    PropagateSettingsFile(drivers, nullptr);
}

void SetUpFixedID(HWND dialog, const DriverList* drivers)
{
    char master[PathChars] = {};
    if (!MasterSettingsPath(master))
        return;
    LoginNameRequest request = {};
    request.Kind = 2;
    ReadProfileText(master, "JobAccount", "JobAccountID", "", request.IDText);
    ReadProfileText(master, "JobAccount", "UserID", "", request.UserName);
    INT_PTR result = DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_JOBACCOUNT_POPUP), dialog,
                                     LoginNameDialogProc, reinterpret_cast<LPARAM>(&request));
    if (!DialogChangedSettings(result))
        return;
    if (!SetProfileKeys(master, "JobAccount",
                        {{"JobAccountID", std::string(request.IDText, strnlen(request.IDText, sizeof request.IDText))},
                         {"UserID", std::string(request.UserName, strnlen(request.UserName, sizeof request.UserName))}})) {
        const DWORD error = GetLastError();
        ShowSettingsWriteFailure(dialog, master, error);
        return;
    }
    PropagateSettingsFile(drivers, nullptr);
}

void SetUpAnotherClient(HWND dialog, const DriverList* drivers)
{
    RegisterListViewClass();
    INT_PTR result = DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_ANOTHER_CLIENT), dialog,
                                     AnotherClientDialogProc, 0);
    if (DialogChangedSettings(result))
        PropagateSettingsFile(drivers, nullptr);
}

void EditIDList(HWND dialog, const DriverList* drivers, int task)
{
    if (DialogChangedSettings(OpenRegisteredIDDialog(dialog, task)))
        PropagateSettingsFile(drivers, nullptr);
}

void ShowVersion(HWND dialog)
{
    char text[VersionTextChars] = {};
    // Without a version resource there is no version to tell; the name alone still answers.
    if (!BuildVersionText(text))
        CopyCut(text, Module.AppName);
    MessageBoxA(dialog, text, Module.AppName, MB_OK);
}

// One value of the version resource's string table for the language and code page `translation`.
const char* VersionString(const std::vector<BYTE>& block, DWORD translation, const char* name)
{
    char query[64] = {};
    snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", static_cast<unsigned>(LOWORD(translation)),
             static_cast<unsigned>(HIWORD(translation)), name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query, &value, &length) || !value || length == 0)
        return "";
    return static_cast<const char*>(value);
}

}  // namespace

int BuildVersionText(char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    char path[TextChars] = {};
    DWORD length = GetModuleFileNameA(Module.ModuleInstance, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    DWORD ignored = 0;
    DWORD blockSize = GetFileVersionInfoSizeA(path, &ignored);
    if (blockSize == 0)
        return 0;
    std::vector<BYTE> block;
    try {
        block.resize(blockSize);
    } catch (...) {
        return 0;
    }
    if (!GetFileVersionInfoA(path, 0, blockSize, block.data()))
        return 0;
    DWORD* translations = nullptr;
    UINT translationBytes = 0;
    DWORD translation = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                       &translationBytes) &&
        translations && translationBytes >= sizeof(DWORD))
        translation = translations[0];

    // Texts from the string file and the resource are arguments only, never the format.
    char added[AddedStringChars] = {};
    ReadCommonText("VersionAddedString", "", added, sizeof added);
    snprintf(buffer, size, "%s Ver.%s%s\n", Module.AppName, VersionString(block, translation, "ProductVersion"),
             added);
    char copyright[TextChars] = {};
    ReadCommonText("Copyright", "", copyright, sizeof copyright);
    AppendCopyrightLines(buffer, size,
                         copyright[0] ? copyright : VersionString(block, translation, "LegalCopyright"));
    return 1;
}

void CountRefusal(size_t /*line*/, int /*code*/, void* count) { ++*static_cast<size_t*>(count); }

// The menu's import: the chosen ID file's entries go into the master copy, which is then
// propagated whatever was refused. Refused lines are reported once; a file refused as a whole, or a
// master copy that could not take the entries, is reported with what failed.
void ImportIDFileFromMenu(HWND dialog)
{
    char idFile[PathChars] = {};
    if (!ChooseIDFile(dialog, idFile))
        return;
    size_t refused = 0;
    int result = ImportIDFileIntoMaster(idFile, CountRefusal, &refused);
    const DWORD error = GetLastError();
    if (result == IdImportUnreadable)
        return;
    if (result == IdImportTooLarge || result == IdImportWideText) {
        ShowIDFileRefusal(dialog, result == IdImportTooLarge ? IdFileRead::TooLarge : IdFileRead::WideText, idFile);
        return;
    }
    char master[PathChars] = {};
    if (result == IdImportNotWritten && MasterSettingsPath(master)) {
        ShowSettingsWriteFailure(dialog, master, error);
        return;
    }
    if (refused > 0 || result == IdImportNotWritten) {
        std::vector<char> text(ImportErrorChars, '\0');
        ReadStringText("ErrorMessage2", "Import File Error!", text.data(), ImportErrorChars);
        MessageBoxA(dialog, text.data(), Module.AppName, MB_OK);
    }
}

bool RunModeMenuCommand(HWND dialog, UINT id, const DriverList* drivers)
{
    switch (id) {
    case IDM_IMPORT:
        ImportIDFileFromMenu(dialog);
        return true;
    case IDM_ENABLE_FIXED_ID:
        EnableFixedID(dialog, drivers);
        return true;
    case IDM_SETUP_FIXED_ID:
        SetUpFixedID(dialog, drivers);
        return true;
    case IDM_REGISTERED_ID:
        EditIDList(dialog, drivers, RegisteredIDList);
        return true;
    case IDM_SELECT_FIXED_ID:
        EditIDList(dialog, drivers, FixedIDSetup);
        return true;
    case IDM_ANOTHER_CLIENT:
        SetUpAnotherClient(dialog, drivers);
        return true;
    case IDM_HELP:
        ShowHelpFile(dialog);
        return true;
    case IDM_VERSION:
        ShowVersion(dialog);
        return true;
    default:
        return false;
    }
}
