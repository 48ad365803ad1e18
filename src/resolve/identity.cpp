#include "resolve/identity.h"

#include <winsock.h>
#include <lmcons.h>
#include <winspool.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "capability/spooler.h"
#include "settings/file_handle.h"
#include "settings/helpers.h"
#include "settings/library.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/registry.h"
#include "settings/system_library.h"
#include "settings/text.h"

namespace {

// The job on the printer that is being spooled or printed, copied out of the enumeration.
struct JobFacts {
    bool found = false;
    bool hasMachine = false;
    char userName[UserIDChars] = {};
    char machineName[MAX_PATH] = {};
};

bool IsActive(const JOB_INFO_1A& job)
{
    return (job.Status & (JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING)) != 0;
}

// The first active job that the calling user owns; null when none does.
const JOB_INFO_1A* CallersJob(const JOB_INFO_1A* jobs, DWORD count)
{
    char caller[UNLEN + 1];
    if (!CallerName(caller))
        return nullptr;
    for (DWORD i = 0; i < count; ++i)
        if (IsActive(jobs[i]) && jobs[i].pUserName && lstrcmpiA(jobs[i].pUserName, caller) == 0)
            return &jobs[i];
    return nullptr;
}

// The job being spooled or printed that this call is about: where several are, the first one of
// the calling user (a printing application's own job, or the impersonated client's in the
// spooler), for another user's job ahead in the queue is not this call's; else the first one.
JobFacts FindCurrentJob(const char* printerName)
{
    JobFacts facts;
    PrinterHandle printer;
    if (!printer.OpenForUse(printerName))
        return facts;
    DWORD count = 0;
    std::vector<BYTE> block = EnumJobs1(printer.get(), &count);
    const auto* jobs = reinterpret_cast<const JOB_INFO_1A*>(block.data());
    const JOB_INFO_1A* first = nullptr;
    bool several = false;
    for (DWORD i = 0; i < count && !several; ++i) {
        if (IsActive(jobs[i])) {
            several = first != nullptr;
            first = first ? first : &jobs[i];
        }
    }
    const JOB_INFO_1A* chosen = several ? CallersJob(jobs, count) : nullptr;
    if (!chosen)
        chosen = first;
    if (!chosen)
        return facts;
    facts.found = true;
    CopyCut(facts.userName, chosen->pUserName ? chosen->pUserName : "");
    if (chosen->pMachineName) {
        facts.hasMachine = true;
        CopyCut(facts.machineName, chosen->pMachineName);
    }
    return facts;
}

// An answer of the network (the logon server, the host address) that stays the same while the
// module is loaded, asked for once per load. It lives in the module's image and goes with it at
// unload; a load creates no kernel object for it. A thread that meets the answer still being asked
// for asks itself rather than wait.
template <DWORD Size>
class RememberedText {
public:
    // Copies the answer into `text` (at least Size bytes), asking `ask(text, Size)` while none is
    // remembered; a failed ask is not remembered.
    template <typename Ask>
    bool Get(char* text, Ask ask)
    {
        if (InterlockedCompareExchange(&state_, Known, Known) == Known) {
            memcpy(text, value_, Size);
            return true;
        }
        if (!ask(text, Size))
            return false;
        if (InterlockedCompareExchange(&state_, Storing, Unknown) == Unknown) {
            memcpy(value_, text, Size);
            value_[Size - 1] = '\0';
            InterlockedExchange(&state_, Known);
        }
        return true;
    }

private:
    enum : LONG { Unknown, Storing, Known };
    volatile LONG state_;
    char value_[Size];
};

bool IsNameSeparator(char c)
{
    return c == ',' || c == ';' || c == '+';
}

// End of a name value: the first comma outside double quotes, or the end of the text.
const char* NameValueEnd(const char* value)
{
    bool quoted = false;
    for (; *value; ++value) {
        if (*value == '"')
            quoted = !quoted;
        else if (*value == ',' && !quoted)
            break;
    }
    return value;
}

// The automation entries the certificate's answer is read with, from oleaut32.dll.
struct Automation : SystemEntries<SystemLibrary::Oleaut32> {
    decltype(&VariantInit) variantInit = Get<decltype(&VariantInit)>("VariantInit");
    decltype(&VariantClear) variantClear = Get<decltype(&VariantClear)>("VariantClear");
    decltype(&SafeArrayGetDim) getDim = Get<decltype(&SafeArrayGetDim)>("SafeArrayGetDim");
    decltype(&SafeArrayGetVartype) getVartype = Get<decltype(&SafeArrayGetVartype)>("SafeArrayGetVartype");
    decltype(&SafeArrayGetLBound) getLBound = Get<decltype(&SafeArrayGetLBound)>("SafeArrayGetLBound");
    decltype(&SafeArrayGetUBound) getUBound = Get<decltype(&SafeArrayGetUBound)>("SafeArrayGetUBound");
    decltype(&SafeArrayGetElement) getElement = Get<decltype(&SafeArrayGetElement)>("SafeArrayGetElement");

