#include "resolve/resolve.h"

#include <prsht.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialogs/registered_id_dialog.h"
#include "dialogs/entry_dialogs.h"
#include "settings/message_box.h"
#include "idlist/driver_list.h"
#include "idlist/id_list.h"
#include "idlist/propagate.h"
#include "res/resource.h"
#include "capability/driver_capability.h"
#include "resolve/identity.h"
#include "capability/trace.h"
#include "settings/account_file.h"
#include "settings/file_handle.h"
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

enum class DialogBar { None, VistaRule, UnseenStation, RemoteJob };

DialogBar WhatKeepsDialogsClosed(const JobAccountInfo* info)
{
    if (info->Flags & JAF_NO_POPUP)
        return DialogBar::VistaRule;
    if (!WindowStationVisible())
        return DialogBar::UnseenStation;
    if ((info->Flags & JAF_NT) && IsRemoteJob(info->PrinterName))
        return DialogBar::RemoteJob;
    return DialogBar::None;
}

// Whether the resolution may open `dialog` now. A traced resolution never does: it tells whether the
// dialog would open, or what keeps it closed, and goes on as after a cancel.
bool MayOpenDialog(const JobAccountInfo* info, ResolveTrace* trace, const char* dialog)
{
    const DialogBar bar = WhatKeepsDialogsClosed(info);
    if (!trace)
        return bar == DialogBar::None;
    const std::string name = dialog;
    switch (bar) {
    case DialogBar::None:
        trace->Link("popup", "the " + name + " would be shown at print time; the ID below is as if it were cancelled");
        break;
    case DialogBar::VistaRule:
        trace->Link("popup", "the " + name + " is not shown: the Vista rule (VistaPopupDisabled, driver flag bit 0 clear)",
                    Module.StringFilePath);
        trace->Problem("the Vista rule suppresses the " + name +
                           ": set VistaPopupDisabled=0 in [common], or JobAccountDrvFlag=1 in the driver's capability file",
                       Module.StringFilePath);
        break;
    case DialogBar::UnseenStation:
        trace->Link("popup", "the " + name + " is not shown: this process's window station is not visible (a service)");
        break;
    case DialogBar::RemoteJob:
        trace->Link("popup", "the " + name + " is not shown: the job comes from another computer");
        break;
    }
    return false;
}

