#include "resolve/resolve.h"

#include <prsht.h>

#include <cstring>

#include "admin/registered_id_dialog.h"
#include "dialogs/entry_dialogs.h"
#include "idlist/driver_list.h"
#include "idlist/propagate.h"
#include "res/resource.h"
#include "resolve/driver_capability.h"
#include "resolve/identity.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/profile_cache.h"
#include "settings/settings_file.h"
#include "settings/text.h"

namespace {

const char AllPrinterSection[] = "AllPrinter";

// Applies the Overrides word: an enable bit forces `flag` to the value bit of the same word.
void SetFlag(JobAccountInfo* info, DWORD overrides, DWORD enableBit, DWORD valueBit, DWORD flag, bool fromSettings)
{
    bool on = (overrides & enableBit) ? (overrides & valueBit) != 0 : fromSettings;
    if (on)
        info->Flags |= flag;
    else
        info->Flags &= ~flag;
}

bool DialogsAllowed(const JobAccountInfo* info)
{
    if (info->Flags & JAF_NO_POPUP)
        return false;
    return !((info->Flags & JAF_NT) && IsRemoteJob(info->PrinterName));
}

void StoreIDText(JobAccountInfo* info, const char* text)
{
    CopyCut(info->JobAccountIDText, text);
    info->JobAccountID = ParseDecimal(info->JobAccountIDText);
}

// Opens a popup on the record; returns the dialog's result (-1 when it could not be created).
INT_PTR OpenRecordPopup(JobAccountInfo* info, int templateId, DLGPROC procedure)
{
    PROPSHEETPAGEA page = {};
    page.lParam = reinterpret_cast<LPARAM>(info);
    return DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(templateId), GetActiveWindow(), procedure,
                           reinterpret_cast<LPARAM>(&page));
}

DWORD HideModeBits(const char* settingsPath)
{
    switch (ReadProfileNumberRemembered(settingsPath, "JobAccount", "Mode", 4)) {
    case 5: return 0x08;
    case 6: return 0x14;
    case 7: return 0x24;
    default: return 0x04;
    }
}

// Mode bits, where 0x20 stands for the host address flag.
void SetModeFlags(JobAccountInfo* info, DWORD bits, DWORD overrides)
{
    SetFlag(info, overrides, OVR_TAB, 0x001, JAF_TAB, bits & 0x01);
    SetFlag(info, overrides, OVR_POPUP, 0x002, JAF_POPUP, bits & 0x02);
    SetFlag(info, overrides, OVR_HIDE, 0x004, JAF_HIDE, bits & 0x04);
    SetFlag(info, overrides, OVR_FIXED_ID, 0x008, JAF_FIXED_ID, bits & 0x08);
    SetFlag(info, overrides, OVR_HIDE_PATH, 0x010, JAF_HIDE_PATH, bits & 0x10);
    SetFlag(info, overrides, OVR_HOST_ADDRESS, 0x020, JAF_HOST_ADDRESS, bits & 0x20);
}

// Asks for a fixed ID with the login-name dialog and stores it in the master copy for every driver.
bool AskAndStoreFixedID()
{
    LoginNameRequest request = {};
    request.Kind = 2;
    INT_PTR result = DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_JOBACCOUNT_POPUP), GetActiveWindow(),
                                     LoginNameDialogProc, reinterpret_cast<LPARAM>(&request));
    if (result <= 0)
        return false;
    char master[PathChars];
    MasterSettingsPath(master);
    SetProfileKeys(master, "JobAccount",
                   {{"JobAccountID", std::string(request.IDText, strnlen(request.IDText, sizeof request.IDText))},
                    {"UserID", std::string(request.UserName, strnlen(request.UserName, sizeof request.UserName))}});
    OwnedDriverList drivers;
    PropagateSettingsFile(&drivers.list, nullptr);
    return true;
}

bool HasFixedIDCandidates(const char* settingsFile)
{
    char firstKey[4] = {};
    return GetPrivateProfileStringA("FixedID", nullptr, "", firstKey, sizeof firstKey, settingsFile) > 0;
}

// Asks for the fixed ID: a choice among the settings file's candidates, which the dialog sends to
// every driver's copy, or else an entry for the master copy. False when nothing was given. A
// selection dialog that cannot be created ends like a cancel: the job still prints, with the ID
// read and the job's owner as user, as when the entry dialog cannot be created.
bool AskForFixedID(const JobAccountInfo* info)
{
    if (HasFixedIDCandidates(info->SettingsFilePath))
        return OpenRegisteredIDDialog(GetActiveWindow(), FixedIDSelection) > 0;
    return AskAndStoreFixedID();
}

