// What ReadJobAccountID answers, called through the DLL's export as a printer driver calls it.
#include <gtest/gtest.h>

#include <windows.h>
#include <lmcons.h>
#include <psapi.h>

#include <vector>

#include "job_standin.h"
#include "resolve/identity.h"
#include "resolve/job_account_info.h"
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

DriverSpec Supporting(const std::string& name, const char* dataFile)
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

// The account file the module uses for `user` on NT.
std::string AccountFileOf(const std::string& printer, const std::string& user)
{
    JobAccountInfo info = {};
    info.Flags = JAF_NT;
    info.PrinterName = const_cast<char*>(printer.c_str());
    JobStandIn job(nullptr, user);
    ComposeAccountFilePath(&info);
    std::string path = info.AccountFilePath;
    LocalFree(info.AccountFilePath);
    if (path.find('\\') == std::string::npos) {
        // A bare name: the profile functions place it in the Windows directory.
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, sizeof windows);
        path = std::string(windows) + "\\" + path;
    }
    return path;
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
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
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
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter first("ZR Tab P", "ZR Tab");
    InstalledPrinter second("ZR Tab Q", "ZR Tab");
    std::string owner = ProcessUser();
    AccountFileBackup account(AccountFileOf("ZR Tab P", owner));
    DeleteFileA(account.Path().c_str());
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

TEST(ReadJobAccountID, TabModeTakesTheJobOwner)
{
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    Resolver resolver;
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");
    ASSERT_TRUE(job.ok());
    Result result;
    ASSERT_EQ(resolver.Ask("ZR Tab P", &result), 1);
    EXPECT_STREQ(result.user, "jdoe") << "the spooling job's owner, not the process's user";
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
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    AccountFileBackup account(AccountFileOf("ZR Tab P", "jdoe"));
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
    InstalledDriver popup(Supporting("ZR Popup", "vtjobac2.dat"));
    InstalledPrinter printer("ZR Popup P", "ZR Popup");
    Resolver resolver;
    JobStandIn job(resolver.sandbox.Handle(), "jdoe");
    Result result;
    ASSERT_EQ(resolver.Ask("ZR Popup P", &result), 1);
    EXPECT_EQ(result.id, 0u);
    EXPECT_STREQ(result.user, "jdoe");
}

namespace {

SIZE_T HeapBusyBytes()
{
    SIZE_T busy = 0;
    HANDLE heap = GetProcessHeap();
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            busy += entry.cbData;
    HeapUnlock(heap);
    return busy;
}

}  // namespace

TEST(ReadJobAccountID, RepeatedResolutionsLeaveNothingBehind)
{
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
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

namespace {

// Answers the first popup the thread shows: fills the user and ID edits and presses a button.
struct PopupAnswer {
    std::string user;
    std::string id;
    int button = IDOK;
    int shown = 0;
};
PopupAnswer* answer;

BOOL CALLBACK AnswerPopup(HWND window, LPARAM)
{
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    ++answer->shown;
    SetDlgItemTextA(window, 1004, answer->user.c_str());
    SetDlgItemTextA(window, 1006, answer->id.c_str());
    PostMessageA(window, WM_COMMAND, answer->button, 0);
    return FALSE;
}

void CALLBACK OnPopupTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (answer->shown == 0)
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
    return cycles > 0 ? cycles : 2000;
}

}  // namespace

// Spoolers, shells and printing applications load and unload the module for as long as they run.
TEST(ModuleLoading, ThousandsOfLoadsAndUnloadsLeaveNothingBehind)
{
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
    InstalledPrinter printer("ZR Tab P", "ZR Tab");
    std::string dll = FreshTestDirectory() + "zrlogext.dll";
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "zrlogext.dll").c_str(), dll.c_str(), FALSE));

    auto cycle = [&dll]() {
        HMODULE module = LoadLibraryA(dll.c_str());
        if (!module)
            return false;
        auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ReadJobAccountID")));
        Result result = {};
        bool answered = read && read("ZR Tab P", 0, &result) == 1 && result.id == 1;
        FreeLibrary(module);
        return answered;
    };
    for (int i = 0; i < 5; ++i)  // warm up what the platform keeps
        ASSERT_TRUE(cycle());
    DWORD tls = FreeTlsSlots();
    DWORD handles = OpenHandles();
    SIZE_T heap = HeapBusyBytes();

    const int cycles = LoadCycles();
    DWORD start = GetTickCount();
    for (int i = 0; i < cycles; ++i)
        ASSERT_TRUE(cycle()) << "cycle " << i;
    DWORD elapsed = GetTickCount() - start;

    EXPECT_NE(GetModuleHandleA(dll.c_str()), nullptr) << "the module stays loaded for the life of the process";
    EXPECT_EQ(FreeTlsSlots(), tls);
    EXPECT_LE(OpenHandles(), handles + 2);
    EXPECT_LT(HeapBusyBytes(), heap + 16 * 1024);
    printf("%d loads, resolutions and unloads in %lu ms: free TLS slots %lu -> %lu, handles %lu -> %lu, heap %lu -> %lu bytes\n",
           cycles, static_cast<unsigned long>(elapsed), static_cast<unsigned long>(tls),
           static_cast<unsigned long>(FreeTlsSlots()), static_cast<unsigned long>(handles),
           static_cast<unsigned long>(OpenHandles()), static_cast<unsigned long>(heap),
           static_cast<unsigned long>(HeapBusyBytes()));
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
    InstalledDriver popup(Supporting("ZR Popup", "vtjobac2.dat"));
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
    InstalledDriver tab(Supporting("ZR Tab", "vtjobac1.dat"));
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
