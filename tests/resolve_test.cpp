// What ReadJobAccountID answers, called through the DLL's export as a printer driver calls it.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>
#include <lmcons.h>
#include <psapi.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "admin_fixture.h"
#include "dialog_script.h"
#include "file_failures.h"
#include "host_run.h"
#include "job_standin.h"
#include "profile_fixture.h"
#include "res/resource.h"
#include "resolve/identity.h"
#include "settings/job_account_info.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

struct Result {
    DWORD id;
    char user[81];
    char past[8];  // sentinel: the module must not write beyond 81 bytes
};
using ReadFn = int(WINAPI*)(const char*, DWORD, Result*);

const char Cap[] = "TVRESOLV.CAP";

std::string Capabilities()
{
    return "[Capability]\r\nZR Tab=M\r\nZR Popup=M\r\nZR Hide=M\r\nZR Plain=M\r\n[M]\r\nJobAccount=1\r\n";
}

DriverSpec AccountingDriver(const std::string& name, const char* dataFile)
{
    return DriverSpec{name, {Cap, dataFile}, {{Cap, Capabilities()}}};
}

std::string ProcessUser()
{
    char name[UNLEN + 1] = {};
    DWORD size = sizeof name;
    GetUserNameA(name, &size);
    return name;
}

// The account file of a user without a profile here: the bare name, which the profile functions
// place in the Windows directory.
std::string AccountFileInWindowsDirectory()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\vtjobac.ini";
}

// A sandboxed module and its export.
struct Resolver {
    ModuleSandbox sandbox;
    ReadFn read = nullptr;
    explicit Resolver(const std::string& stringFile = "") : sandbox(ModuleSandbox::WithStringFile(stringFile))
    {
        read = reinterpret_cast<ReadFn>(reinterpret_cast<void*>(GetProcAddress(sandbox.Handle(), "ReadJobAccountID")));
        EXPECT_NE(read, nullptr);
    }
    // 1 and the answer, or 0.
    int Ask(const char* printer, Result* result, DWORD reserved = 0)
    {
        memset(result, 0x5A, sizeof *result);
        return read(printer, reserved, result);
    }
};

class AccountFileBackup {
public:
    explicit AccountFileBackup(std::string path) : path_(std::move(path)), saved_(ReadFileBytes(path_)), existed_(FileExists(path_)) {}
    ~AccountFileBackup()
    {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
        if (existed_)
            WriteFileBytes(path_, saved_);
        else
            DeleteFileA(path_.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string saved_;
    bool existed_;
};

}  // namespace

TEST(ReadJobAccountID, RefusesBadArgumentsAndPrintersWithoutJobAccounting)
{
    Resolver resolver;
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    InstalledDriver plain(DriverSpec{"ZR None", {"vtjobac1.dat"}});
    InstalledPrinter none("ZR None P", "ZR None");
    Result result;
    EXPECT_EQ(resolver.Ask("ZR Tab P", &result, 1), 0);
    EXPECT_EQ(result.id, 0x5A5A5A5Au) << "the result is not touched";
    EXPECT_EQ(resolver.read("ZR Tab P", 0, nullptr), 0);
    EXPECT_EQ(resolver.Ask("ZR None P", &result), 0);
    EXPECT_EQ(resolver.Ask("ZR No Such Printer", &result), 0);
    EXPECT_EQ(resolver.Ask(nullptr, &result), 0);
}

TEST(ReadJobAccountID, TabModeReadsTheAccountFile)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter first("ZR Tab P", "ZR Tab");
    InstalledPrinter second("ZR Tab Q", "ZR Tab");
    std::string owner = ProcessUser();
    PlantedProfile profile;
    AccountFileBackup account(profile.File());
    Result result;
    {
        Resolver resolver;
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1);
        EXPECT_EQ(result.id, 1u) << "no account file: ID 1";
        EXPECT_EQ(std::string(result.user), owner);
        EXPECT_EQ(result.past[0], 0x5A);

        WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=77\r\nUserID=alice\r\n"
                                       "[AllPrinter]\r\nJobAccountID=500\r\nUserID=shared\r\n");
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1);
        EXPECT_EQ(result.id, 77u);
        EXPECT_STREQ(result.user, "alice");
        ASSERT_EQ(resolver.Ask("ZR Tab Q", &result), 1);
        EXPECT_EQ(result.id, 1u);
        EXPECT_EQ(std::string(result.user), owner);
    }
    {
        Resolver resolver("AllPrinterIsSameID=1\r\n");
        for (const char* printer : {"ZR Tab P", "ZR Tab Q"}) {
            ASSERT_EQ(resolver.Ask(printer, &result), 1) << printer;
            EXPECT_EQ(result.id, 500u) << printer;
            EXPECT_STREQ(result.user, "shared") << printer;
        }
    }
}

// The user is the owner of the job being spooled or printed, not the process's user; where the
// printer has several, the calling user's own job is this call's, whatever stands ahead of it.
TEST(ReadJobAccountID, TabModeTakesTheJobOwner)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    const std::string caller = ProcessUser();
    struct Row {
        const char* name;
        std::vector<StandInJob> jobs;
        std::string owner;
    } rows[] = {
        {"one job, another user's", {{"jdoe"}}, "jdoe"},
        {"another user's job ahead of the caller's", {{"jdoe"}, {"asmith", "", JOB_STATUS_SPOOLING}, {caller}}, caller},
        {"only other users' jobs: the first", {{"jdoe"}, {"asmith"}}, "jdoe"},
        {"the caller's job is paused, not current", {{"jdoe"}, {caller, "", JOB_STATUS_PAUSED}}, "jdoe"},
    };
    for (const Row& row : rows) {
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), row.jobs);
        ASSERT_TRUE(job.ok());
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1) << row.name;
        EXPECT_EQ(std::string(result.user), row.owner) << row.name;
    }
}

TEST(ReadJobAccountID, HideModeLooksUpTheRegisteredList)
{
    std::string share = FreshTestDirectory("share");
    WriteFileBytes(share + "vtjobac4.dat", "[JobAccountID]\r\njdoe=4711,Shared John\r\n");
    std::string longUser(78, 'u');
    struct Row {
        const char* name;
        std::string settings;
        std::string owner;
        DWORD id;
        std::string user;  // "@" stands for owner(address)
    } rows[] = {
        {"entry with a user", "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\njdoe=1234,John\r\n", "jdoe", 1234, "John"},
        {"entry without a user", "[JobAccountID]\r\njdoe=88\r\n", "jdoe", 88, "jdoe"},
        {"no entry", "[JobAccount]\r\nMode=4\r\n", "jdoe", 0, "jdoe"},
        {"unknown Mode acts as 4", "[JobAccount]\r\nMode=9\r\n[JobAccountID]\r\njdoe=5\r\n", "jdoe", 5, "jdoe"},
        {"Mode 6 reads the shared list", "[JobAccount]\r\nMode=6\r\nPath=" + share.substr(0, share.size() - 1) +
                                             "\r\n[JobAccountID]\r\njdoe=1\r\n", "jdoe", 4711, "Shared John"},
        {"Mode 6 without Path", "[JobAccount]\r\nMode=6\r\n[JobAccountID]\r\njdoe=3\r\n", "jdoe", 3, "jdoe"},
        {"Mode 7 appends the address", "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\njdoe=9\r\n", "jdoe", 9, "@"},
        {"Mode 7, user too long for it", "[JobAccount]\r\nMode=7\r\n", longUser, 0, longUser},
    };
    char address[32] = {};
    ASSERT_TRUE(GetHostAddress(address, sizeof address));
    for (const Row& row : rows) {
        InstalledDriver hide(DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                        {{Cap, Capabilities()}, {"vtjobac4.dat", row.settings}}});
        InstalledPrinter printer("ZR Hide P", "ZR Hide");
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), row.owner);
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        std::string expected = row.user == "@" ? row.owner + "(" + address + ")" : row.user;
        EXPECT_EQ(std::string(result.user), expected) << row.name;
    }
}

TEST(ReadJobAccountID, FixedIDWithoutUserTakesTheJobOwner)
{
    InstalledDriver hide(DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                    {{Cap, Capabilities()},
                                     {"vtjobac4.dat", "[JobAccount]\r\nMode=5\r\nJobAccountID=55\r\n"}}});
    InstalledPrinter printer("ZR Hide P", "ZR Hide");
    Resolver resolver;
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");
    Result result;
    ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1);
    EXPECT_EQ(result.id, 55u);
    EXPECT_STREQ(result.user, "jdoe");

    WriteFileBytes(hide.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=5\r\nJobAccountID=56\r\nUserID=Fixed User\r\n");
    ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1);
    EXPECT_EQ(result.id, 56u);
    EXPECT_STREQ(result.user, "Fixed User");
}

TEST(ReadJobAccountID, CertificateIDMode)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    struct Row {
        const char* name;
        std::string certificates;
        std::string stored;
        DWORD id;
        const char* user;
    } rows[] = {
        {"matching certificate", "CN=TAVRO LOCAL CA,O=Tavro|T=jdoe,CN=John Doe\r\n", "42", 999900042, "jdoe"},
        {"large ID kept", "CN=TAVRO LOCAL CA|T=jdoe,O=x\r\n", "100000", 100000, "jdoe"},
        {"another issuer", "CN=OTHER CA,O=Tavro|T=jdoe,CN=John Doe\r\n", "42", 42, "stored user"},
        {"another user", "CN=TAVRO LOCAL CA|T=someone,CN=x\r\n", "42", 42, "stored user"},
        {"T= inside another attribute's name", "CN=TAVRO LOCAL CA|STREET=jdoe,T=eve\r\n", "42", 42, "stored user"},
        {"T= inside a quoted value", "CN=TAVRO LOCAL CA|O=\"x,T=jdoe,y\",T=eve\r\n", "42", 42, "stored user"},
        {"CN= inside another attribute's value", "OU=CN=TAVRO LOCAL CA|T=jdoe\r\n", "42", 42, "stored user"},
        {"blanks after the separators", "O=Tavro, CN=TAVRO LOCAL CA|CN=John Doe, T=jdoe\r\n", "42", 999900042, "jdoe"},
        {"an array of texts", "#bstr\r\nCN=TAVRO LOCAL CA|T=jdoe\r\n", "42", 42, "stored user"},
        {"an array by reference", "#byref\r\nCN=TAVRO LOCAL CA|T=jdoe\r\n", "42", 42, "stored user"},
    };
    for (const Row& row : rows) {
        Resolver resolver("GetVexaIDMode=1\r\n");
        CopyFileA((ProgramDirectory() + "tvctfct.dll").c_str(), (resolver.sandbox.Directory() + "tvctfct.dll").c_str(),
                  FALSE);
        WriteFileBytes(resolver.sandbox.Directory() + "tvctfct.txt", row.certificates);
        WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=" + row.stored + "\r\nUserID=stored user\r\n");
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_STREQ(result.user, row.user) << row.name;
    }
}

TEST(ReadJobAccountID, PopupOnVistaWithoutTheDriversPermissionShowsNoDialog)
{
    InstalledDriver popup(AccountingDriver("ZR Popup", "vtjobac2.dat"));
    InstalledPrinter printer("ZR Popup P", "ZR Popup");
    Resolver resolver;
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");
    Result result;
    ASSERT_EQ(resolver.Ask("ZR Popup P", &result), 1);
    EXPECT_EQ(result.id, 0u);
    EXPECT_STREQ(result.user, "jdoe");
}