// Reads the fixed ID and user of the settings file into the record; true when a user is stored.
bool ReadFixedEntry(JobAccountInfo* info)
{
    char text[IDTextChars] = {};
    ReadProfileText(info->SettingsFilePath, "JobAccount", "JobAccountID", "0", text);
    StoreIDText(info, text);
    ReadProfileText(info->SettingsFilePath, "JobAccount", "UserID", "", info->UserID);
    return info->UserID[0] != '\0';
}

void ResolveFixedID(JobAccountInfo* info)
{
    // Every stored entry is read back from the settings file, the last one included. The bound is
    // on the dialogs: a settings file that never takes the entry must not ask without end.
    const int MostDialogs = 3;
    for (int dialogs = 0;; ++dialogs) {
        if (ReadFixedEntry(info))
            return;
        if (info->JobAccountID != 0 || dialogs == MostDialogs || !DialogsAllowed(info) || !AskForFixedID(info))
            break;
    }
    GetJobUserName(info);
}

void ResolveHide(JobAccountInfo* info)
{
    if (!GetJobUserName(info)) {
        info->JobAccountID = 0;
        info->JobAccountIDText[0] = '\0';
        info->UserID[0] = '\0';
        return;
    }
    // A list path that does not fit names no list file, as a missing one does.
    char listFile[PathChars] = {};
    char path[PathChars - 1] = {};
    if ((info->Flags & JAF_HIDE_PATH) &&
        ReadProfileTextRemembered(info->SettingsFilePath, "JobAccount", "Path", "", path, sizeof path) > 0)
        ComposePath(listFile, {path, "\\", Module.DatFile4});
    else
        ComposePath(listFile, {info->SettingsFilePath});
    if (!listFile[0] || GetFileAttributesA(listFile) == INVALID_FILE_ATTRIBUTES)
        return;

    char value[PathChars - 1] = {};
    ReadProfileTextRemembered(listFile, "JobAccountID", info->UserID, "0", value, sizeof value);
    if (char* comma = strchr(value, ',')) {
        *comma = '\0';
        CopyCut(info->UserID, comma + 1);
    }
    StoreIDText(info, value);

    if (info->Flags & JAF_HOST_ADDRESS) {
        char address[32] = {};
        if (GetHostAddress(address, sizeof address) && address[0] &&
            strlen(info->UserID) + strlen(address) + 2 < sizeof info->UserID) {
            AppendCut(info->UserID, "(");
            AppendCut(info->UserID, address);
            AppendCut(info->UserID, ")");
        }
    }
}

// False when the popup could not be created.
bool ResolvePopup(JobAccountInfo* info)
{
    info->JobAccountID = 0;
    info->JobAccountIDText[0] = '\0';
    info->UserID[0] = '\0';
    bool created = true;
    if (DialogsAllowed(info))
        created = OpenRecordPopup(info, IDD_JOBACCOUNT_POPUP, JobAccountDialogProc) != -1;
    else
        GetJobUserName(info);
    info->Flags &= ~JAF_POPUP;
    return created;
}

// Certificate ID mode of the account-file branch. False when a popup could not be created.
bool ResolveCertificateID(JobAccountInfo* info, const char* section, DWORD overrides)
{
    const char* file = info->AccountFilePath;
    ReadProfileText(file, section, "JobAccountID", "", info->JobAccountIDText);
    if (!info->JobAccountIDText[0]) {
        char own[IDTextChars] = {};
        if (ReadProfileText(file, info->PrinterName, "JobAccountID", "", own) > 0) {
            CopyCut(info->JobAccountIDText, own);
            WriteProfileText(file, section, "JobAccountID", own);
        } else {
            info->Flags |= JAF_POPUP;
        }
    }
    GetJobUserName(info);
    bool certified = CertificateMatches(info);
    if (certified) {
        info->Flags |= JAF_CERT_USER;
    } else {
        char current[UserIDChars];
        CopyCut(current, info->UserID);
        ReadProfileText(file, section, "UserID", current, info->UserID);
        if (!info->UserID[0])
            info->Flags |= JAF_POPUP;
    }
    if (info->Flags & JAF_POPUP) {
        bool popupAllowed = !(overrides & OVR_POPUP) || (overrides & 0x002);
        if (popupAllowed && DialogsAllowed(info)) {
            INT_PTR result = OpenRecordPopup(info, IDD_JOBACCOUNT_POPUP, JobAccountDialogProc);
            if (result == -1)
                return false;
            if (result != 0) {
                if (!(info->Flags & JAF_CERT_USER))
                    WriteProfileText(file, section, "UserID", info->UserID);
                WriteProfileText(file, section, "JobAccountID", info->JobAccountIDText);
            }
        }
        info->Flags &= ~JAF_POPUP;
    }
    info->JobAccountID = ParseDecimal(info->JobAccountIDText);
    if (certified && info->JobAccountID < 100000)
        info->JobAccountID += 999900000;
    return true;
}