    bool ok() const { return variantInit && variantClear && getDim && getVartype && getLBound && getUBound && getElement; }
};

// Element (first, second) of the certificate array as ANSI text. The fetched copy is ours and
// is cleared here; the array stays the caller's.
bool FetchElement(const Automation& automation, SAFEARRAY* array, LONG first, LONG second, char (&text)[256])
{
    text[0] = '\0';
    LONG indices[2] = {first, second};
    VARIANT element;
    automation.variantInit(&element);
    if (FAILED(automation.getElement(array, indices, &element)))
        return false;
    if (element.vt == VT_BSTR && element.bstrVal)
        WideCharToMultiByte(CP_ACP, 0, element.bstrVal, -1, text, sizeof text, nullptr, nullptr);
    text[sizeof text - 1] = '\0';
    automation.variantClear(&element);
    return true;
}

// Only a two-dimensional array held by value whose elements really are VARIANTs may be read
// element by element into a VARIANT; anything else would be copied over the wrong layout.
bool IsCertificateTable(const Automation& automation, const VARIANT& result)
{
    if (result.vt != (VT_ARRAY | VT_VARIANT) || !result.parray)
        return false;
    VARTYPE elements = VT_EMPTY;
    return automation.getDim(result.parray) == 2 && result.parray->cbElements == sizeof(VARIANT) &&
           SUCCEEDED(automation.getVartype(result.parray, &elements)) && elements == VT_VARIANT;
}

// The Winsock 1.1 entries the host address is found with, from wsock32.dll.
struct Winsock : SystemEntries<SystemLibrary::Wsock32> {
    decltype(&WSAStartup) startup = Get<decltype(&WSAStartup)>("WSAStartup");
    decltype(&WSACleanup) cleanup = Get<decltype(&WSACleanup)>("WSACleanup");
    decltype(&gethostname) hostName = Get<decltype(&gethostname)>("gethostname");
    decltype(&gethostbyname) hostByName = Get<decltype(&gethostbyname)>("gethostbyname");
    decltype(&inet_ntoa) addressText = Get<decltype(&inet_ntoa)>("inet_ntoa");

    bool ok() const { return startup && cleanup && hostName && hostByName && addressText; }
};

}  // namespace

bool GetJobUserName(JobAccountInfo* info)
{
    if ((info->Flags & JAF_NT) && !(info->Flags & JAF_CALLER) && info->PrinterName) {
        JobFacts job = FindCurrentJob(info->PrinterName);
        if (job.found) {
            CopyCut(info->UserID, job.userName);
            return true;
        }
    }
    DWORD size = sizeof info->UserID;
    if (!GetUserNameA(info->UserID, &size)) {
        info->UserID[0] = '\0';
        return false;
    }
    info->UserID[sizeof info->UserID - 1] = '\0';
    return true;
}

// A job names its machine by name or by address; only a name that is not this computer's needs
// the address, and with it Winsock.
bool IsRemoteJob(const char* printerName)
{
    JobFacts job = FindCurrentJob(printerName);
    if (!job.found || !job.hasMachine)
        return false;
    const char* machine = job.machineName;
    if (machine[0] == '\\')
        machine += strnlen(machine, 2);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size))
        return false;
    if (strcmp(machine, computer) == 0)
        return false;
    char address[32] = {};
    GetHostAddress(address, sizeof address);
    return strcmp(machine, address) != 0;
}