namespace {

// Busy bytes of every heap of the process: the C runtime's allocations live in a heap of its own.
SIZE_T HeapBusyBytes()
{
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    SIZE_T busy = 0;
    for (HANDLE heap : heaps) {
        HeapLock(heap);
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        HeapUnlock(heap);
    }
    return busy;
}

}  // namespace

TEST(ReadJobAccountID, RepeatedResolutionsLeaveNothingBehind)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    InstalledDriver hide(DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                    {{Cap, Capabilities()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=7\r\n"}}});
    InstalledPrinter hidden("ZR Hide P", "ZR Hide");
    Resolver resolver;
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");
    Result result;
    for (int i = 0; i < 20; ++i) {  // warm up caches of the platform
        resolver.Ask("ZR Tab P", &result);
        resolver.Ask("ZR Hide P", &result);
    }
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    SIZE_T heap = HeapBusyBytes();
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1);
        ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1);
    }
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user);
    EXPECT_LE(handlesAfter, handles + 2);
    EXPECT_LT(HeapBusyBytes(), heap + 16 * 1024) << "600 resolutions must not grow the heap";
}

// Eight threads resolve a Tab printer and three Hide printers at once: a registered list, a
// fixed ID and the host-address variant. Wine keeps every driver's files in one directory, so the
// three settings files stand side by side under three names, each named as the Hide data file by
// the string file of a module copy of its own: each answer is its printer's, and the process keeps
// no handle or heap block from them.
TEST(ReadJobAccountID, ThreadsResolvingTogetherGetTheirOwnAnswers)
{
    char address[32] = {};
    ASSERT_TRUE(GetHostAddress(address, sizeof address));
    const std::string capabilities =
        "[Capability]\r\nZR Tab=M\r\nZR Hide=M\r\nZR Fixed=M\r\nZR Host=M\r\n[M]\r\nJobAccount=1\r\n";
    struct Case {
        const char* printer;
        const char* driver;
        const char* dataFile;  // "" for the Tab printer
        const char* settings;
        DWORD id;
        std::string user;
    } cases[] = {
        {"ZR Tab P", "ZR Tab", "", "", 321, "Tab User"},
        {"ZR Hide P", "ZR Hide", "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\njdoe=1234,John\r\n",
         1234, "John"},
        {"ZR Fixed P", "ZR Fixed", "vtjobfx4.dat", "[JobAccount]\r\nMode=5\r\nJobAccountID=56\r\nUserID=Fixed User\r\n",
         56, "Fixed User"},
        {"ZR Host P", "ZR Host", "vtjobhs4.dat", "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\njdoe=9\r\n", 9,
         std::string("jdoe(") + address + ")"},
    };
    AccountFileBackup account(AccountFileInWindowsDirectory());
    WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=321\r\nUserID=Tab User\r\n");

    std::vector<std::unique_ptr<InstalledDriver>> drivers;
    std::vector<std::unique_ptr<InstalledPrinter>> printers;
    std::vector<std::unique_ptr<Resolver>> resolvers;
    std::vector<std::unique_ptr<JobStandIn>> jobs;
    for (const Case& c : cases) {
        const bool tab = !c.dataFile[0];
        drivers.push_back(std::make_unique<InstalledDriver>(
            tab ? DriverSpec{c.driver, {Cap, "vtjobac1.dat"}, {{Cap, capabilities}}}
                : DriverSpec{c.driver, {Cap, c.dataFile}, {{Cap, capabilities}, {c.dataFile, c.settings}}}));
        printers.push_back(std::make_unique<InstalledPrinter>(c.printer, c.driver));
        resolvers.push_back(std::make_unique<Resolver>(tab ? "" : std::string("DatFile4=") + c.dataFile + "\r\n"));
        jobs.push_back(std::make_unique<JobStandIn>(resolvers.back()->sandbox.Handle(), "jdoe"));
    }

    std::atomic<int> wrong{0};
    auto resolveMany = [&](int thread, int calls) {
        for (int i = 0; i < calls; ++i) {
            const size_t turn = static_cast<size_t>(thread + i) % 4;
            const Case& c = cases[turn];
            Result result = {};
            const int ok = resolvers[turn]->read(c.printer, 0, &result);
            if ((ok != 1 || result.id != c.id || c.user != result.user) && wrong++ < 4)
                ADD_FAILURE() << c.printer << " answered " << ok << ": " << result.id << " / " << result.user;
        }
    };
    auto runThreads = [&](int calls) {
        std::vector<std::thread> threads;
        for (int thread = 0; thread < 8; ++thread)
            threads.emplace_back(resolveMany, thread, calls);
        for (std::thread& thread : threads)
            thread.join();
    };
    runThreads(8);  // the first resolutions load what stays loaded
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    SIZE_T heap = HeapBusyBytes();
    runThreads(100);
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(handlesAfter, handles + 2);
    EXPECT_LT(HeapBusyBytes(), heap + 64 * 1024) << "800 resolutions must not grow the heap";
}

namespace {

// Answers the popups the thread shows, one reply each in order: fills the user and ID edits and
// presses a button. Popups beyond the replies are cancelled; every popup is counted.
struct PopupReply {
    std::string user;
    std::string id;
    int button = IDOK;
};
struct PopupAnswer {
    PopupAnswer(std::string user, std::string id, int button = IDOK) : replies{{user, id, button}} {}
    explicit PopupAnswer(std::vector<PopupReply> list) : replies(std::move(list)) {}
    std::vector<PopupReply> replies;
    int shown = 0;
};
PopupAnswer* answer;
const char AnsweredMark[] = "ZrAnswered";

BOOL CALLBACK AnswerPopup(HWND window, LPARAM)
{
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window) || GetPropA(window, AnsweredMark))
        return TRUE;
    SetPropA(window, AnsweredMark, reinterpret_cast<HANDLE>(1));
    size_t index = static_cast<size_t>(answer->shown++);
    if (index >= answer->replies.size()) {
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return FALSE;
    }
    const PopupReply& reply = answer->replies[index];
    SetDlgItemTextA(window, 1004, reply.user.c_str());
    SetDlgItemTextA(window, 1006, reply.id.c_str());
    PostMessageA(window, WM_COMMAND, reply.button, 0);
    return FALSE;
}

void CALLBACK OnPopupTimer(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), AnswerPopup, 0);
}

// Resolves while a thread timer answers any popup the resolution opens.
int AskAnswering(Resolver& resolver, const char* printer, Result* result, PopupAnswer& reply)
{
    answer = &reply;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, OnPopupTimer);
    int ok = resolver.Ask(printer, result);
    KillTimer(nullptr, timer);
    return ok;
}

const char AllowingCapability[] = "[Capability]\r\nZR Ask=A\r\nZR Fixed=A\r\n[A]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n";

}  // namespace

TEST(ReadJobAccountID, PopupModeAsksTheUserWhenTheDriverAllowsIt)
{
    InstalledDriver popup(DriverSpec{"ZR Ask", {Cap, "vtjobac2.dat"}, {{Cap, AllowingCapability}}});
    InstalledPrinter printer("ZR Ask P", "ZR Ask");
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    struct Row {
        const char* name;
        std::string machine;
        int button;
        int shown;
        DWORD id;
        const char* user;
    } rows[] = {
        {"local job, OK", std::string("\\\\") + computer, IDOK, 1, 321, "Typed User"},
        {"local job, Cancel", std::string("\\\\") + computer, IDCANCEL, 1, 0, ""},
        {"remote job: never a dialog", "\\\\OTHERPC", IDOK, 0, 0, "jdoe"},
    };
    for (const Row& row : rows) {
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), "jdoe", row.machine);
        PopupAnswer reply{"Typed User", "321", row.button};
        Result result;
        ASSERT_EQ(AskAnswering(resolver, "ZR Ask P", &result, reply), 1) << row.name;
        EXPECT_EQ(reply.shown, row.shown) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_STREQ(result.user, row.user) << row.name;
    }
}

namespace {

// Counts what a resolution asks of the network: Winsock's start, the logon server and account
// look-ups. WSAStartup and NetWkstaUserGetInfo are looked up at run time, so the module's
// GetProcAddress hands out counting stand-ins for them; LookupAccountNameA is imported.
namespace network_asks {

int startups, logonServers, lookups;
ImportHook* procAddress;
decltype(&WSAStartup) realStartup;
using WkstaUserGetInfoFn = DWORD(WINAPI*)(LPWSTR, DWORD, BYTE**);
WkstaUserGetInfoFn realWkstaUserGetInfo;
decltype(&LookupAccountNameA) realLookup;

int WINAPI CountedStartup(WORD version, LPWSADATA data)
{
    ++startups;
    return realStartup(version, data);
}

DWORD WINAPI CountedWkstaUserGetInfo(LPWSTR reserved, DWORD level, BYTE** buffer)
{
    ++logonServers;
    return realWkstaUserGetInfo(reserved, level, buffer);
}

BOOL WINAPI CountedLookup(LPCSTR system, LPCSTR account, PSID sid, LPDWORD sidSize, LPSTR domain, LPDWORD domainSize,
                          PSID_NAME_USE use)
{
    ++lookups;
    return realLookup(system, account, sid, sidSize, domain, domainSize, use);
}

FARPROC WINAPI LookUp(HMODULE module, LPCSTR name)
{
    using Original = FARPROC(WINAPI*)(HMODULE, LPCSTR);
    FARPROC found = reinterpret_cast<Original>(procAddress->original())(module, name);
    if (!found || HIWORD(reinterpret_cast<ULONG_PTR>(name)) == 0)
        return found;
    if (strcmp(name, "WSAStartup") == 0) {
        realStartup = reinterpret_cast<decltype(&WSAStartup)>(reinterpret_cast<void*>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(CountedStartup));
    }
    if (strcmp(name, "NetWkstaUserGetInfo") == 0) {
        realWkstaUserGetInfo = reinterpret_cast<WkstaUserGetInfoFn>(reinterpret_cast<void*>(found));
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(CountedWkstaUserGetInfo));
    }
    return found;
}

// Counts while it lives, from zero.
struct Counting {
    ImportHook procAddressHook;
    ImportHook lookupHook;
    explicit Counting(HMODULE module)
        : procAddressHook(module, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&LookUp)),
          lookupHook(module, "advapi32.dll", "LookupAccountNameA", reinterpret_cast<void*>(&CountedLookup))
    {
        procAddress = &procAddressHook;
        realLookup = reinterpret_cast<decltype(&LookupAccountNameA)>(lookupHook.original());
        startups = logonServers = lookups = 0;
    }
    bool ok() const { return procAddressHook.ok() && lookupHook.ok(); }
};

}  // namespace network_asks

}  // namespace