void TraceAnswerSource(ResolveTrace* trace, const char* source, const char* file)
{
    if (trace)
        trace->Link("ID from", source, file ? file : "");
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

DWORD HideModeBits(const char* settingsPath, ResolveTrace* trace)
{
    DWORD variant = ReadProfileNumberRemembered(settingsPath, "JobAccount", "Mode", 4);
    if (trace) {
        trace->Link("settings Mode", "[JobAccount] Mode=" + std::to_string(variant), settingsPath);
        if (variant < 4 || variant > 7)
            trace->Problem("[JobAccount] Mode=" + std::to_string(variant) + " is outside 4-7 and acts as Mode 4",
                           settingsPath);
    }
    switch (variant) {
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

// Asks for a fixed ID with the login-name dialog and stores it in the master copy for every driver;
// `given` receives what was entered.
bool AskAndStoreFixedID(IdRow* given)
{
    LoginNameRequest request = {};
    request.Kind = 2;
    INT_PTR result = DialogBoxParamA(Module.ModuleInstance, MAKEINTRESOURCEA(IDD_JOBACCOUNT_POPUP), GetActiveWindow(),
                                     LoginNameDialogProc, reinterpret_cast<LPARAM>(&request));
    if (result <= 0)
        return false;
    given->ID.assign(request.IDText, strnlen(request.IDText, sizeof request.IDText));
    given->UserName.assign(request.UserName, strnlen(request.UserName, sizeof request.UserName));
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
    // Without a file name the profile functions would read WIN.INI.
    if (!settingsFile || !settingsFile[0])
        return false;
    char firstKey[4] = {};
    return GetPrivateProfileStringA(FixedIDSection, nullptr, "", firstKey, sizeof firstKey, settingsFile) > 0;
}

// Asks for the fixed ID: a choice among the settings file's candidates, which the dialog sends to
// every driver's copy, or else an entry for the master copy. False when nothing was given; else
// `given` holds the ID and user name chosen or entered. A selection dialog that cannot be created
// ends like a cancel: the job still prints, with the ID read and the job's owner as user, as when
// the entry dialog cannot be created.
bool AskForFixedID(const JobAccountInfo* info, IdRow* given)
{
    if (HasFixedIDCandidates(info->SettingsFilePath))
        return OpenRegisteredIDDialog(GetActiveWindow(), FixedIDSelection, given) > 0;
    return AskAndStoreFixedID(given);
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

// A given entry that the settings file did not take (a user who may not write the module's or the
// drivers' folders) still serves the job in hand: asking again could not store it either, and the
// job would print with ID 0. False when the file took it, or nothing usable was given.
bool TakeEntryNotStored(JobAccountInfo* info, const IdRow& given)
{
    if (ReadFixedEntry(info) || info->JobAccountID != 0)
        return false;
    if (ParseDecimal(given.ID.c_str()) == 0)
        return false;
    StoreIDText(info, given.ID.c_str());
    CopyCut(info->UserID, given.UserName.c_str());
    if (!info->UserID[0])
        GetJobUserName(info);
    return true;
}

void ResolveFixedID(JobAccountInfo* info, ResolveTrace* trace)
{
    // Every stored entry is read back from the settings file, the last one included. The bound is
    // on the dialogs: an entry left empty must not ask without end.
    const int MostDialogs = 3;
    for (int dialogs = 0;; ++dialogs) {
        if (ReadFixedEntry(info))
            break;
        IdRow given;
        if (info->JobAccountID != 0 || dialogs == MostDialogs || !MayOpenDialog(info, trace, "fixed-ID dialog") ||
            !AskForFixedID(info, &given)) {
            GetJobUserName(info);
            break;
        }
        if (TakeEntryNotStored(info, given))
            break;
    }
    if (trace) {
        TraceAnswerSource(trace, "fixed ID: [JobAccount] JobAccountID and UserID", info->SettingsFilePath);
        if (info->JobAccountID == 0)
            trace->Problem("no fixed ID is stored: jobs carry ID 0", info->SettingsFilePath);
    }
}

bool HasRegisteredIDs(const char* listFile)
{
    char firstKey[4] = {};
    return GetPrivateProfileStringA("JobAccountID", nullptr, "", firstKey, sizeof firstKey, listFile) > 0;
}

void TraceListFile(ResolveTrace* trace, const JobAccountInfo* info, const char* path, const char* listFile)
{
    const bool shared = (info->Flags & JAF_HIDE_PATH) && path[0];
    trace->Link("registered-ID list", shared ? "the shared list that [JobAccount] Path names" : "the settings file's own list",
                listFile);
    if (!listFile[0] || GetFileAttributesA(listFile) == INVALID_FILE_ATTRIBUTES) {
        if (shared)
            trace->Problem("[JobAccount] Path names no usable list: " + std::string(listFile) + " cannot be read",
                           info->SettingsFilePath);
        else
            trace->Problem("the registered-ID list cannot be read", listFile);
    } else if (shared && !HasRegisteredIDs(listFile)) {
        trace->Problem("[JobAccount] Path names no usable list: " + std::string(listFile) + " registers no ID",
                       info->SettingsFilePath);
    }
}

void TraceRegisteredEntry(ResolveTrace* trace, const char* listFile, const char* user)
{
    char value[PathChars - 1] = {};
    if (ReadProfileText(listFile, "JobAccountID", user, "", value) == 0) {
        trace->Link("ID from", "no registered-ID entry for \"" + std::string(user) + "\": ID 0", listFile);
        trace->Problem("\"" + std::string(user) + "\" has no entry in [JobAccountID]: jobs carry ID 0", listFile);
    } else
        trace->Link("ID from", "registered-ID entry [JobAccountID] " + std::string(user) + "=" + value, listFile);
}

void ResolveHide(JobAccountInfo* info, ResolveTrace* trace)
{
    if (!GetJobUserName(info)) {
        info->JobAccountID = 0;
        info->JobAccountIDText[0] = '\0';
        info->UserID[0] = '\0';
        if (trace)
            trace->Problem("the job's owner cannot be found, so no registered ID can be looked up", "");
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
    if (trace)
        TraceListFile(trace, info, path, listFile);
    if (!listFile[0] || GetFileAttributesA(listFile) == INVALID_FILE_ATTRIBUTES)
        return;

    char value[PathChars - 1] = {};
    if (trace)
        TraceRegisteredEntry(trace, listFile, info->UserID);
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
bool ResolvePopup(JobAccountInfo* info, ResolveTrace* trace)
{
    info->JobAccountID = 0;
    info->JobAccountIDText[0] = '\0';
    info->UserID[0] = '\0';
    bool created = true;
    if (MayOpenDialog(info, trace, "job account popup"))
        created = OpenRecordPopup(info, IDD_JOBACCOUNT_POPUP, JobAccountDialogProc) != -1;
    else
        GetJobUserName(info);
    info->Flags &= ~JAF_POPUP;
    TraceAnswerSource(trace, "the job account popup at print time (none shown: ID 0)", "");
    return created;
}

// Whether the user may write the file, asked of its access list. Opening it for writing would answer
// for another file where Windows redirects a program's writes to the user's VirtualStore, and
// could leave a file there.
bool UserMayWrite(const char* path)
{
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityA(path, parts, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    std::vector<BYTE> descriptor(needed, 0);
    if (!GetFileSecurityA(path, parts, descriptor.data(), needed, &needed))
        return false;
    // The access check asks for an impersonation token: the thread's own, else a copy of the process's.
    KernelHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.receive())) {
        KernelHandle process;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.receive()) ||
            !DuplicateToken(process.get(), SecurityImpersonation, token.receive()))
            return false;
    }
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD wanted = FILE_GENERIC_WRITE;
    MapGenericMask(&wanted, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    return AccessCheck(descriptor.data(), token.get(), wanted, &mapping, &privileges, &privilegesSize, &granted,
                       &allowed) &&
           allowed;
}

void TraceAccountFile(ResolveTrace* trace, const char* file)
{
    const std::string path = ProfileFileLocation(file);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        trace->Link("account file", "not there yet (created when an entry is stored)", path);
        return;
    }
    trace->Link("account file", "present", path);
    switch (CheckAccountFileWrite(file)) {
    case AccountFileWrite::NotAPlainFile:
        trace->Problem("the account file is a link or not a plain file: the module never writes it, so entries "
                       "made in the popup or tab are lost",
                       path);
        return;
    case AccountFileWrite::NotTheCallers:
        trace->Link("account file", "another user's: written only in that user's own processes", path);
        return;
    case AccountFileWrite::Allowed:
        break;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) || !UserMayWrite(path.c_str()))
        trace->Problem("the user cannot write the account file, so entries made in the popup or tab are lost", path);
}

// Certificate ID mode of the account-file branch. False when a popup could not be created.
bool ResolveCertificateID(JobAccountInfo* info, const char* section, DWORD overrides, ResolveTrace* trace)
{
    const char* file = info->AccountFilePath;
    ReadProfileText(file, section, "JobAccountID", "", info->JobAccountIDText);
    if (!info->JobAccountIDText[0]) {
        char own[IDTextChars] = {};
        if (ReadProfileText(file, info->PrinterName, "JobAccountID", "", own) > 0) {
            CopyCut(info->JobAccountIDText, own);
            if (!trace)
                WriteAccountFileValue(file, section, "JobAccountID", own);
        } else {
            info->Flags |= JAF_POPUP;
        }
    }
    GetJobUserName(info);
    bool certified = false;
    if (trace)
        trace->Link("certificate", "the certificate library would be asked whether a certificate vouches for \"" +
                                       std::string(info->UserID) + "\"; the ID below is as if none did",
                    CertificateLibraryPath());
    else
        certified = CertificateMatches(info);
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
        if (popupAllowed && MayOpenDialog(info, trace, "job account popup")) {
            INT_PTR result = OpenRecordPopup(info, IDD_JOBACCOUNT_POPUP, JobAccountDialogProc);
            if (result == -1)
                return false;
            if (result != 0) {
                if (!(info->Flags & JAF_CERT_USER))
                    WriteAccountFileValue(file, section, "UserID", info->UserID);
                WriteAccountFileValue(file, section, "JobAccountID", info->JobAccountIDText);
            }
        }
        info->Flags &= ~JAF_POPUP;
    }
    info->JobAccountID = ParseDecimal(info->JobAccountIDText);
    if (certified && info->JobAccountID < 100000)
        info->JobAccountID += 999900000;
    if (trace)
        trace->Link("ID from",
                    std::string(certified ? "certificate (user from the job owner's certificate), " : "") +
                        "account file section [" + section + "]",
                    ProfileFileLocation(file));
    return true;
}

// False when a popup could not be created or no memory is left for the account file's path.
bool ResolveAccountFile(JobAccountInfo* info, DWORD overrides, ResolveTrace* trace)
{
    // Without a path the profile functions would use WIN.INI: end as a printer without job
    // accounting does.
    if (!ComposeAccountFilePath(info))
        return false;
    const char* file = info->AccountFilePath;
    if (trace)
        TraceAccountFile(trace, file);

    bool colour = ReadCommonNumber("PopupColorPassword", 0) != 0 &&
                  ReadProfileNumber(file, info->PrinterName, "PopupColorPassword", 0) != 0;
    SetFlag(info, overrides, OVR_COLOR_PASSWORD, 0x040, JAF_COLOR_PASSWORD, colour);
    if (info->Flags & JAF_COLOR_PASSWORD) {
        char password[IDTextChars] = {};
        ReadProfileText(file, info->PrinterName, "ColorPassword", "", password);
        StoreIDText(info, password);
        ReadProfileText(file, info->PrinterName, "UserIDByColor", "", info->UserID);
        INT_PTR result = 0;
        if (MayOpenDialog(info, trace, "colour-password popup")) {
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
        return ResolveCertificateID(info, section, overrides, trace);

    char text[IDTextChars] = {};
    ReadProfileTextRemembered(file, section, "JobAccountID", "1", text, sizeof text);
    StoreIDText(info, text);
    ReadProfileTextRemembered(file, section, "UserID", "", info->UserID, sizeof info->UserID);
    if (!info->UserID[0])
        GetJobUserName(info);
    if (trace) {
        char stored[IDTextChars] = {};
        trace->Link("ID from",
                    std::string("account file section [") + section + "]" +
                        (info->Flags & JAF_ALL_PRINTER ? " (AllPrinterIsSameID)" : "") +
                        (ReadProfileText(file, section, "JobAccountID", "", stored) == 0 ? ", no JobAccountID there: ID 1"
                                                                                         : ""),
                    ProfileFileLocation(file));
    }
    return true;
}

// The string file's switches that steer the resolution, and whether the Vista rule holds popups back.
void TraceSwitches(ResolveTrace* trace, const JobAccountInfo* info, DWORD driverFlag)
{
    std::string switches;
    for (const char* key : {"AllPrinterIsSameID", "GetVexaIDMode", "PopupColorPassword", "PopupCancelHide",
                            "PopupOKDisabled"})
        switches += std::string(switches.empty() ? "" : ", ") + key + "=" + std::to_string(ReadCommonNumber(key, 0));
    trace->Link("string file switches", switches, Module.StringFilePath);
    const std::string rule = "VistaPopupDisabled=" + std::to_string(ReadCommonNumber("VistaPopupDisabled", 1)) +
                             ", driver flag " + std::to_string(driverFlag);
    if (!(info->Flags & JAF_VISTA))
        trace->Link("Vista popup rule", "not applicable before Windows Vista");
    else if (info->Flags & JAF_NO_POPUP)
        trace->Link("Vista popup rule", "holds popups back (" + rule + ")", Module.StringFilePath);
    else
        trace->Link("Vista popup rule", "lets popups show (" + rule + ")", Module.StringFilePath);
}

// Owns the record until it is handed to the caller: every early return gives it back, as does an
// exception out of a diagnosis's text.
class PendingRecord {
public:
    explicit PendingRecord(JobAccountInfo* info) : info_(info) {}
    ~PendingRecord()
    {
        if (info_)
            ReleaseJobAccountInfo(info_);
    }
    PendingRecord(const PendingRecord&) = delete;
    PendingRecord& operator=(const PendingRecord&) = delete;
    JobAccountInfo* get() const { return info_; }
    JobAccountInfo* HandOver()
    {
        JobAccountInfo* info = info_;
        info_ = nullptr;
        return info;
    }

private:
    JobAccountInfo* info_;
};

}  // namespace

JobAccountInfo* ResolveJobAccount(const char* printerName, DWORD overrides, ResolveTrace* trace)
{
    if (!printerName)
        return nullptr;
    DWORD driverFlag = 0;
    char settingsPath[PathChars] = {};
    DWORD mode = DetectDriverMode(printerName, &driverFlag, settingsPath, trace);
    // Hide mode without a settings file it can name has nothing to read its variant or list from.
    if (mode == ModeNoSupport || (mode == ModeHide && !settingsPath[0])) {
        if (trace && mode == ModeHide)
            trace->Problem("hide mode without a printer settings file", "");
        return nullptr;
    }

    PendingRecord record(AllocateJobAccountInfo());
    JobAccountInfo* info = record.get();
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
        bits = HideModeBits(settingsPath, trace);
    }
    if (IsNTPlatform())
        info->Flags |= JAF_NT;
    if (IsVistaOrLater())
        info->Flags |= JAF_VISTA;
    if (overrides & OVR_CALLER)
        info->Flags |= JAF_CALLER;
    char title[PathChars] = {};
    ReadStringText("TabTitle", "Job Account", title, sizeof title);
    info->TabTitle = DuplicateString(title);
    if (!info->PrinterName || !info->TabTitle || (mode == ModeHide && !info->SettingsFilePath))
        return nullptr;

    SetModeFlags(info, bits, overrides);
    SetFlag(info, overrides, OVR_POPUP_CANCEL_HIDE, 0x200, JAF_POPUP_CANCEL_HIDE,
            ReadCommonNumber("PopupCancelHide", 0) != 0);
    SetFlag(info, overrides, OVR_POPUP_OK_DISABLED, 0x400, JAF_POPUP_OK_DISABLED,
            ReadCommonNumber("PopupOKDisabled", 0) != 0);
    if ((info->Flags & JAF_VISTA) && ReadCommonNumber("VistaPopupDisabled", 1) != 0 && !(driverFlag & 1))
        info->Flags |= JAF_NO_POPUP;
    if (trace)
        TraceSwitches(trace, info, driverFlag);

    bool ok = true;
    if (info->Flags & JAF_FIXED_ID)
        ResolveFixedID(info, trace);
    else if (info->Flags & JAF_HIDE)
        ResolveHide(info, trace);
    else if (info->Flags & JAF_POPUP)
        ok = ResolvePopup(info, trace);
    else
        ok = ResolveAccountFile(info, overrides, trace);
    if (!ok)
        return nullptr;
    info->PageOwner = nullptr;
    return record.HandOver();
}