namespace {

const DWORD LogonServerChars = 32;
const DWORD HostAddressChars = 32;
RememberedText<LogonServerChars> RememberedLogonServer;
RememberedText<HostAddressChars> RememberedHostAddress;

bool AskLogonServer(char* server, DWORD size)
{
    // WKSTA_USER_INFO_1: user name, logon domain, other domains, logon server.
    struct WkstaUserInfo1 {
        LPWSTR user, domain, otherDomains, logonServer;
    };
    using GetInfoFn = DWORD(WINAPI*)(LPWSTR, DWORD, BYTE**);
    using FreeFn = DWORD(WINAPI*)(void*);
    server[0] = '\0';
    auto getInfo = SystemEntry<GetInfoFn>(SystemLibrary::Netapi32, "NetWkstaUserGetInfo");
    if (!getInfo)
        return false;
    BYTE* buffer = nullptr;
    if (getInfo(nullptr, 1, &buffer) != 0 || !buffer)
        return false;
    auto* info = reinterpret_cast<WkstaUserInfo1*>(buffer);
    if (info->logonServer)
        WideCharToMultiByte(CP_ACP, 0, info->logonServer, -1, server, static_cast<int>(size < 32 ? size : 32),
                            nullptr, nullptr);
    server[(size < 32 ? size : 32) - 1] = '\0';
    if (auto release = SystemEntry<FreeFn>(SystemLibrary::Netapi32, "NetApiBufferFree"))
        release(buffer);
    return true;
}

bool AskHostAddress(char* address, DWORD size)
{
    address[0] = '\0';
    const Winsock winsock;
    WSADATA data;
    if (!winsock.ok() || winsock.startup(MAKEWORD(1, 1), &data) != 0)
        return false;
    bool ok = false;
    char host[256] = {};
    if (data.wVersion == MAKEWORD(1, 1) && winsock.hostName(host, sizeof host - 1) == 0) {
        hostent* entry = winsock.hostByName(host);
        if (entry && entry->h_addrtype == AF_INET && entry->h_addr_list && entry->h_addr_list[0]) {
            in_addr inet;
            memcpy(&inet, entry->h_addr_list[0], sizeof inet);
            const char* text = winsock.addressText(inet);
            if (text) {
                CopyCut(address, size, text);
                ok = true;
            }
        }
    }
    winsock.cleanup();
    return ok;
}

// The security identifier of `user` from the account database, at the logon server where there
// is one.
bool LookUpAccountSid(const char* user, std::vector<BYTE>* sid)
{
    char server[LogonServerChars] = {};
    GetLogonServer(server, sizeof server);
    DWORD sidSize = 128;
    sid->assign(sidSize, 0);
    char domain[32] = {};
    SID_NAME_USE use;
    for (;;) {
        DWORD domainSize = sizeof domain;
        DWORD asked = sidSize;
        if (LookupAccountNameA(server[0] ? server : nullptr, user, sid->data(), &asked, domain, &domainSize, &use))
            return true;
        // Only the identifier buffer grows; a domain longer than 32 characters ends the attempt.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || domainSize > sizeof domain || asked <= sidSize)
            return false;
        sidSize = asked + 128;
        sid->assign(sidSize, 0);
    }
}

// The security identifier of the job's owner. The owner is most often the user the calling thread
// acts for, whose token holds it: the account database, and with it the domain's logon server,
// is asked only for another user. A laptop away from its domain would otherwise wait for the
// network's timeouts on every job.
bool AccountSid(const char* owner, std::vector<BYTE>* sid)
{
    char caller[UNLEN + 1];
    if (CallerName(caller) && lstrcmpiA(owner, caller) == 0 && CallerSid(sid))
        return true;
    return LookUpAccountSid(owner, sid);
}

}  // namespace

bool GetLogonServer(char* server, DWORD size)
{
    if (!server || size == 0)
        return false;
    char remembered[LogonServerChars] = {};
    if (!RememberedLogonServer.Get(remembered, AskLogonServer)) {
        server[0] = '\0';
        return false;
    }
    CopyCut(server, size, remembered);
    return true;
}

bool GetHostAddress(char* address, DWORD size)
{
    if (!address || size == 0)
        return false;
    char remembered[HostAddressChars] = {};
    if (!RememberedHostAddress.Get(remembered, AskHostAddress)) {
        address[0] = '\0';
        return false;
    }
    CopyCut(address, size, remembered);
    return true;
}