// A laptop away from its domain waits for the network's timeouts at each question: a local job of
// the user printing asks nothing of it. Only a job from another computer needs the host address
// (and with it Winsock), only another user's account needs the account database and its logon
// server, and what the network answered once serves the rest of the module's load.
TEST(ReadJobAccountID, OnlyWhatNeedsTheNetworkAsksIt)
{
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    const std::string here = std::string("\\\\") + computer;
    const std::string caller = ProcessUser();
    const DriverSpec tab = AccountingDriver("ZR Tab", "vtjobac1.dat");
    const DriverSpec popup{"ZR Ask", {Cap, "vtjobac2.dat"}, {{Cap, AllowingCapability}}};
    const DriverSpec hostAddress{"ZR Hide", {Cap, "vtjobac4.dat"},
                                 {{Cap, Capabilities()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=7\r\n"}}};
    PlantedProfile profile;  // the account file of the user printing, found through the token's identifier
    WriteFileBytes(profile.File(), "[ZR Tab P]\r\nJobAccountID=77\r\n");
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    DeleteFileA(account.Path().c_str());
    struct Row {
        const char* name;
        const DriverSpec& driver;
        std::string owner, machine;
        int jobs;
        int startups, logonServers, lookups;
        int popups;
        DWORD id;
    } rows[] = {
        {"Tab, a local job of the user printing", tab, caller, here, 2, 0, 0, 0, 0, 77},
        {"Popup, a local job", popup, "jdoe", here, 1, 0, 0, 0, 1, 0},
        {"Popup, a job from another computer", popup, "jdoe", "\\\\OTHERPC", 2, 1, 0, 0, 0, 0},
        {"Tab, another user's job from another computer", tab, "jdoe", "\\\\OTHERPC", 2, 0, 1, 2, 0, 1},
        {"Mode 7, the host address", hostAddress, caller, here, 2, 1, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        // The drivers' files share one directory: one driver at a time.
        InstalledDriver driver(row.driver);
        const std::string printerName = row.driver.name + " P";
        InstalledPrinter printer(printerName, row.driver.name);
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), row.owner, row.machine);
        network_asks::Counting counting(resolver.sandbox.Handle());
        ASSERT_TRUE(job.ok() && counting.ok()) << row.name;
        PopupAnswer cancel{"", "", IDCANCEL};
        Result result;
        for (int i = 0; i < row.jobs; ++i) {
            ASSERT_EQ(AskAnswering(resolver, printerName.c_str(), &result, cancel), 1) << row.name;
            EXPECT_EQ(result.id, row.id) << row.name;
        }
        EXPECT_EQ(network_asks::startups, row.startups) << row.name << ": Winsock started";
        EXPECT_EQ(network_asks::logonServers, row.logonServers) << row.name << ": logon server asked";
        EXPECT_EQ(network_asks::lookups, row.lookups) << row.name << ": accounts looked up";
        EXPECT_EQ(cancel.shown, row.popups) << row.name;
    }
}

TEST(ReadJobAccountID, FixedIDModeWithoutAnIDAsksOnceAndStoresItForEveryDriver)
{
    const char* settings = "[JobAccount]\r\nMode=5\r\n";
    InstalledDriver fixed(DriverSpec{"ZR Fixed", {Cap, "vtjobac4.dat"}, {{Cap, AllowingCapability}, {"vtjobac4.dat", settings}}});
    InstalledPrinter printer("ZR Fixed P", "ZR Fixed");
    Resolver resolver;
    WriteFileBytes(resolver.sandbox.Directory() + "vtjobac4.dat", settings);  // the administrator's master copy
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");

    PopupAnswer reply{"Fixed Person", "66"};
    Result result;
    ASSERT_EQ(AskAnswering(resolver, "ZR Fixed P", &result, reply), 1);
    EXPECT_EQ(reply.shown, 1);
    EXPECT_EQ(result.id, 66u);
    EXPECT_STREQ(result.user, "Fixed Person");
    std::string copy = ReadFileBytes(fixed.Directory() + "vtjobac4.dat");
    EXPECT_NE(copy.find("JobAccountID=66"), std::string::npos) << copy;

    PopupAnswer none{"x", "1"};
    ASSERT_EQ(AskAnswering(resolver, "ZR Fixed P", &result, none), 1);
    EXPECT_EQ(none.shown, 0) << "the stored ID answers from now on";
    EXPECT_EQ(result.id, 66u);
}

TEST(ReadJobAccountID, FixedIDModeAsksAtMostThreeTimesAndKeepsTheLastEntry)
{
    const char* settings = "[JobAccount]\r\nMode=5\r\n";
    PopupReply nothing{"", "0"};
    struct Row {
        const char* name;
        std::vector<PopupReply> replies;
        int shown;
        DWORD id;
        const char* user;
        bool unwritable = false;  // no settings file can take the entry
    } rows[] = {
        {"entered at the third dialog", {nothing, nothing, {"Fixed Person", "66"}}, 3, 66, "Fixed Person"},
        {"never entered", {nothing, nothing, nothing, nothing, nothing}, 3, 0, "jdoe"},
        // A user who may not write the module's folder: the job in hand takes the entry.
        {"entered, but it cannot be stored", {{"Fixed Person", "66"}, nothing, nothing}, 1, 66, "Fixed Person", true},
    };
    for (const Row& row : rows) {
        InstalledDriver fixed(
            DriverSpec{"ZR Fixed", {Cap, "vtjobac4.dat"}, {{Cap, AllowingCapability}, {"vtjobac4.dat", settings}}});
        InstalledPrinter printer("ZR Fixed P", "ZR Fixed");
        Resolver resolver;
        WriteFileBytes(resolver.sandbox.Directory() + "vtjobac4.dat", settings);
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        FileFailures failures(resolver.sandbox.Handle());
        if (row.unwritable)
            failures.FailNewFiles(ERROR_ACCESS_DENIED);

        PopupAnswer reply(row.replies);
        Result result;
        ASSERT_EQ(AskAnswering(resolver, "ZR Fixed P", &result, reply), 1) << row.name;
        EXPECT_EQ(reply.shown, row.shown) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_STREQ(result.user, row.user) << row.name;
    }
}

namespace {

// Answers the fixed-ID selection the resolution opens: selects `row` (none: -1) and presses
// `button`; counts the dialogs shown.
struct SelectionAnswer {
    int row;
    int button;
    int shown = 0;
};
SelectionAnswer* selection;

BOOL CALLBACK AnswerSelection(HWND window, LPARAM)
{
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window) || GetPropA(window, AnsweredMark))
        return TRUE;
    SetPropA(window, AnsweredMark, reinterpret_cast<HANDLE>(1));
    ++selection->shown;
    if (selection->row >= 0) {
        LVITEMA item = {};
        item.state = LVIS_SELECTED;
        item.stateMask = LVIS_SELECTED;
        SendDlgItemMessageA(window, 1019, LVM_SETITEMSTATE, selection->row, reinterpret_cast<LPARAM>(&item));
    }
    PostMessageA(window, WM_COMMAND, selection->button, 0);
    return FALSE;
}

void CALLBACK OnSelectionTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), AnswerSelection, 0); }

int DialogsAttempted = 0;
INT_PTR WINAPI DialogNotCreated(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM)
{
    ++DialogsAttempted;
    return -1;
}

}  // namespace

// A fixed-ID printer without an ID offers the candidates of its settings file: the choice is sent
// to every driver and read back; Cancel, or a dialog that cannot be created, prints with the job's
// owner and asks no more.
TEST(ReadJobAccountID, FixedIDModeWithCandidatesOffersThemOnce)
{
    const char* settings = "[JobAccount]\r\nMode=5\r\n[FixedID]\r\n0=a,11\r\n1=b,22,bob\r\n";
    struct Row {
        const char* name;
        SelectionAnswer answer;
        bool created;
        int shown;
        DWORD id;
        const char* user;
        bool unwritable = false;  // no driver's copy can take the choice
    } rows[] = {
        {"a candidate chosen", {1, IDOK}, true, 1, 22, "bob"},
        {"cancelled", {-1, IDCANCEL}, true, 1, 0, "jdoe"},
        {"the dialog cannot be created", {-1, IDCANCEL}, false, 0, 0, "jdoe"},
        // A standard user cannot write the driver folders: the job in hand takes the row chosen.
        {"a candidate chosen that cannot be stored", {1, IDOK}, true, 1, 22, "bob", true},
        {"a candidate without a user chosen that cannot be stored", {0, IDOK}, true, 1, 11, "jdoe", true},
    };
    for (Row& row : rows) {
        InstalledDriver fixed(
            DriverSpec{"ZR Fixed", {Cap, "vtjobac4.dat"}, {{Cap, AllowingCapability}, {"vtjobac4.dat", settings}}});
        InstalledPrinter printer("ZR Fixed P", "ZR Fixed");
        Resolver resolver;
        WriteFileBytes(resolver.sandbox.Directory() + "vtjobac4.dat", settings);
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        std::unique_ptr<ImportHook> failing;
        DialogsAttempted = 0;
        if (!row.created)
            failing = std::make_unique<ImportHook>(resolver.sandbox.Handle(), "user32.dll", "DialogBoxParamA",
                                                   reinterpret_cast<void*>(&DialogNotCreated));
        FileFailures failures(resolver.sandbox.Handle());
        if (row.unwritable)
            failures.FailNewFiles(ERROR_ACCESS_DENIED);

        selection = &row.answer;
        UINT_PTR timer = SetTimer(nullptr, 0, 50, OnSelectionTimer);
        Result result;
        int ok = resolver.Ask("ZR Fixed P", &result);
        KillTimer(nullptr, timer);
        ASSERT_EQ(ok, 1) << row.name;
        EXPECT_EQ(row.answer.shown, row.shown) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_STREQ(result.user, row.user) << row.name;
        if (!row.created) {
            EXPECT_EQ(DialogsAttempted, 1) << row.name << ": no second attempt";
        }
    }
}

TEST(CertificateNames, AnAttributeCountsOnlyAsAWholeNamePart)
{
    struct Row {
        const char* name;
        const char* type;
        bool found;
        const char* value;
    } rows[] = {
        {"T=jdoe,CN=John Doe", "T", true, "jdoe"},
        {"CN=John Doe,T=jdoe", "T", true, "jdoe"},
        {"CN=John Doe, T=jdoe", "T", true, "jdoe"},
        {"CN=John Doe;  T=jdoe,O=x", "T", true, "jdoe"},
        {"CN=John Doe+T=jdoe", "T", true, "jdoe"},
        {"T=first,T=second", "T", true, "first"},
        {"T=\"a,b\",CN=x", "T", true, "\"a,b\""},
        {"T=", "T", true, ""},
        {"STREET=jdoe,T=eve", "T", true, "eve"},
        {"O=\"x,T=jdoe\",T=eve", "T", true, "eve"},
        {"O=\"x,T=jdoe\"", "T", false, ""},
        {"O=\"x,T=jdoe,y\",T=eve", "T", true, "eve"},
        {"STREET=jdoe", "T", false, ""},
        {"OU=CN=TAVRO LOCAL CA", "CN", false, ""},
        {"TITLE=jdoe", "T", false, ""},
        {"t=jdoe", "T", false, ""},
        {"", "T", false, ""},
    };
    for (const Row& row : rows) {
        char value[16];
        memset(value, 'x', sizeof value);
        EXPECT_EQ(FindNameAttribute(row.name, row.type, value, 8), row.found) << row.name;
        EXPECT_STREQ(value, row.value) << row.name;
        EXPECT_EQ(value[8], 'x') << row.name << ": nothing beyond the given size";
    }
    char cut[5];
    EXPECT_TRUE(FindNameAttribute("T=abcdefgh,O=x", "T", cut, sizeof cut));
    EXPECT_STREQ(cut, "abcd");
}