// False when a popup could not be created or no memory is left for the account file's path.
bool ResolveAccountFile(JobAccountInfo* info, DWORD overrides)
{
    // Without a path the profile functions would use WIN.INI: end as a printer without job
    // accounting does.
    if (!ComposeAccountFilePath(info))
        return false;
    const char* file = info->AccountFilePath;

    bool colour = ReadCommonNumber("PopupColorPassword", 0) != 0 &&
                  ReadProfileNumber(file, info->PrinterName, "PopupColorPassword", 0) != 0;
    SetFlag(info, overrides, OVR_COLOR_PASSWORD, 0x040, JAF_COLOR_PASSWORD, colour);
    if (info->Flags & JAF_COLOR_PASSWORD) {
        char password[IDTextChars] = {};
        ReadProfileText(file, info->PrinterName, "ColorPassword", "", password);
        StoreIDText(info, password);
        ReadProfileText(file, info->PrinterName, "UserIDByColor", "", info->UserID);
        INT_PTR result = 0;
        if (DialogsAllowed(info)) {
            result = OpenRecordPopup(info, IDD_COLOR_PASSWORD, ColorPasswordDialogProc);
            if (result == -1)
                return false;
        }
        info->Flags &= ~JAF_COLOR_PASSWORD;
        if (result != 0)
            return true;
    }

    SetFlag(info, overrides, OVR_ALL_PRINTER, 0x080, JAF_ALL_PRINTER, ReadCommonNumber("AllPrinterIsSameID", 0) != 0);
    const char* section = (info->Flags & JAF_ALL_PRINTER) ? AllPrinterSection : info->PrinterName;
    SetFlag(info, overrides, OVR_VEXA_ID, 0x100, JAF_VEXA_ID, ReadCommonNumber("GetVexaIDMode", 0) != 0);
    if (info->Flags & JAF_VEXA_ID)
        return ResolveCertificateID(info, section, overrides);

    char text[IDTextChars] = {};
    ReadProfileTextRemembered(file, section, "JobAccountID", "1", text, sizeof text);
    StoreIDText(info, text);
    ReadProfileTextRemembered(file, section, "UserID", "", info->UserID, sizeof info->UserID);
    if (!info->UserID[0])
        GetJobUserName(info);
    return true;
}

}  // namespace

JobAccountInfo* ResolveJobAccount(const char* printerName, DWORD overrides)
{
    if (!printerName)
        return nullptr;
    DWORD driverFlag = 0;
    char settingsPath[PathChars] = {};
    DWORD mode = DetectDriverMode(printerName, &driverFlag, settingsPath);
    // Hide mode without a settings file it can name has nothing to read its variant or list from.
    if (mode == ModeNoSupport || (mode == ModeHide && !settingsPath[0]))
        return nullptr;

    JobAccountInfo* info = AllocateJobAccountInfo();
    if (!info)
        return nullptr;
    info->PrinterName = DuplicateString(printerName);

    DWORD bits = mode;
    if (mode == ModeTab)
        bits = 0x01;
    else if (mode == ModePopup)
        bits = 0x02;
    else if (mode == ModeHide) {
        info->SettingsFilePath = DuplicateString(settingsPath);
        bits = HideModeBits(settingsPath);
    }
    if (IsNTPlatform())
        info->Flags |= JAF_NT;
    if (IsVistaOrLater())
        info->Flags |= JAF_VISTA;
    char title[PathChars] = {};
    ReadStringText("TabTitle", "Job Account", title, sizeof title);
    info->TabTitle = DuplicateString(title);
    if (!info->PrinterName || !info->TabTitle || (mode == ModeHide && !info->SettingsFilePath)) {
        ReleaseJobAccountInfo(info);
        return nullptr;
    }

    SetModeFlags(info, bits, overrides);
    SetFlag(info, overrides, OVR_POPUP_CANCEL_HIDE, 0x200, JAF_POPUP_CANCEL_HIDE,
            ReadCommonNumber("PopupCancelHide", 0) != 0);
    SetFlag(info, overrides, OVR_POPUP_OK_DISABLED, 0x400, JAF_POPUP_OK_DISABLED,
            ReadCommonNumber("PopupOKDisabled", 0) != 0);
    if ((info->Flags & JAF_VISTA) && ReadCommonNumber("VistaPopupDisabled", 1) != 0 && !(driverFlag & 1))
        info->Flags |= JAF_NO_POPUP;

    bool ok = true;
    if (info->Flags & JAF_FIXED_ID)
        ResolveFixedID(info);
    else if (info->Flags & JAF_HIDE)
        ResolveHide(info);
    else if (info->Flags & JAF_POPUP)
        ok = ResolvePopup(info);
    else
        ok = ResolveAccountFile(info, overrides);
    if (!ok) {
        ReleaseJobAccountInfo(info);
        return nullptr;
    }
    info->PageOwner = nullptr;
    return info;
}