bool ComposeAccountFilePath(JobAccountInfo* info)
{
    char path[MAX_PATH] = {};
    std::vector<BYTE> sid;
    if ((info->Flags & JAF_NT) && GetJobUserName(info) && AccountSid(info->UserID, &sid)) {
        char sidText[256] = {};
        DWORD sidLength = sizeof sidText;
        char profile[MAX_PATH] = {};
        // A profile path with no room for the file name falls back to the bare name, as a
        // missing profile does; a cut path would name another file.
        if (SidToText(sid.data(), sidText, &sidLength) && GetProfileDirectory(sidText, profile, sizeof profile))
            ComposePath(path, {profile, "\\", Module.AccountFile});
    }
    if (!path[0])
        CopyCut(path, Module.AccountFile);
    FreeString(info->AccountFilePath);
    info->AccountFilePath = DuplicateString(path);
    return info->AccountFilePath != nullptr;
}

bool FindNameAttribute(const char* name, const char* type, char* value, size_t size)
{
    if (!value || size == 0)
        return false;
    value[0] = '\0';
    if (!name || !type || !type[0])
        return false;
    size_t typeLength = strlen(type);
    bool quoted = false;
    bool atStart = true;  // where a relative distinguished name may begin
    for (const char* p = name; *p; ++p) {
        if (atStart) {
            if (*p == ' ' || *p == '\t')
                continue;
            atStart = false;
            if (strncmp(p, type, typeLength) == 0 && p[typeLength] == '=') {
                const char* start = p + typeLength + 1;
                size_t length = static_cast<size_t>(NameValueEnd(start) - start);
                CopyCut(value, length + 1 < size ? length + 1 : size, start);
                return true;
            }
        }
        if (*p == '"')
            quoted = !quoted;
        else if (!quoted && IsNameSeparator(*p))
            atStart = true;
    }
    return false;
}

std::string CertificateLibraryPath()
{
    char name[MAX_PATH] = {};
    ReadCommonText("GetVexaIDDll", "tvctfct.dll", name, sizeof name);
    char path[256] = {};
    ComposePath(path, {Module.ModuleDirectory, name});
    return path;
}

namespace {

const LONGLONG MostCertificates = 65536;

}  // namespace

bool CertificateMatches(const JobAccountInfo* info)
{
    using GetCertificateInfoFn = LONG(WINAPI*)(LONG, VARIANT*);
    const std::string path = CertificateLibraryPath();
    if (path.empty())
        return false;
    Library library(path.c_str());
    auto getInfo = library.Get<GetCertificateInfoFn>("GetCertificateInfo");
    const Automation automation;
    if (!getInfo || !automation.ok())
        return false;
    VARIANT result;
    automation.variantInit(&result);
    if (getInfo(0, &result) < 0)
        return false;
    // The out VARIANT is ours, as COM's rules give it to the caller: a by-value array in it is
    // destroyed with it. A by-reference answer only points at the library's own array, which is
    // never ours to clear, so such an answer is dropped without touching what it points at.
    struct ClearOwned {
        const Automation& automation;
        VARIANT* v;
        ~ClearOwned()
        {
            if (!(v->vt & VT_BYREF))
                automation.variantClear(v);
        }
    } clear{automation, &result};
    if (!IsCertificateTable(automation, result))
        return false;
    LONG low = 0, high = -1;
    if (FAILED(automation.getLBound(result.parray, 2, &low)) || FAILED(automation.getUBound(result.parray, 2, &high)))
        return false;
    // Counted apart from the index, which would wrap past an upper bound of LONG_MAX and never end;
    // a store of more certificates than any machine holds is refused rather than walked.
    const LONGLONG count = static_cast<LONGLONG>(high) - low + 1;
    if (count > MostCertificates)
        return false;
    bool matched = false;
    for (LONGLONG n = 0; n < count; ++n) {
        const LONG i = static_cast<LONG>(low + n);
        char text[256];
        char field[256] = {};
        if (!FetchElement(automation, result.parray, 4, i, text) || !FindNameAttribute(text, "CN", field, sizeof field) ||
            strcmp(field, "TAVRO LOCAL CA") != 0)
            continue;
        if (FetchElement(automation, result.parray, 2, i, text) && FindNameAttribute(text, "T", field, sizeof field) &&
            strcmp(field, info->UserID) == 0)
            matched = true;
    }
    return matched;
}