TEST(AccountFile, LiesInTheProfileDirectoryOfTheJobOwner)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    ModuleSandbox sandbox;
    PlantedProfile profile;
    struct Row {
        const char* name;
        std::string owner;  // empty: no job, the process's own user
        std::string path;
    } rows[] = {
        {"the process user", "", profile.File()},
        {"a job owner without an account here", "jdoe", "vtjobac.ini"},
    };
    for (const Row& row : rows) {
        JobAccountInfo info = {};
        info.Flags = JAF_NT;
        info.PrinterName = const_cast<char*>("ZR Tab P");
        std::unique_ptr<JobStandIn> job;
        if (!row.owner.empty())
            job = std::make_unique<JobStandIn>(nullptr, row.owner);
        EXPECT_TRUE(ComposeAccountFilePath(&info)) << row.name;
        ASSERT_NE(info.AccountFilePath, nullptr) << row.name;
        EXPECT_STREQ(info.AccountFilePath, row.path.c_str()) << row.name;
        EXPECT_EQ(std::string(info.UserID), row.owner.empty() ? ProcessUser() : row.owner) << row.name;
        LocalFree(info.AccountFilePath);
    }
}

TEST(AccountFile, SidTextNeedsTwentyEightPlusTwelveCharactersPerSubAuthority)
{
    struct Row {
        const char* expected;  // written by hand
        SID_IDENTIFIER_AUTHORITY authority;
        BYTE count;
        DWORD subs[8];
    } rows[] = {
        {"S-1-5-18", {{0, 0, 0, 0, 0, 5}}, 1, {18}},
        {"S-1-5-21-4294967295-1-22-333-4444", {{0, 0, 0, 0, 0, 5}}, 6, {21, 4294967295u, 1, 22, 333, 4444}},
        {"S-1-305419896-7", {{0, 0, 0x12, 0x34, 0x56, 0x78}}, 1, {7}},
        {"S-1-0x010203040506-7-8", {{1, 2, 3, 4, 5, 6}}, 2, {7, 8}},
        {"S-1-0x00ff00000000", {{0, 0xff, 0, 0, 0, 0}}, 0, {}},
        {"S-1-0xffffffffffff-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-4294967295-"
         "4294967295",
         {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
         8,
         {4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u}},
    };
    for (const Row& row : rows) {
        std::vector<BYTE> sid(GetSidLengthRequired(row.count));
        SID_IDENTIFIER_AUTHORITY authority = row.authority;
        ASSERT_TRUE(InitializeSid(sid.data(), &authority, row.count)) << row.expected;
        for (BYTE i = 0; i < row.count; ++i)
            *GetSidSubAuthority(sid.data(), i) = row.subs[i];
        const DWORD fit = 28 + 12 * row.count;

        std::vector<char> text(fit + 8, 'x');
        DWORD length = fit - 1;
        SetLastError(0);
        EXPECT_FALSE(SidToText(sid.data(), text.data(), &length)) << row.expected;
        EXPECT_EQ(length, fit) << row.expected;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << row.expected;

        length = fit;
        ASSERT_TRUE(SidToText(sid.data(), text.data(), &length)) << row.expected;
        EXPECT_STREQ(text.data(), row.expected);
        for (DWORD i = fit; i < text.size(); ++i)
            EXPECT_EQ(text[i], 'x') << row.expected << ": written past the buffer at " << i;
    }
    BYTE invalid[16] = {};
    DWORD length = 256;
    char text[256];
    EXPECT_FALSE(SidToText(invalid, text, &length));
}

namespace {

INT_PTR WINAPI DialogCannotBeCreated(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }

// Read past the profile functions' cache, "<none>" when the key is missing.
std::string ProfileValueFromDisk(const std::string& file, const char* section, const char* key)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    char value[128] = {};
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, file.c_str());
    return value;
}

}  // namespace

TEST(ReadJobAccountID, ColourPasswordPopupAnswersOrLetsTheOrdinaryResolutionGoOn)
{
    InstalledDriver tab(DriverSpec{"ZR Ask", {Cap, "vtjobac1.dat"}, {{Cap, AllowingCapability}}});
    InstalledPrinter printer("ZR Ask P", "ZR Ask");
    PlantedProfile profile;
    AccountFileBackup account(profile.File());
    struct Row {
        const char* name;
        int button;
        bool creatable;
        int answered;
        DWORD id;
        const char* user;
    } rows[] = {
        {"OK gives the typed password and user", IDOK, true, 1, 4321, "Colour User"},
        {"Cancel goes on with the account file", IDCANCEL, true, 1, 77, "alice"},
        {"a popup that cannot be created: no record", IDOK, false, 0, 0, nullptr},
    };
    for (const Row& row : rows) {
        WriteFileBytes(account.Path(), "[ZR Ask P]\r\nPopupColorPassword=1\r\nJobAccountID=77\r\nUserID=alice\r\n");
        Resolver resolver("PopupColorPassword=1\r\n");
        std::unique_ptr<ImportHook> failing;
        if (!row.creatable) {
            failing = std::make_unique<ImportHook>(resolver.sandbox.Handle(), "user32.dll", "DialogBoxParamA",
                                                   reinterpret_cast<void*>(&DialogCannotBeCreated));
            ASSERT_TRUE(failing->ok()) << row.name;
        }
        PopupAnswer reply("Colour User", "4321", row.button);
        Result result;
        int answered = AskAnswering(resolver, "ZR Ask P", &result, reply);
        EXPECT_EQ(reply.shown, row.creatable ? 1 : 0) << row.name;
        ASSERT_EQ(answered, row.answered) << row.name;
        if (!row.user) {
            EXPECT_EQ(result.id, 0x5A5A5A5Au) << row.name << ": the result is not touched";
            continue;
        }
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_STREQ(result.user, row.user) << row.name;
    }
}

TEST(ReadJobAccountID, CertificateIDModeWritesBackTheIDButNeverACertifiedUser)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    const std::string certified = "CN=TAVRO LOCAL CA|T=jdoe\r\n";
    struct Row {
        const char* name;
        std::string settings;
        std::string stored;
        std::string certificates;
        int popups;
        DWORD id;
        const char* user;
        const char* section;
        const char* storedID;    // in `section` afterwards
        const char* storedUser;  // "<none>": no such key
    } rows[] = {
        {"the printer's ID is copied to AllPrinter", "AllPrinterIsSameID=1\r\n",
         "[ZR Tab P]\r\nJobAccountID=42\r\n[AllPrinter]\r\nUserID=shared\r\n", certified, 0, 999900042, "jdoe",
         "AllPrinter", "42", "shared"},
        {"a certified user types an ID", "VistaPopupDisabled=0\r\n", "", certified, 1, 999900055, "jdoe", "ZR Tab P",
         "55", "<none>"},
        {"an uncertified user types both", "VistaPopupDisabled=0\r\n", "", "CN=OTHER CA|T=jdoe\r\n", 1, 55,
         "jdoe", "ZR Tab P", "55", "jdoe"},
    };
    for (const Row& row : rows) {
        Resolver resolver("GetVexaIDMode=1\r\n" + row.settings);
        CopyFileA((ProgramDirectory() + "tvctfct.dll").c_str(), (resolver.sandbox.Directory() + "tvctfct.dll").c_str(),
                  FALSE);
        WriteFileBytes(resolver.sandbox.Directory() + "tvctfct.txt", row.certificates);
        WriteFileBytes(account.Path(), row.stored);
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        PopupAnswer reply("jdoe", "55");
        Result result;
        ASSERT_EQ(AskAnswering(resolver, "ZR Tab P", &result, reply), 1) << row.name;
        EXPECT_EQ(reply.shown, row.popups) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_STREQ(result.user, row.user) << row.name;
        EXPECT_EQ(ProfileValueFromDisk(account.Path(), row.section, "JobAccountID"), row.storedID) << row.name;
        EXPECT_EQ(ProfileValueFromDisk(account.Path(), row.section, "UserID"), row.storedUser) << row.name;
    }
}

// The resolution copies the printer's ID into the shared section of the job owner's account file.
// In the spooler it runs as SYSTEM for every user's jobs: a user's file is written only for that
// user (a job of the user the thread acts for), and never through a file with a second name, which
// would carry the write to wherever that name lies.
TEST(ReadJobAccountID, OnlyTheCallersOwnPlainAccountFileIsWritten)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    const std::string stored = "[ZR Tab P]\r\nJobAccountID=42\r\n";
    struct Row {
        const char* name;
        const char* owner;      // of the spooling job
        const char* ownerSid;   // whose profile holds the account file
        bool secondName;        // the account file is a hard link to a file elsewhere
        const char* copied;     // JobAccountID of [AllPrinter] afterwards
    } rows[] = {
        {"the job of the user the thread acts for", nullptr, nullptr, false, "42"},
        {"another user's job (the spooler serving a client it does not impersonate)", "LOCAL SERVICE", "S-1-5-19",
         false, "<none>"},
        {"an account file with a second name", nullptr, nullptr, true, "<none>"},
    };
    for (const Row& row : rows) {
        const std::string owner = row.owner ? row.owner : ProcessUser();
        PlantedProfile profile(row.ownerSid ? row.ownerSid : ProcessUserSidText());
        const std::string elsewhere = FreshTestDirectory("elsewhere") + "protected.ini";
        if (row.secondName) {
            WriteFileBytes(elsewhere, stored);
            ASSERT_TRUE(CreateHardLinkA(profile.File().c_str(), elsewhere.c_str(), nullptr)) << row.name;
        } else {
            WriteFileBytes(profile.File(), stored);
        }
        Resolver resolver("GetVexaIDMode=1\r\nAllPrinterIsSameID=1\r\n");
        JobStandIn job(resolver.sandbox.Handle(), owner.c_str());
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1) << row.name;
        EXPECT_EQ(result.id, 42u) << row.name << ": the file is still read";
        EXPECT_EQ(ProfileValueFromDisk(profile.File(), "AllPrinter", "JobAccountID"), row.copied) << row.name;
        if (row.secondName) {
            EXPECT_EQ(ReadFileBytes(elsewhere), stored) << row.name << ": the file of the other name is unchanged";
        }
    }
}

// The certificate library is the vendor's, beside the module; a DLL it imports is taken from its
// own folder or the system folder, never from the printing application's folder, where anyone who
// could write there would have the library load theirs.
TEST(ReadJobAccountID, TheCertificateLibrarysOwnDllsComeFromItsFolder)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    struct Row {
        const char* name;
        bool besideTheLibrary;  // its DLL; the test program's folder always holds one
        DWORD id;
    } rows[] = {
        {"its DLL beside it", true, 999900042},
        {"its DLL only in the application's folder", false, 42},
    };
    for (const Row& row : rows) {
        WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=42\r\nUserID=stored user\r\n");
        Resolver resolver("GetVexaIDMode=1\r\nGetVexaIDDll=tvctfctdep.dll\r\n");
        const std::string folder = resolver.sandbox.Directory();
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "tvctfctdep.dll").c_str(), (folder + "tvctfctdep.dll").c_str(), FALSE));
        if (row.besideTheLibrary) {
            ASSERT_TRUE(CopyFileA((ProgramDirectory() + "zrcertdep.dll").c_str(), (folder + "zrcertdep.dll").c_str(), FALSE));
        }
        WriteFileBytes(folder + "tvctfct.txt", "CN=TAVRO LOCAL CA|T=jdoe\r\n");
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_EQ(GetModuleHandleA((folder + "tvctfctdep.dll").c_str()), nullptr) << row.name << ": unloaded after the call";
    }
}

namespace {

// A resolution on a thread of its own, which the test may stop waiting for.
struct ThreadedAsk {
    Resolver* resolver;
    const char* printer;
    Result result;
    int answered;

    static DWORD WINAPI Run(void* self)
    {
        auto* ask = static_cast<ThreadedAsk*>(self);
        ask->answered = ask->resolver->Ask(ask->printer, &ask->result);
        return 0;
    }
};

}  // namespace

// A certificate library may number its certificates up to the largest index there is; the walk
// over them ends all the same.
TEST(ReadJobAccountID, CertificatesNumberedUpToLongMaxAreAnsweredInBoundedTime)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=42\r\nUserID=stored user\r\n");
    Resolver resolver("GetVexaIDMode=1\r\n");
    CopyFileA((ProgramDirectory() + "tvctfct.dll").c_str(), (resolver.sandbox.Directory() + "tvctfct.dll").c_str(), FALSE);
    WriteFileBytes(resolver.sandbox.Directory() + "tvctfct.txt",
                   "#ending-at-max\r\nCN=OTHER CA|T=eve\r\nCN=TAVRO LOCAL CA|T=jdoe\r\n");
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");
    ThreadedAsk call{&resolver, "ZR Tab P", {}, -1};
    HANDLE thread = CreateThread(nullptr, 0, &ThreadedAsk::Run, &call, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    if (WaitForSingleObject(thread, 30000) != WAIT_OBJECT_0) {
        // Stopped where it walks, before the module it runs in is freed under it.
        TerminateThread(thread, 1);
        CloseHandle(thread);
        FAIL() << "no answer after 30 s";
    }
    CloseHandle(thread);
    EXPECT_EQ(call.answered, 1);
    // Where the automation library reads the elements at those indexes the last one vouches for
    // jdoe; Wine's reads none there, and the stored entries answer.
    const bool certified = call.result.id == 999900042u && std::string(call.result.user) == "jdoe";
    const bool stored = call.result.id == 42u && std::string(call.result.user) == "stored user";
    EXPECT_TRUE(certified || stored) << call.result.id << ", " << call.result.user;
}

TEST(ReadJobAccountID, SettingsNumbersBeyond32BitsDoNotWrap)
{
    // Each Hide variant answers differently: 4 from this file's list, 5 the fixed ID, 6 the shared list.
    std::string share = FreshTestDirectory("share");
    WriteFileBytes(share + "vtjobac4.dat", "[JobAccountID]\r\njdoe=4711,Shared John\r\n");
    struct Row {
        const char* mode;
        DWORD id;
        const char* user;
    } rows[] = {
        {"4294967301", 1234, "John"},  // 2^32 + 5
        {"4294967302", 1234, "John"},  // 2^32 + 6
        {"5", 55, "jdoe"},
        {"6junk", 4711, "Shared John"},
        {"-5", 1234, "John"},
        {"", 1234, "John"},
        {"garbage", 1234, "John"},
    };
    for (const Row& row : rows) {
        std::string settings = std::string("[JobAccount]\r\nMode=") + row.mode + "\r\nJobAccountID=55\r\nPath=" +
                               share.substr(0, share.size() - 1) + "\r\n[JobAccountID]\r\njdoe=1234,John\r\n";
        InstalledDriver hide(DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                        {{Cap, Capabilities()}, {"vtjobac4.dat", settings}}});
        InstalledPrinter printer("ZR Hide P", "ZR Hide");
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1) << "Mode=" << row.mode;
        EXPECT_EQ(result.id, row.id) << "Mode=" << row.mode;
        EXPECT_STREQ(result.user, row.user) << "Mode=" << row.mode;
    }

    // A driver that does not allow dialogs keeps them closed whatever the size of the number.
    InstalledDriver popup(AccountingDriver("ZR Popup", "vtjobac2.dat"));
    InstalledPrinter printer("ZR Popup P", "ZR Popup");
    struct PopupRow {
        const char* value;
        int shown;
    } popupRows[] = {{"4294967296", 0}, {"0", 1}};
    for (const PopupRow& row : popupRows) {
        Resolver resolver(std::string("VistaPopupDisabled=") + row.value + "\r\n");
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        PopupAnswer reply{"", "", IDCANCEL};
        Result result;
        ASSERT_EQ(AskAnswering(resolver, "ZR Popup P", &result, reply), 1) << row.value;
        EXPECT_EQ(reply.shown, row.shown) << "VistaPopupDisabled=" << row.value;
    }
}

TEST(ReadJobAccountID, AListPathThatDoesNotFitNamesNoListFile)
{
    // Mode 6 with a Path of `length` characters, beside a decoy under the name a cut path would give.
    // Where Path + "\vtjobac4.dat" does not fit, only the decoy exists.
    struct Row {
        size_t length;
        DWORD id;
        const char* user;
    } rows[] = {{MAX_PATH - 14, 4711, "Edge John"}, {MAX_PATH - 13, 0, "jdoe"}};
    for (const Row& row : rows) {
        std::string base = FreshTestDirectory(std::to_string(row.length));
        std::string share = base + std::string(row.length - base.size(), 's');
        ASSERT_TRUE(CreateDirectoryA(share.c_str(), nullptr)) << row.length;
        std::string list = share + "\\vtjobac4.dat";
        if (list.size() < MAX_PATH)
            WriteFileBytes(list, "[JobAccountID]\r\njdoe=4711,Edge John\r\n");
        WriteFileBytes(share + "\\vtjobac4.da", "[JobAccountID]\r\njdoe=999,cutfile\r\n");

        std::string settings = "[JobAccount]\r\nMode=6\r\nPath=" + share + "\r\n";
        InstalledDriver hide(DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                        {{Cap, Capabilities()}, {"vtjobac4.dat", settings}}});
        InstalledPrinter printer("ZR Hide P", "ZR Hide");
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1) << row.length;
        EXPECT_EQ(result.id, row.id) << "Path of " << row.length << " characters";
        EXPECT_STREQ(result.user, row.user) << "Path of " << row.length << " characters";
    }
}

namespace {

std::string WinIni()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "win.ini");  // what is cached goes to disk
    return ReadFileBytes(std::string(windows) + "\\win.ini");
}

// Stand-in for a heap that runs out exactly when the module allocates `failSize` bytes.
namespace no_memory {

SIZE_T failSize;
int failures;
decltype(&LocalAlloc) realLocalAlloc;

HLOCAL WINAPI LocalAllocStub(UINT flags, SIZE_T bytes)
{
    if (bytes == failSize) {
        ++failures;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return realLocalAlloc(flags, bytes);
}

}  // namespace no_memory

}  // namespace

TEST(ReadJobAccountID, WithoutAFileNameNothingReachesWinIni)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    const std::string winIni = WinIni();

    // The all-drivers state with a registry "AllMode" that is no mode.
    for (DWORD allMode : {4u, 8u}) {
        Resolver resolver("AllMode=1\r\nGetVexaIDMode=1\r\n");
        SetRegistryDword(resolver.sandbox.RegistryRoot(), "AllFlag", 1);
        SetRegistryDword(resolver.sandbox.RegistryRoot(), "AllMode", allMode);
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        Result result;
        EXPECT_EQ(resolver.Ask("ZR Tab P", &result), 0) << "registry AllMode " << allMode;
        EXPECT_EQ(WinIni(), winIni) << "registry AllMode " << allMode;
    }

    // No memory left for the account file's path. The job owner has no account, so the path is the
    // bare file name this string file gives.
    const char accountFile[] = "zrnomemory.ini";
    Resolver resolver(std::string("GetVexaIDMode=1\r\nAccountFile=") + accountFile + "\r\n");
    JobStandIn job(resolver.sandbox.Handle(), "zr no such user");
    no_memory::failSize = sizeof accountFile;
    no_memory::failures = 0;
    ImportHook hook(resolver.sandbox.Handle(), "kernel32.dll", "LocalAlloc",
                    reinterpret_cast<void*>(&no_memory::LocalAllocStub));
    ASSERT_TRUE(hook.ok());
    no_memory::realLocalAlloc = reinterpret_cast<decltype(&LocalAlloc)>(hook.original());
    Result result;
    EXPECT_EQ(resolver.Ask("ZR Tab P", &result), 0);
    EXPECT_EQ(no_memory::failures, 1) << "the account file's path was the allocation that failed";
    EXPECT_EQ(WinIni(), winIni);
}

// The module learns its settings once in each load, at the first call that needs them: an
// administrator's edit of the string file reaches a process that goes on running at the module's
// next load there, and nothing is read while the loader holds its lock.
TEST(ModuleLoading, EachLoadReadsTheStringFileAsItStandsAtItsFirstAnswer)
{
    InstalledDriver tab(DriverSpec{"ZR Tab", {Cap, "zrtabmark.dat"}, {{Cap, Capabilities()}}});
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    PlantedProfile profile;
    WriteFileBytes(profile.File("zrfirst.ini"), "[ZR Tab P]\r\nJobAccountID=11\r\n");
    WriteFileBytes(profile.File("zrsecond.ini"), "[ZR Tab P]\r\nJobAccountID=22\r\n");
    const std::string directory = FreshTestDirectory();
    const std::string dll = directory + "zrlogext.dll";
    const std::string strings = directory + "zrjobacs.str";
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "zrlogext.dll").c_str(), dll.c_str(), FALSE));
    // What the file holds when the module is loaded, and again after its first answer.
    const std::string other = "[common]\r\nDatFile1=zrothermark.dat\r\nAccountFile=zrsecond.ini\r\n";
    struct Row {
        const char* name;
        const char* common;
        int answered;
        DWORD id;
    } rows[] = {
        {"the driver's data file marks no mode", "AccountFile=zrfirst.ini\r\n", 0, 0},
        {"DatFile1 names it", "DatFile1=zrtabmark.dat\r\nAccountFile=zrfirst.ini\r\n", 1, 11},
        {"AccountFile names another file", "DatFile1=zrtabmark.dat\r\nAccountFile=zrsecond.ini\r\n", 1, 22},
    };
    for (const Row& row : rows) {
        WriteFileBytes(strings, other);
        HMODULE module = LoadLibraryA(dll.c_str());
        ASSERT_NE(module, nullptr) << row.name;
        WriteFileBytes(strings, std::string("[common]\r\n") + row.common);
        auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ReadJobAccountID")));
        Result result = {};
        EXPECT_EQ(read("ZR Tab P", 0, &result), row.answered) << row.name;
        EXPECT_EQ(result.id, row.id) << row.name;
        WriteFileBytes(strings, other);
        result = {};
        EXPECT_EQ(read("ZR Tab P", 0, &result), row.answered) << row.name << ", asked again after another edit";
        EXPECT_EQ(result.id, row.id) << row.name << ", asked again after another edit";
        FreeLibrary(module);
    }
}

namespace {

// Sets a file's last write `minutes` ago, as an edit made then would have left it.
void SetWrittenMinutesAgo(const std::string& path, int minutes)
{
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
    time.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000;
    const FILETIME then{time.LowPart, time.HighPart};
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    SetFileTime(file, nullptr, nullptr, &then);
    CloseHandle(file);
}

}  // namespace

// A job owner without a profile here (a print server's remote user) has the bare account-file
// name, which the profile functions read in the Windows directory: each edit there is answered.
TEST(ReadJobAccountID, ABareAccountFileNameAnswersEachEditOfTheFile)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    AccountFileBackup account(std::string(windows) + "\\zrbare.ini");
    Resolver resolver("AccountFile=zrbare.ini\r\n");
    JobStandIn job(resolver.sandbox.Handle(), "zr no such user");
    struct Row {
        const char* id;
        int minutesAgo;
    } edits[] = {{"11", 60}, {"22", 30}, {"33", 20}};
    for (const Row& edit : edits) {
        WriteFileBytes(account.Path(), std::string("[ZR Tab P]\r\nJobAccountID=") + edit.id + "\r\nUserID=bare\r\n");
        SetWrittenMinutesAgo(account.Path(), edit.minutesAgo);
        Result result;
        ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1) << edit.id;
        EXPECT_EQ(std::to_string(result.id), edit.id);
    }
}

namespace {

// Stand-in for a loader that cannot load one system library (a long-running 32-bit process out of
// address space, a damaged system); every other library loads as usual. The module loads system
// libraries with LoadLibraryExW, from the system folder.
namespace refused_library {

const wchar_t* name;
decltype(&LoadLibraryExW) realLoadLibrary;

HMODULE WINAPI LoadLibraryStub(LPCWSTR file, HANDLE reserved, DWORD flags)
{
    if (file && lstrcmpiW(file, name) == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return realLoadLibrary(file, reserved, flags);
}

}  // namespace refused_library

// Runs `call` on a thread of its own and tells the code of an exception that no handler took, or 0.
// Such an exception would end the process: the thread ends instead, so that the test can fail.
namespace unhandled {

DWORD worker;
DWORD code;

LONG WINAPI EndTheWorker(EXCEPTION_POINTERS* exception)
{
    if (GetCurrentThreadId() != worker)
        return EXCEPTION_CONTINUE_SEARCH;
    code = exception->ExceptionRecord->ExceptionCode;
    ExitThread(1);
}

DWORD WINAPI RunCall(void* call)
{
    (*static_cast<const std::function<void()>*>(call))();
    return 0;
}

DWORD ExceptionEscaping(const std::function<void()>& call)
{
    code = 0;
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(EndTheWorker);
    HANDLE thread = CreateThread(nullptr, 0, RunCall, const_cast<std::function<void()>*>(&call), CREATE_SUSPENDED, &worker);
    EXPECT_NE(thread, nullptr);
    if (thread) {
        ResumeThread(thread);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    SetUnhandledExceptionFilter(previous);
    return code;
}

}  // namespace unhandled

}  // namespace

// The print path's steps that need a system library beyond the spooler's (the host address, the
// certificate, the fixed-ID choice) fail like any other failed call when it cannot be loaded: the
// job prints as without the address, without a certificate, without the choice.
TEST(ReadJobAccountID, ASystemLibraryThatCannotLoadFailsOnlyItsStep)
{
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=42\r\nUserID=stored user\r\n");
    const char* hostSettings = "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\njdoe=5\r\n";
    const char* fixedSettings = "[JobAccount]\r\nMode=5\r\n[FixedID]\r\n0=a,11\r\n";
    struct Row {
        const wchar_t* library;
        DriverSpec driver;
        const char* common;
        DWORD id;
        const char* user;
    } rows[] = {
        {L"wsock32.dll", {"ZR Hide", {Cap, "vtjobac4.dat"}, {{Cap, Capabilities()}, {"vtjobac4.dat", hostSettings}}}, "", 5,
         "jdoe"},
        {L"oleaut32.dll", AccountingDriver("ZR Tab", "vtjobac1.dat"), "GetVexaIDMode=1\r\n", 42, "stored user"},
        {L"comctl32.dll", {"ZR Fixed", {Cap, "vtjobac4.dat"}, {{Cap, AllowingCapability}, {"vtjobac4.dat", fixedSettings}}},
         "", 0, "jdoe"},
    };
    for (const Row& row : rows) {
        // The drivers' files share one directory: one driver at a time.
        InstalledDriver driver(row.driver);
        const std::string printerName = row.driver.name + " P";
        InstalledPrinter printer(printerName, row.driver.name);
        Resolver resolver(row.common);
        CopyFileA((ProgramDirectory() + "tvctfct.dll").c_str(), (resolver.sandbox.Directory() + "tvctfct.dll").c_str(),
                  FALSE);
        WriteFileBytes(resolver.sandbox.Directory() + "tvctfct.txt", "CN=TAVRO LOCAL CA|T=jdoe\r\n");
        JobStandIn job(resolver.sandbox.Handle(), "jdoe");
        refused_library::name = row.library;
        ImportHook refuse(resolver.sandbox.Handle(), "kernel32.dll", "LoadLibraryExW",
                          reinterpret_cast<void*>(&refused_library::LoadLibraryStub));
        ASSERT_TRUE(refuse.ok()) << row.library;
        refused_library::realLoadLibrary = reinterpret_cast<decltype(&LoadLibraryExW)>(refuse.original());

        Result result;
        int answered = 0;
        const DWORD escaped =
            unhandled::ExceptionEscaping([&] { answered = resolver.Ask(printerName.c_str(), &result); });
        ASSERT_EQ(escaped, 0u) << row.library << ": an exception nobody handles would end the printing process";
        ASSERT_EQ(answered, 1) << row.library;
        EXPECT_EQ(result.id, row.id) << row.library;
        EXPECT_STREQ(result.user, row.user) << row.library;
    }
}

namespace {

// Stand-in for a C runtime heap that runs out at the first request of `failSize` bytes.
namespace no_heap {

size_t failSize;
int failures;
decltype(&malloc) realMalloc;

void* MallocStub(size_t bytes)
{
    if (bytes == failSize && failures == 0) {
        ++failures;
        return nullptr;
    }
    return realMalloc(bytes);
}

}  // namespace no_heap

}  // namespace

// A container of the print path that cannot grow throws; the export answers 0 instead of letting the
// exception unwind into the driver, and the next job is answered as usual.
TEST(ReadJobAccountID, AnAllocationFailureOnThePrintPathAnswersZero)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    Resolver resolver;
    Result result;
    {
        no_heap::failSize = 4096;  // the spooler queries' first guess
        no_heap::failures = 0;
        ImportHook hook(resolver.sandbox.Handle(), "msvcrt.dll", "malloc", reinterpret_cast<void*>(&no_heap::MallocStub));
        ASSERT_TRUE(hook.ok());
        no_heap::realMalloc = reinterpret_cast<decltype(&malloc)>(hook.original());
        EXPECT_EQ(resolver.Ask("ZR Tab P", &result), 0);
        EXPECT_EQ(no_heap::failures, 1);
    }
    EXPECT_EQ(resolver.Ask("ZR Tab P", &result), 1);
    EXPECT_EQ(result.id, 1u);
}

namespace {

DWORD FreeTlsSlots()
{
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken.push_back(slot);
    for (DWORD slot : taken)
        TlsFree(slot);
    return static_cast<DWORD>(taken.size());
}

// Wine reports no handle count: probe the handle values instead.
DWORD OpenHandles()
{
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

int LoadCycles()
{
    char text[16] = {};
    GetEnvironmentVariableA("ZR_LOAD_CYCLES", text, sizeof text);
    int cycles = atoi(text);
    return cycles > 0 ? cycles : 1000;
}

// A job answered by the loaded module; empty, or what went otherwise.
std::string AnswerJob(HMODULE module)
{
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ReadJobAccountID")));
    Result result = {};
    if (!read || read("ZR Tab P", 0, &result) != 1 || result.id != 1)
        return "the job was not answered";
    return "";
}

// A job whose first spooler buffer the heap refuses: the module throws, and catches that inside the
// export. Empty, or what went otherwise.
std::string ThrowInsideTheModule(HMODULE module)
{
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ReadJobAccountID")));
    if (!read)
        return "no export";
    no_heap::failSize = 4096;  // the spooler queries' first guess
    no_heap::failures = 0;
    ImportHook hook(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&no_heap::MallocStub));
    if (!hook.ok())
        return "the module imports no malloc";
    no_heap::realMalloc = reinterpret_cast<decltype(&malloc)>(hook.original());
    Result result = {};
    if (read("ZR Tab P", 0, &result) != 0 || no_heap::failures != 1)
        return "no allocation failed inside the export, or the export answered all the same";
    return "";
}

// One load of the module's copy `dll`, a throw caught inside it (after a job answered, when asked
// for) and the unload.
std::string LoadThrowAndFree(const std::string& dll, bool answerFirst)
{
    HMODULE module = LoadLibraryA(dll.c_str());
    if (!module)
        return "not loaded";
    std::string fault = answerFirst ? AnswerJob(module) : "";
    if (fault.empty())
        fault = ThrowInsideTheModule(module);
    FreeLibrary(module);
    if (fault.empty() && GetModuleHandleA(dll.c_str()))
        fault = "still loaded after its FreeLibrary";
    return fault;
}

// The shared libgcc that applications built with MinGW carry, from the toolchain (copied beside the
// tests by the build).
const char* SharedLibgcc()
{
    return sizeof(void*) == 4 ? "libgcc_s_dw2-1.dll" : "libgcc_s_seh-1.dll";
}

std::string ModuleCopy()
{
    std::string dll = FreshTestDirectory() + "zrlogext.dll";
    EXPECT_TRUE(CopyFileA((ProgramDirectory() + "zrlogext.dll").c_str(), dll.c_str(), FALSE));
    return dll;
}

// What a module left in the process would show: fewer free TLS slots, more handles, busier heaps.
struct Footprint {
    DWORD freeTlsSlots = FreeTlsSlots();
    DWORD handles = OpenHandles();
    SIZE_T heapBytes = HeapBusyBytes();

    // Checks `after` against this one, naming `what`; `heapRoom` bytes the platform may keep.
    void ExpectSame(const Footprint& after, const std::string& what, SIZE_T heapRoom) const
    {
        EXPECT_EQ(after.freeTlsSlots, freeTlsSlots) << what;
        EXPECT_LE(after.handles, handles + 2) << what;
        EXPECT_LT(after.heapBytes, heapBytes + heapRoom) << what;
        printf("%s: free TLS slots %lu -> %lu, handles %lu -> %lu, heap %lu -> %lu bytes\n", what.c_str(),
               static_cast<unsigned long>(freeTlsSlots), static_cast<unsigned long>(after.freeTlsSlots),
               static_cast<unsigned long>(handles), static_cast<unsigned long>(after.handles),
               static_cast<unsigned long>(heapBytes), static_cast<unsigned long>(after.heapBytes));
    }
};

}  // namespace

// Spoolers, shells and printing applications load and free the module for as long as they run, and
// its calls throw and catch where memory runs out: each free takes the module out of the process and
// leaves nothing of it behind, whatever runtime the host holds. (The test program keeps winspool.drv
// loaded, as every printing process does: Wine's copy leaks a handle at each of its own unloads.)
TEST(ModuleLoading, ThousandsOfLoadsThatThrowLeaveNothingBehind)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    const std::string dll = ModuleCopy();
    struct Row {
        const char* host;
        const char* sharedRuntime;
    } rows[] = {
        {"a host of its own", nullptr},
        {"a host holding a shared libgcc, as applications built with MinGW do", SharedLibgcc()},
    };
    for (const Row& row : rows) {
        HMODULE shared = nullptr;
        if (row.sharedRuntime) {
            shared = LoadLibraryA((ProgramDirectory() + row.sharedRuntime).c_str());
            ASSERT_NE(shared, nullptr) << row.sharedRuntime;
        }
        for (int i = 0; i < 5; ++i)  // warm up what the platform keeps
            ASSERT_EQ(LoadThrowAndFree(dll, true), "") << row.host;
        const Footprint before;
        const int cycles = LoadCycles();
        const DWORD start = GetTickCount();
        for (int i = 0; i < cycles; ++i)
            ASSERT_EQ(LoadThrowAndFree(dll, false), "") << row.host << ", cycle " << i;
        const DWORD elapsed = GetTickCount() - start;
        const Footprint after;
        before.ExpectSame(after, std::string(row.host) + ": " + std::to_string(cycles) +
                                           " loads, each with a throw caught, in " + std::to_string(elapsed) + " ms",
                          16 * 1024);
        if (shared)
            FreeLibrary(shared);
    }
}

namespace {

// A thread that throws inside the module and then waits until it may end.
struct ThrowingThread {
    HMODULE module;
    HANDLE thrown;
    HANDLE mayEnd;
    std::string fault;

    static DWORD WINAPI Run(void* self)
    {
        auto* thread = static_cast<ThrowingThread*>(self);
        thread->fault = ThrowInsideTheModule(thread->module);
        SetEvent(thread->thrown);
        WaitForSingleObject(thread->mayEnd, INFINITE);
        return 0;
    }
};

// Starts a thread that throws inside `module`; returns once it has thrown.
HANDLE StartThrowingThread(ThrowingThread* thread)
{
    HANDLE handle = CreateThread(nullptr, 0, &ThrowingThread::Run, thread, 0, nullptr);
    if (handle)
        WaitForSingleObject(thread->thrown, INFINITE);
    return handle;
}

}  // namespace

// Each thread that throws inside the module has exception state of its own: the module gives it
// back when the thread ends, and at the unload for threads that outlive the module.
TEST(ModuleLoading, ThreadsThatThrowInsideTheModuleLeaveNothingBehind)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    const std::string dll = ModuleCopy();
    auto cycle = [&dll]() -> std::string {
        HMODULE module = LoadLibraryA(dll.c_str());
        if (!module)
            return "not loaded";
        ThrowingThread ending{module, CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, TRUE, nullptr), ""};
        ThrowingThread outliving{module, CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr), ""};
        HANDLE first = StartThrowingThread(&ending);
        HANDLE second = StartThrowingThread(&outliving);
        if (first)
            WaitForSingleObject(first, INFINITE);  // ends while the module is loaded
        FreeLibrary(module);
        SetEvent(outliving.mayEnd);  // ends after the unload
        if (second)
            WaitForSingleObject(second, INFINITE);
        for (HANDLE handle : {first, second, ending.thrown, ending.mayEnd, outliving.thrown, outliving.mayEnd})
            if (handle)
                CloseHandle(handle);
        if (!first || !second)
            return "no thread";
        return !ending.fault.empty() ? ending.fault : outliving.fault;
    };
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(cycle(), "");
    const Footprint before;
    const int cycles = LoadCycles() / 5;
    for (int i = 0; i < cycles; ++i)
        ASSERT_EQ(cycle(), "") << "cycle " << i;
    const Footprint after;
    before.ExpectSame(after,
                      std::to_string(cycles) +
                          " loads, each with two threads that threw, one ending before the unload and one after",
                      4 * 1024);
}

namespace {

// Stand-in for the module's CloseHandle that records each value it closes and then, as another
// thread of the host may, opens a handle at once, which takes the value just freed.
namespace watched_closes {

std::vector<HANDLE> closed;
std::vector<HANDLE> opened;
decltype(&CloseHandle) realClose;

BOOL WINAPI CloseStub(HANDLE handle)
{
    const BOOL ok = realClose(handle);
    closed.push_back(handle);
    opened.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return ok;
}

}  // namespace watched_closes

}  // namespace

// Under strict handle checking (Application Verifier) a second close of a handle stops the process;
// without it, it closes whatever the host opened meanwhile under the same value.
TEST(ModuleLoading, TheUnloadClosesEachOfItsHandlesOnceAndNoneOfTheHosts)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    const std::string dll = ModuleCopy();
    struct Row {
        const char* load;
        bool throws;
    } rows[] = {
        {"a load that answered a job", false},
        {"a load whose call threw", true},
    };
    for (const Row& row : rows) {
        HMODULE module = LoadLibraryA(dll.c_str());
        ASSERT_NE(module, nullptr) << row.load;
        ASSERT_EQ(row.throws ? ThrowInsideTheModule(module) : AnswerJob(module), "") << row.load;
        watched_closes::closed.clear();
        watched_closes::opened.clear();
        watched_closes::closed.reserve(64);
        watched_closes::opened.reserve(64);
        ImportHook watch(module, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(&watched_closes::CloseStub));
        ASSERT_TRUE(watch.ok()) << row.load;
        watched_closes::realClose = reinterpret_cast<decltype(&CloseHandle)>(watch.original());
        watch.Forget();
        FreeLibrary(module);
        ASSERT_EQ(GetModuleHandleA(dll.c_str()), nullptr) << row.load;

        std::vector<HANDLE> sorted = watched_closes::closed;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end())
            << row.load << ": a handle closed twice";
        for (size_t i = 0; i < watched_closes::opened.size(); ++i) {
            DWORD flags = 0;
            EXPECT_TRUE(GetHandleInformation(watched_closes::opened[i], &flags))
                << row.load << ": the host's handle " << watched_closes::opened[i] << ", opened after the module's close "
                << i + 1 << ", was closed by the module";
            CloseHandle(watched_closes::opened[i]);
        }
        printf("%s: %u handles closed at the unload\n", row.load, static_cast<unsigned>(watched_closes::closed.size()));
    }
}

// On a busy spooler the job list can outgrow the size the spooler has just given, more than once:
// the job is still found, and its owner is the user.
TEST(ReadJobAccountID, AJobListThatGrowsTwiceBeforeItIsReadStillGivesTheOwner)
{
    InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    Resolver resolver;
    JobStandIn job(resolver.sandbox.Handle(), "jdoe", "", JOB_STATUS_PRINTING, 2);
    Result result;
    ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1);
    EXPECT_STREQ(result.user, "jdoe");
}

namespace {

// Stand-in for the window station of a service or a SYSTEM task, which nobody sees.
BOOL WINAPI UnseenStationInformation(HANDLE object, int index, void* info, DWORD size, DWORD* needed)
{
    if (index != UOI_FLAGS || size < sizeof(USEROBJECTFLAGS))
        return GetUserObjectInformationA(object, index, info, size, needed);
    USEROBJECTFLAGS flags = {};
    flags.fInherit = FALSE;
    flags.dwFlags = 0;  // not WSF_VISIBLE
    memcpy(info, &flags, sizeof flags);
    if (needed)
        *needed = sizeof flags;
    return TRUE;
}

// Counts the windows the thread tries to create and refuses them: a dialog that opened where
// nobody can answer it would wait for ever.
int windowsAttempted;
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        ++windowsAttempted;
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Stand-in for a process of session 0, the services' session, which nobody has seen since Windows
// Vista; its window station may still say it is visible (a service allowed to interact).
BOOL WINAPI ServicesSession(DWORD process, DWORD* session)
{
    if (process != GetCurrentProcessId() || !session)
        return ProcessIdToSessionId(process, session);
    *session = 0;
    return TRUE;
}

using DiagnoseFn = DWORD(WINAPI*)(const char*, char*, DWORD);

std::string DiagnosisText(HMODULE module, const char* printer)
{
    auto diagnose = reinterpret_cast<DiagnoseFn>(reinterpret_cast<void*>(GetProcAddress(module, "DiagnoseJobAccount")));
    if (!diagnose)
        return "(no DiagnoseJobAccount)";
    std::string text(diagnose(printer, nullptr, 0) + 1, '\0');
    diagnose(printer, text.data(), static_cast<DWORD>(text.size()));
    return text.c_str();
}

}  // namespace

TEST(ReadJobAccountID, WhereNobodySeesTheWindowStationNoDialogOpens)
{
    InstalledDriver popup(DriverSpec{"ZR Ask", {Cap, "vtjobac2.dat"}, {{Cap, AllowingCapability}}});
    InstalledPrinter printer("ZR Ask P", "ZR Ask");
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    struct Row {
        const char* name;
        const char* dll;
        const char* function;
        void* standIn;
    } rows[] = {
        {"a window station nobody sees", "user32.dll", "GetUserObjectInformationA",
         reinterpret_cast<void*>(&UnseenStationInformation)},
        {"session 0, whose window station says it is visible", "kernel32.dll", "ProcessIdToSessionId",
         reinterpret_cast<void*>(&ServicesSession)},
    };
    for (const Row& row : rows) {
        Resolver resolver;
        JobStandIn job(resolver.sandbox.Handle(), "jdoe", std::string("\\\\") + computer);
        ImportHook unseen(resolver.sandbox.Handle(), row.dll, row.function, row.standIn);
        ASSERT_TRUE(unseen.ok()) << row.name;
        windowsAttempted = 0;
        HHOOK refuse = SetWindowsHookExA(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId());
        ASSERT_NE(refuse, nullptr);
        Result result;
        const int answered = resolver.Ask("ZR Ask P", &result);
        UnhookWindowsHookEx(refuse);
        EXPECT_EQ(windowsAttempted, 0) << row.name;
        ASSERT_EQ(answered, 1) << row.name;
        EXPECT_EQ(result.id, 0u) << row.name;
        EXPECT_STREQ(result.user, "jdoe") << row.name;
        const std::string diagnosis = DiagnosisText(resolver.sandbox.Handle(), "ZR Ask P");
        EXPECT_NE(diagnosis.find("popup is not shown: this process's window station is not visible"), std::string::npos)
            << row.name << ": " << diagnosis;
    }
}

// The system DLLs the module binds after its load (at the first call into them, or by name on the
// print path), each reached through a fresh copy of the module the way printing and administration
// reach it (ole32 is the property sheet's, in shellext_test). A first call whose import slot led
// nowhere would end this process instead of failing a row.
TEST(ModuleImports, EachDllBoundAtFirstCallAnswersThroughTheModule)
{
    char address[32] = {};
    ASSERT_TRUE(GetHostAddress(address, sizeof address));
    const std::string ids = FreshTestDirectory("imports") + "ids.csv";
    WriteFileBytes(ids, "alice,123\r\n");
    struct Row {
        const char* name;
        std::function<void(const char* name)> run;
    } rows[] = {
        {"wsock32: the host address of Mode 7",
         [&](const char* name) {
             InstalledDriver hide(DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                             {{Cap, Capabilities()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=7\r\n"}}});
             InstalledPrinter printer("ZR Hide P", "ZR Hide");
             Resolver resolver;
             JobStandIn job(resolver.sandbox.Handle(), "jdoe");
             Result result;
             ASSERT_EQ(resolver.Ask("ZR Hide P", &result), 1) << name;
             EXPECT_EQ(std::string(result.user), std::string("jdoe(") + address + ")") << name;
         }},
        {"oleaut32: the certificate match",
         [&](const char* name) {
             InstalledDriver tab(AccountingDriver("ZR Tab", "vtjobac1.dat"));
             InstalledPrinter printer("ZR Tab P", "ZR Tab");
             AccountFileBackup account(AccountFileInWindowsDirectory());
             WriteFileBytes(account.Path(), "[ZR Tab P]\r\nJobAccountID=42\r\n");
             Resolver resolver("GetVexaIDMode=1\r\n");
             CopyFileA((ProgramDirectory() + "tvctfct.dll").c_str(), (resolver.sandbox.Directory() + "tvctfct.dll").c_str(),
                       FALSE);
             WriteFileBytes(resolver.sandbox.Directory() + "tvctfct.txt", "CN=TAVRO LOCAL CA|T=jdoe\r\n");
             JobStandIn job(resolver.sandbox.Handle(), "jdoe");
             Result result;
             ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1) << name;
             EXPECT_EQ(result.id, 999900042u) << name;
         }},
        {"user32 and comctl32: a popup",
         [&](const char* name) {
             InstalledDriver popup(DriverSpec{"ZR Ask", {Cap, "vtjobac2.dat"}, {{Cap, AllowingCapability}}});
             InstalledPrinter printer("ZR Ask P", "ZR Ask");
             Resolver resolver;
             JobStandIn job(resolver.sandbox.Handle(), "jdoe");
             PopupAnswer reply{"Typed User", "321"};
             Result result;
             ASSERT_EQ(AskAnswering(resolver, "ZR Ask P", &result, reply), 1) << name;
             EXPECT_EQ(reply.shown, 1) << name;
             EXPECT_EQ(result.id, 321u) << name;
         }},
        {"version, comctl32 and comdlg32: the administration dialog's version box and ID file chooser",
         [&](const char* name) {
             Drivers drivers;
             AdminModule admin;
             SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n");
             const std::string& master = files.master;
             std::vector<std::string> boxes;
             std::vector<Step> steps = {Press(IDM_VERSION), ExpectErrorBox(&boxes), Press(IDM_IMPORT)};
             for (Step& step : ChooseFile(ids))
                 steps.push_back(step);
             steps.push_back(CloseByMenu());
             admin.Run(steps);
             ASSERT_EQ(boxes.size(), 1u) << name;
             EXPECT_NE(boxes[0].find(" Ver."), std::string::npos) << name << ": " << boxes[0];
             EXPECT_EQ(ProfileValueFromDisk(master, "JobAccountID", "alice"), "123") << name;
         }},
        {"shell32: the folder chooser of the another-client list's export",
         [&](const char* name) {
             Drivers drivers;  // the list of another client is a Hide driver's
             AdminModule admin;
             SettingsFiles files(admin, drivers, "[JobAccount]\r\nMode=4\r\n");
             bool browsed = false;
             Step cancelChooser = Inspect([&](HWND chooser) {
                 if (!FindWindowExA(chooser, nullptr, WC_TREEVIEWA, nullptr))
                     return RepeatThisStep("the folder chooser");
                 browsed = true;
                 PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
             });
             admin.Run({Press(IDM_ANOTHER_CLIENT), Press(IDC_EXPORT), cancelChooser, Press(IDCANCEL), CloseByMenu()});
             EXPECT_TRUE(browsed) << name;
         }},
    };
    for (const Row& row : rows)
        row.run(row.name);
}

namespace {

// Where the search for a bare name finds a DLL in the application's folder, Windows loads it; Wine
// loads its own DLL of that name instead, unless the program is told to prefer the DLLs it finds
// ("native"). While it lives, the host program is told so for the given DLLs.
class WindowsLoadOrder {
public:
    explicit WindowsLoadOrder(const std::vector<std::string>& names)
    {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_, nullptr) != ERROR_SUCCESS)
            return;
        for (std::string name : names) {
            if (name.size() > 4 && lstrcmpiA(name.c_str() + name.size() - 4, ".dll") == 0)
                name.resize(name.size() - 4);  // Wine names a .dll without its extension
            const char order[] = "native,builtin";
            RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
        }
    }
    ~WindowsLoadOrder()
    {
        if (key_) {
            RegCloseKey(key_);
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\zrhost.exe");
        }
    }
    WindowsLoadOrder(const WindowsLoadOrder&) = delete;
    WindowsLoadOrder& operator=(const WindowsLoadOrder&) = delete;

private:
    static constexpr const char* Key = "Software\\Wine\\AppDefaults\\zrhost.exe\\DllOverrides";
    HKEY key_ = nullptr;
};

// A printing application's folder: a copy of the module with its string file, the host program
// (zrhost.exe, which loads the module from beside itself) and, under each of the given system DLLs'
// names, a DLL that leaves a mark when anything loads it and that the host's loader prefers, as
// Windows' loader does, to the system's DLL where a search finds it.
class HostFolder {
public:
    explicit HostFolder(std::vector<std::string> planted) : planted_(std::move(planted)), loadOrder_(planted_)
    {
        EXPECT_TRUE(CopyFileA((ProgramDirectory() + "zrhost.exe").c_str(), (Directory() + "zrhost.exe").c_str(), FALSE));
        for (const std::string& name : planted_)
            EXPECT_TRUE(CopyFileA((ProgramDirectory() + "zrplanted.dll").c_str(), (Directory() + name).c_str(), FALSE))
                << name;
    }
    const std::string& Directory() const { return sandbox_.Directory(); }

    // The planted DLLs that something loaded.
    std::vector<std::string> LoadedPlants() const
    {
        std::vector<std::string> loaded;
        for (const std::string& name : planted_)
            if (FileExists(Directory() + name + ".loaded"))
                loaded.push_back(name);
        return loaded;
    }

    // Runs the host with `arguments` while `drive` runs on this thread.
    ProgramRun Run(const std::string& arguments, const std::function<void()>& drive) const
    {
        ProgramRun run;
        std::thread host([&] { run = RunProgram(Directory() + "zrhost.exe", arguments, Directory()); });
        if (drive)
            drive();
        host.join();
        return run;
    }

private:
    ModuleSandbox sandbox_;
    std::vector<std::string> planted_;
    WindowsLoadOrder loadOrder_;
};

struct DialogSearch {
    HWND besides;
    HWND found;
};

BOOL CALLBACK FindForeignDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<DialogSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char windowClass[16] = {};
    GetClassNameA(window, windowClass, sizeof windowClass);
    if (window == search->besides || process == GetCurrentProcessId() || !IsWindowVisible(window) ||
        strcmp(windowClass, "#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A visible dialog or box of another process (the host's), other than `besides`; null after 30 s.
HWND WaitForForeignDialog(HWND besides = nullptr)
{
    for (int tick = 0; tick < 300; ++tick) {
        DialogSearch search{besides, nullptr};
        EnumWindows(FindForeignDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(100);
    }
    return nullptr;
}

// A command of the mode administration dialog's menu, and the button that answers the box or
// chooser it opens (0: it opens none).
struct MenuCommand {
    int id;
    int answer;
};

// In the host's mode administration dialog: each command, the box or chooser it opens answered,
// then File > Close.
void Administer(const std::vector<MenuCommand>& commands)
{
    HWND dialog = WaitForForeignDialog();
    ASSERT_NE(dialog, nullptr) << "the administration dialog did not open";
    for (const MenuCommand& command : commands) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(command.id, 0), 0);
        if (!command.answer)
            continue;
        HWND opened = WaitForForeignDialog(dialog);
        EXPECT_NE(opened, nullptr) << "command " << command.id << " opened nothing";
        if (!opened)
            continue;
        PostMessageA(opened, WM_COMMAND, MAKEWPARAM(command.answer, 0), 0);
        for (int tick = 0; tick < 100 && IsWindow(opened); ++tick)
            Sleep(100);
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
}

// The printers whose jobs reach each system DLL the module loads by name on the print path.
struct HostPrinters {
    InstalledDriver hide{DriverSpec{"ZR Hide", {Cap, "vtjobac4.dat"},
                                    {{Cap, Capabilities()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=7\r\n"}}}};
    InstalledPrinter hidePrinter{"ZR Hide P", "ZR Hide"};
    InstalledDriver tab{AccountingDriver("ZR Tab", "vtjobac1.dat")};
    InstalledPrinter tabPrinter{"ZR Tab P", "ZR Tab"};
};

// The first line of what the host printed, and the rest of the line that starts with `start`
// ("(none)" when none does), without their line ends.
std::string Line(const std::string& text, const std::string& start = "")
{
    size_t at = 0;
    while (at < text.size() && text.compare(at, start.size(), start) != 0) {
        at = text.find('\n', at);
        at = at == std::string::npos ? text.size() : at + 1;
    }
    if (at >= text.size() && !start.empty())
        return "(none)";
    std::string line = text.substr(at + start.size(), text.find('\n', at) - (at + start.size()));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

}  // namespace

// Windows, as Wine, looks for a DLL given by its bare name in the application's folder first: any
// printing application's folder with a DLL named like a system DLL would run it inside the module's
// process. Every system DLL the module loads after its own load, by name or at the first call into
// it, comes from the system folder.
TEST(SystemLibraries, ADllPlantedBesideThePrintingApplicationIsNeverLoaded)
{
    char address[32] = {};
    ASSERT_TRUE(GetHostAddress(address, sizeof address));
    HostPrinters printers;  // the administration dialog lists their drivers
    AccountFileBackup account(AccountFileInWindowsDirectory());  // jdoe has no account here
    DeleteFileA(account.Path().c_str());
    struct Row {
        const char* name;
        std::string arguments;
        std::function<void()> drive;
        std::string answer;
    } rows[] = {
        {"wsock32: the host address of Mode 7", "read \"ZR Hide P\"", {}, "1 0 " + ProcessUser() + "(" + address + ")"},
        {"netapi32: the account of another computer's user", "read \"ZR Tab P\" jdoe \\\\OTHERPC", {}, "1 1 jdoe"},
        {"hhctrl.ocx, and comdlg32 bound at first call: the administration dialog's help and ID file chooser", "admin",
         [] { Administer({{IDM_HELP, 0}, {IDM_IMPORT, IDCANCEL}}); }, "dialog 1"},
    };
    for (const Row& row : rows) {
        // Not version.dll: Wine's own DLLs that the host starts with import it.
        HostFolder folder({"netapi32.dll", "wsock32.dll", "hhctrl.ocx", "comdlg32.dll"});
        const ProgramRun run = folder.Run(row.arguments, row.drive);
        EXPECT_EQ(run.exitCode, 0u) << row.name << ": " << run.out << run.err;
        EXPECT_EQ(Line(run.out), row.answer) << row.name;
        EXPECT_EQ(folder.LoadedPlants(), std::vector<std::string>{}) << row.name;
    }
}

// A spooler or a printing application loads and frees the module for as long as it runs: each
// reference the module took on a system DLL, by name or at the first call into it, is given back
// when it is freed.
TEST(ModuleLoading, TheSystemDllsItBoundAreGivenBackAtUnload)
{
    HostPrinters printers;
    AccountFileBackup account(AccountFileInWindowsDirectory());
    DeleteFileA(account.Path().c_str());
    struct Row {
        const char* name;
        std::string arguments;
        std::function<void()> drive;
    } rows[] = {
        {"wsock32.dll, loaded by name", "read \"ZR Hide P\"", {}},
        {"netapi32.dll, loaded by name", "read \"ZR Tab P\" jdoe \\\\OTHERPC", {}},
        {"version.dll, bound at first call", "admin", [] { Administer({{IDM_VERSION, IDOK}}); }},
        {"comdlg32.dll, bound at first call", "admin", [] { Administer({{IDM_IMPORT, IDCANCEL}}); }},
    };
    for (const Row& row : rows) {
        HostFolder folder({});
        const ProgramRun run = folder.Run(row.arguments, row.drive);
        EXPECT_EQ(run.exitCode, 0u) << row.name << ": " << run.out << run.err;
        EXPECT_EQ(Line(run.out, "references kept:"), "") << row.name << ": " << run.out << run.err;
    }
}
