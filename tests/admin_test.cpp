// Mode administration: the spooler restart against Wine's service manager, switching drivers
// between modes through the real spooler, the exports that do it without a dialog, and jobacct.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "admin/apply_mode.h"
#include "admin/mode_exports.h"
#include "admin/spooler_restart.h"
#include "iat_hook.h"
#include "idlist/driver_list.h"
#include "host_run.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Services

class Service {
public:
    explicit Service(SC_HANDLE handle) : handle_(handle) {}
    ~Service()
    {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

DWORD ServiceState(const char* name)
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Service service(OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status = {};
    if (!service.get() || !QueryServiceStatus(service.get(), &status))
        return 0;
    return status.dwCurrentState;
}

// Brings the service into `state` (running or stopped) and waits up to 10 s for it.
bool PutService(const char* name, DWORD state)
{
    Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Service service(OpenServiceA(manager.get(), name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service.get())
        return false;
    SERVICE_STATUS status = {};
    if (state == SERVICE_RUNNING)
        StartServiceA(service.get(), 0, nullptr);
    else
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 100; ++i) {
        if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState == state)
            return true;
        Sleep(100);
    }
    return false;
}

// Test services run by zrtestsvc.exe; removed again when the fixture ends.
class TestService {
public:
    explicit TestService(const std::string& name) : name_(name)
    {
        Remove();
        std::wstring wide(name.begin(), name.end());
        std::string command = "\"" + ProgramDirectory() + "zrtestsvc.exe\" " + name;
        std::wstring wideCommand(command.begin(), command.end());
        Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        Service service(CreateServiceW(manager.get(), wide.c_str(), wide.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                       wideCommand.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_NE(service.get(), nullptr) << "CreateService " << name << " error " << GetLastError();
    }
    ~TestService() { Remove(); }
    const std::string& Name() const { return name_; }

private:
    void Remove()
    {
        PutService(name_.c_str(), SERVICE_STOPPED);
        Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        Service service(OpenServiceA(manager.get(), name_.c_str(), DELETE));
        if (service.get())
            DeleteService(service.get());
    }
    std::string name_;
};

// Leaves the spooler as the test found it.
struct SpoolerStateKeeper {
    DWORD state = ServiceState("Spooler");
    ~SpoolerStateKeeper() { PutService("Spooler", state == SERVICE_RUNNING ? SERVICE_RUNNING : SERVICE_STOPPED); }
};

// ---------------------------------------------------------------------------------------------
// Stand-ins for what the module looks up at run time in advapi32.dll.

decltype(&GetProcAddress) realGetProcAddress;
std::map<std::string, FARPROC> replacements;
std::vector<std::string> lookups;
std::function<void()> onServiceManagerLookup;

FARPROC WINAPI LookUpWithStandIns(HMODULE module, LPCSTR name)
{
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0) {
        lookups.push_back(name);
        if (strcmp(name, "OpenSCManagerA") == 0 && onServiceManagerLookup)
            onServiceManagerLookup();
        auto found = replacements.find(name);
        if (found != replacements.end())
            return found->second;
    }
    return realGetProcAddress(module, name);
}

template <typename F>
FARPROC AsProc(F* f)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

struct LookupStandIn {
    ImportHook hook{nullptr, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(LookUpWithStandIns)};
    LookupStandIn()
    {
        EXPECT_TRUE(hook.ok());
        realGetProcAddress = reinterpret_cast<decltype(&GetProcAddress)>(hook.original());
        lookups.clear();
        replacements.clear();
    }
    ~LookupStandIn()
    {
        replacements.clear();
        onServiceManagerLookup = nullptr;
    }
    int Restarts() const { return static_cast<int>(std::count(lookups.begin(), lookups.end(), "OpenSCManagerA")); }
};

// The module's stop and start requests, in order, as "stop <service>" and "start <service>".
std::vector<std::string> serviceEvents;
std::map<SC_HANDLE, std::string> serviceNames;

SC_HANDLE WINAPI RecordOpenService(SC_HANDLE manager, LPCSTR name, DWORD access)
{
    SC_HANDLE handle = OpenServiceA(manager, name, access);
    if (handle)
        serviceNames[handle] = name;
    return handle;
}

BOOL WINAPI RecordControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    if (control == SERVICE_CONTROL_STOP)
        serviceEvents.push_back("stop " + serviceNames[service]);
    return ControlService(service, control, status);
}

BOOL WINAPI RecordStartService(SC_HANDLE service, DWORD argc, LPCSTR* argv)
{
    serviceEvents.push_back("start " + serviceNames[service]);
    return StartServiceA(service, argc, argv);
}

struct ServiceRecorder : LookupStandIn {
    ServiceRecorder()
    {
        serviceEvents.clear();
        serviceNames.clear();
        replacements["OpenServiceA"] = AsProc(RecordOpenService);
        replacements["ControlService"] = AsProc(RecordControlService);
        replacements["StartServiceA"] = AsProc(RecordStartService);
    }
};

// Wine's EnumDependentServicesA always reports none; this one reports the given names as active.
std::vector<std::string> dependentNames;

BOOL WINAPI ReportDependents(SC_HANDLE, DWORD, LPENUM_SERVICE_STATUSA buffer, DWORD size, LPDWORD needed,
                             LPDWORD returned)
{
    DWORD bytes = static_cast<DWORD>(dependentNames.size() * sizeof(ENUM_SERVICE_STATUSA));
    for (const std::string& name : dependentNames)
        bytes += static_cast<DWORD>(name.size() + 1);
    *needed = bytes;
    *returned = 0;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    char* text = reinterpret_cast<char*>(buffer + dependentNames.size());
    for (size_t i = 0; i < dependentNames.size(); ++i) {
        strcpy(text, dependentNames[i].c_str());
        buffer[i].lpServiceName = text;
        buffer[i].lpDisplayName = text;
        buffer[i].ServiceStatus.dwCurrentState = SERVICE_RUNNING;
        text += dependentNames[i].size() + 1;
    }
    *returned = static_cast<DWORD>(dependentNames.size());
    return TRUE;
}

// A spooler that accepts stop and start but, once stopping, reports stop-pending with
// `waitHint` for `pendingQueries` queries (checkpoint advancing or not) before it reports stopped.
struct ScriptedSpooler {
    DWORD waitHint;
    bool advance;
    int pendingQueries;
    // As a real service manager: a start while the stop is still pending finds it running (1056).
    bool refusesStartWhileStopping = false;
    DWORD state = SERVICE_RUNNING;
    int queries = 0;
};
ScriptedSpooler* script;

BOOL WINAPI ScriptedQuery(SC_HANDLE, LPSERVICE_STATUS status)
{
    *status = SERVICE_STATUS{};
    status->dwServiceType = SERVICE_WIN32_SHARE_PROCESS;
    status->dwCurrentState = script->state;
    if (script->state == SERVICE_STOP_PENDING) {
        status->dwWaitHint = script->waitHint;
        status->dwCheckPoint = script->advance ? static_cast<DWORD>(++script->queries) : 1;
        if (!script->advance)
            ++script->queries;
        if (script->queries >= script->pendingQueries)
            script->state = SERVICE_STOPPED;
    }
    return TRUE;
}

BOOL WINAPI ScriptedControl(SC_HANDLE, DWORD, LPSERVICE_STATUS)
{
    script->state = SERVICE_STOP_PENDING;
    return TRUE;
}

BOOL WINAPI ScriptedStart(SC_HANDLE, DWORD, LPCSTR*)
{
    if (script->refusesStartWhileStopping && script->state == SERVICE_STOP_PENDING) {
        SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    script->state = SERVICE_RUNNING;
    return TRUE;
}

}  // namespace

TEST(RestartSpooler, StoppedSpoolerGivesOneAndStaysStopped)
{
    SpoolerStateKeeper keeper;
    ASSERT_TRUE(PutService("Spooler", SERVICE_STOPPED));
    ServiceRecorder recorder;
    EXPECT_EQ(RestartSpooler(), 1);
    EXPECT_TRUE(serviceEvents.empty()) << serviceEvents.front();
    EXPECT_EQ(ServiceState("Spooler"), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST(RestartSpooler, RunningSpoolerIsStoppedAndStartedAgain)
{
    SpoolerStateKeeper keeper;
    ASSERT_TRUE(PutService("Spooler", SERVICE_RUNNING));
    ServiceRecorder recorder;
    EXPECT_EQ(RestartSpooler(), 1);
    EXPECT_EQ(serviceEvents, (std::vector<std::string>{"stop Spooler", "start Spooler"}));
    EXPECT_EQ(ServiceState("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(RestartSpooler, DependentsStopBeforeAndStartAfterTheSpoolerInListOrder)
{
    SpoolerStateKeeper keeper;
    TestService first("ZRTestDepB");
    TestService second("ZRTestDepA");
    ASSERT_TRUE(PutService("Spooler", SERVICE_RUNNING));
    ASSERT_TRUE(PutService(first.Name().c_str(), SERVICE_RUNNING));
    ASSERT_TRUE(PutService(second.Name().c_str(), SERVICE_RUNNING));

    ServiceRecorder recorder;
    dependentNames = {first.Name(), second.Name()};
    replacements["EnumDependentServicesA"] = AsProc(ReportDependents);
    EXPECT_EQ(RestartSpooler(), 1);
    EXPECT_EQ(serviceEvents, (std::vector<std::string>{"stop ZRTestDepB", "stop ZRTestDepA", "stop Spooler",
                                                       "start Spooler", "start ZRTestDepB", "start ZRTestDepA"}));
    EXPECT_EQ(ServiceState("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(first.Name().c_str()), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(second.Name().c_str()), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(RestartSpooler, DependentThatCannotBeOpenedFailsBeforeTheSpoolerIsTouched)
{
    SpoolerStateKeeper keeper;
    TestService dependent("ZRTestDepA");
    ASSERT_TRUE(PutService("Spooler", SERVICE_RUNNING));
    ASSERT_TRUE(PutService(dependent.Name().c_str(), SERVICE_RUNNING));

    ServiceRecorder recorder;
    dependentNames = {"ZRTestNoSuchService", dependent.Name()};
    replacements["EnumDependentServicesA"] = AsProc(ReportDependents);
    EXPECT_EQ(RestartSpooler(), 0);
    EXPECT_TRUE(serviceEvents.empty()) << serviceEvents.front();
    EXPECT_EQ(ServiceState("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceState(dependent.Name().c_str()), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(RestartSpooler, WaitEndsWhenTheServiceStopsMakingProgress)
{
    struct Row {
        const char* name;
        DWORD waitHint;
        bool advance;
        int pendingQueries;
        bool refusesStartWhileStopping;
        int result;
        DWORD atLeastMs;
        DWORD belowMs;
    } rows[] = {
        // A stop allows twice its hint without progress, and never less than three seconds.
        {"small hint, no progress", 200, false, 1000000, false, 0, 3000, 4500},
        {"hint of 2.5 s, no progress", 2500, false, 1000000, false, 0, 5000, 6500},
        // Progress renews the allowance.
        {"checkpoint advancing past the hint", 200, true, 40, false, 1, 3900, 6500},
        // A stop that outlasts the wait and then ends: the spooler is started once it has stopped.
        {"stop ends after the wait gave up", 200, false, 45, true, 0, 4000, 6500},
    };
    for (const Row& row : rows) {
        ScriptedSpooler scripted{row.waitHint, row.advance, row.pendingQueries, row.refusesStartWhileStopping};
        script = &scripted;
        LookupStandIn standIn;
        replacements["QueryServiceStatus"] = AsProc(ScriptedQuery);
        replacements["ControlService"] = AsProc(ScriptedControl);
        replacements["StartServiceA"] = AsProc(ScriptedStart);
        DWORD started = GetTickCount();
        EXPECT_EQ(RestartSpooler(), row.result) << row.name;
        DWORD elapsed = GetTickCount() - started;
        EXPECT_GE(elapsed, row.atLeastMs) << row.name;
        EXPECT_LT(elapsed, row.belowMs) << row.name;
        EXPECT_EQ(scripted.state, static_cast<DWORD>(SERVICE_RUNNING)) << row.name << ": started again";
    }
    script = nullptr;
}

namespace {

BOOL WINAPI RefuseToStopTheSpooler(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    if (control == SERVICE_CONTROL_STOP && serviceNames[service] == "Spooler") {
        serviceEvents.push_back("stop Spooler");
        SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
        return FALSE;
    }
    return RecordControlService(service, control, status);
}

// A dependent whose start brings up the next one with it, as a service that depends on it does.
BOOL WINAPI StartTheNextDependentToo(SC_HANDLE service, DWORD argc, LPCSTR* argv)
{
    const BOOL started = RecordStartService(service, argc, argv);
    if (serviceNames[service] == dependentNames.front())
        PutService(dependentNames.back().c_str(), SERVICE_RUNNING);
    return started;
}

}  // namespace

// Whatever goes wrong on the way down, the services stopped are started again, in list order.
TEST(RestartSpooler, WhatWasStoppedIsStartedAgain)
{
    enum class Fault { None, SecondCannotBeOpened, SecondIsNotRunning, SpoolerRefusesToStop, FirstStartsSecond };
    struct Row {
        const char* name;
        Fault fault;
        int result;
        std::vector<std::string> events;
    } rows[] = {
        {"second dependent cannot be opened", Fault::SecondCannotBeOpened, 0,
         {"stop ZRTestDepB", "start ZRTestDepB"}},
        {"second dependent refuses to stop", Fault::SecondIsNotRunning, 0,
         {"stop ZRTestDepB", "stop ZRTestDepA", "start ZRTestDepB"}},
        {"spooler refuses to stop", Fault::SpoolerRefusesToStop, 0,
         {"stop ZRTestDepB", "stop ZRTestDepA", "stop Spooler", "start ZRTestDepB", "start ZRTestDepA"}},
        // The second start finds the service running: that is what it was for.
        {"starting the first dependent starts the second", Fault::FirstStartsSecond, 1,
         {"stop ZRTestDepB", "stop ZRTestDepA", "stop Spooler", "start Spooler", "start ZRTestDepB",
          "start ZRTestDepA"}},
    };
    for (const Row& row : rows) {
        SpoolerStateKeeper keeper;
        TestService first("ZRTestDepB");
        TestService second("ZRTestDepA");
        ASSERT_TRUE(PutService("Spooler", SERVICE_RUNNING)) << row.name;
        ASSERT_TRUE(PutService(first.Name().c_str(), SERVICE_RUNNING)) << row.name;
        if (row.fault != Fault::SecondIsNotRunning) {
            ASSERT_TRUE(PutService(second.Name().c_str(), SERVICE_RUNNING)) << row.name;
        }

        ServiceRecorder recorder;
        dependentNames = {first.Name(), row.fault == Fault::SecondCannotBeOpened ? "ZRTestNoSuchService" : second.Name()};
        replacements["EnumDependentServicesA"] = AsProc(ReportDependents);
        if (row.fault == Fault::SpoolerRefusesToStop)
            replacements["ControlService"] = AsProc(RefuseToStopTheSpooler);
        if (row.fault == Fault::FirstStartsSecond)
            replacements["StartServiceA"] = AsProc(StartTheNextDependentToo);
        EXPECT_EQ(RestartSpooler(), row.result) << row.name;
        EXPECT_EQ(serviceEvents, row.events) << row.name;
        EXPECT_EQ(ServiceState("Spooler"), static_cast<DWORD>(SERVICE_RUNNING)) << row.name;
        EXPECT_EQ(ServiceState(first.Name().c_str()), static_cast<DWORD>(SERVICE_RUNNING)) << row.name;
        if (row.fault != Fault::SecondIsNotRunning && row.fault != Fault::SecondCannotBeOpened) {
            EXPECT_EQ(ServiceState(second.Name().c_str()), static_cast<DWORD>(SERVICE_RUNNING)) << row.name;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Applying modes through the real spooler

namespace {

const char Cap[] = "TVADMN01.CAP";
const bool X64Build = sizeof(void*) == 8;

std::string AdminCapability()
{
    return "[Capability]\r\nZR Adm One=M\r\nZR Adm Two=M\r\nZR Adm Other=M\r\n[M]\r\nJobAccount=1\r\n"
           "JobAccountDrvFlag=3\r\n";
}

DriverSpec Supporting(const std::string& name, std::vector<std::string> dataFiles,
                      const char* environment = EnvNative)
{
    std::vector<std::string> dependents = {Cap, "notes.txt"};
    std::map<std::string, std::string> files = {{Cap, AdminCapability()}, {"notes.txt", "notes"}};
    for (const std::string& file : dataFiles) {
        dependents.push_back(file);
        files[file] = "installed " + file;
    }
    DriverSpec spec{name, dependents, files};
    spec.environment = environment;
    return spec;
}

// The module's sandbox with the files an administrator puts beside it.
struct AdminSandbox {
    ModuleSandbox sandbox;
    // `common` holds lines of the "common" section, `strings` lines of the "string" section.
    explicit AdminSandbox(const std::string& common = "", const std::string& strings = "")
        : sandbox(ModuleSandbox::WithStringFile(common + "[string]\r\nAppName=ZR Admin\r\n" + strings))
    {
        for (const char* name : {"vtjobac1.dat", "vtjobac2.dat", "vtjobac4.dat"})
            WriteFileBytes(sandbox.Directory() + name, std::string("module ") + name);
    }
    const std::string& Directory() const { return sandbox.Directory(); }
    const std::string& RegistryRoot() const { return sandbox.RegistryRoot(); }
};

struct OwnedList {
    DriverList list = {};
    OwnedList() { BuildDriverList(nullptr, &list); }
    ~OwnedList() { ReleaseDriverList(&list); }
    int IndexOf(const std::string& name, const char* environment = EnvNative) const
    {
        for (DWORD i = 0; i < DriverEntryCount(list); ++i) {
            const DRIVER_INFO_3A* d = DriverEntry(list, i);
            if (name == d->pName && strcmp(d->pEnvironment, environment) == 0)
                return static_cast<int>(i);
        }
        ADD_FAILURE() << name << " is not in the driver list";
        return 0;
    }
};

std::string BaseName(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The spooler's level-3 record of the driver: its dependent files' names, lower case, as a set.
std::set<std::string> SpoolerDependents(const std::string& driver, const char* environment = EnvNative)
{
    DWORD needed = 0, returned = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, nullptr, 0, &needed, &returned);
    std::vector<BYTE> block(needed + 1);
    std::set<std::string> names;
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, block.data(), needed, &needed, &returned))
        return {"<enumeration failed>"};
    auto* drivers = reinterpret_cast<DRIVER_INFO_3A*>(block.data());
    for (DWORD i = 0; i < returned; ++i) {
        if (driver != drivers[i].pName)
            continue;
        for (const char* entry = drivers[i].pDependentFiles; entry && *entry; entry += strlen(entry) + 1)
            names.insert(Lower(BaseName(entry)));
        return names;
    }
    return {"<no such driver>"};
}

std::string DriverKey(const std::string& driver, const char* environment = EnvNative)
{
    return std::string("System\\CurrentControlSet\\Control\\Print\\Environments\\") + environment +
           "\\Drivers\\Version-3\\" + driver;
}

// The "Dependent Files" value as its entries, in order.
std::vector<std::string> RegistryDependents(const std::string& driver, const char* environment = EnvNative)
{
    HKEY key = nullptr;
    std::vector<std::string> entries;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DriverKey(driver, environment).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {"<no key>"};
    char data[4096] = {};
    DWORD bytes = sizeof data - 2;
    DWORD type = 0;
    if (RegQueryValueExA(key, "Dependent Files", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
        ERROR_SUCCESS)
        for (const char* entry = data; *entry; entry += strlen(entry) + 1)
            entries.push_back(entry);
    RegCloseKey(key);
    return entries;
}

std::set<std::string> Names(std::initializer_list<const char*> names)
{
    std::set<std::string> result;
    for (const char* name : names)
        result.insert(Lower(name));
    return result;
}

DWORD RegistryValue(const std::string& root, const char* name)
{
    HKEY key = nullptr;
    DWORD value = 0xDEADBEEF, bytes = sizeof value;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &bytes);
        RegCloseKey(key);
    }
    return value;
}
const DWORD Absent = 0xDEADBEEF;

// Message boxes the module shows, recorded instead of shown.
struct ShownBox {
    std::string text, caption;
};
std::vector<ShownBox> shownBoxes;

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT)
{
    shownBoxes.push_back({text ? text : "", caption ? caption : ""});
    return IDOK;
}

struct MessageBoxRecorder {
    ImportHook hook{nullptr, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordMessageBox)};
    MessageBoxRecorder()
    {
        EXPECT_TRUE(hook.ok());
        shownBoxes.clear();
    }
};

SC_HANDLE WINAPI NoServiceManager(LPCSTR, LPCSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

const char ClassKeyPath[] = "CLSID\\{5E0A41C7-2B93-4d6f-9C18-7A3E52D06B94}";

bool ClassKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ClassKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Removes what registration writes, however a test ends.
struct RegistrationCleaner {
    ~RegistrationCleaner()
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKeyPath);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassKeyPath);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Printers\\shellex\\PropertySheetHandlers\\TAVRO Jobtally Client");
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "Printers\\shellex\\PropertySheetHandlers\\TAVRO Jobtally Client");
    }
};

// The module's files that changes leave in the spooler's directories.
struct ModuleFileCleaner {
    ~ModuleFileCleaner()
    {
        for (const char* environment : {EnvX64, EnvNtX86})
            for (const std::string& dir :
                 {InstalledDriverDirectory(environment, 3),
                  InstalledDriverDirectory(environment, 3).substr(0, InstalledDriverDirectory(environment, 3).size() - 2)})
                for (const char* name : {"zrlogext.dll", "zrjobacs.str", "vtjobac1.dat", "vtjobac2.dat", "vtjobac4.dat"})
                    DeleteFileA((dir + name).c_str());
    }
};

}  // namespace

TEST(ApplyJobAccountMode, NoSupportToPopupAddsTheModuleFilesWithoutRestart)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver driver(Supporting("ZR Adm One", {}));
    OwnedList owned;
    int index = owned.IndexOf(driver.Name());
    ASSERT_EQ(owned.list.Modes[index], 0u);
    DWORD popupsBefore = owned.list.ModeCounts[2];

    LookupStandIn standIn;
    EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 2), 0u);
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    EXPECT_EQ(ReadFileBytes(driver.Directory() + "vtjobac2.dat"), "module vtjobac2.dat");
    EXPECT_EQ(ReadFileBytes(driver.Directory() + "zrjobacs.str"), ReadFileBytes(sandbox.Directory() + "zrjobacs.str"));
    EXPECT_EQ(ReadFileBytes(driver.Directory() + "zrlogext.dll"), ReadFileBytes(sandbox.Directory() + "zrlogext.dll"));
    EXPECT_EQ(standIn.Restarts(), 0) << "no restart after No Support";
    EXPECT_EQ(owned.list.Modes[index], 2u);
    EXPECT_EQ(owned.list.ModeCounts[2], popupsBefore + 1);
    // The copies staged for the spooler are gone from its upload directory.
    std::string staging = driver.Directory().substr(0, driver.Directory().size() - 2);
    EXPECT_FALSE(FileExists(staging + "zrlogext.dll"));
    EXPECT_FALSE(FileExists(staging + "vtjobac2.dat"));
}

TEST(ApplyJobAccountMode, HideToNoSupportRemovesTheModuleFilesRewritesTheRegistryAndRestarts)
{
    struct Row {
        const char* name;
        bool restartFails;
    } rows[] = {{"restart succeeds", false}, {"restart fails", true}};
    for (const Row& row : rows) {
        ModuleFileCleaner files;
        AdminSandbox sandbox("", "RestartMessage=Restart %s now: 100%% %d\r\n");
        InstalledDriver driver(Supporting("ZR Adm One", {"VTJOBAC4.DAT", "ZrJobAcs.str", "zrlogext.dll"}));
        OwnedList owned;
        int index = owned.IndexOf(driver.Name());
        ASSERT_EQ(owned.list.Modes[index], 3u) << row.name;

        LookupStandIn standIn;
        MessageBoxRecorder boxes;
        std::vector<std::string> atRestart;
        onServiceManagerLookup = [&] { atRestart = RegistryDependents(driver.Name()); };
        if (row.restartFails)
            replacements["OpenSCManagerA"] = AsProc(NoServiceManager);

        EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 0), 0u) << row.name;
        EXPECT_EQ(SpoolerDependents(driver.Name()), Names({Cap, "notes.txt"})) << row.name;
        EXPECT_EQ(RegistryDependents(driver.Name()), (std::vector<std::string>{Cap, "notes.txt"})) << row.name;
        EXPECT_EQ(standIn.Restarts(), 1) << row.name;
        EXPECT_EQ(atRestart, (std::vector<std::string>{Cap, "notes.txt"}))
            << row.name << ": the list is rewritten before the spooler restarts";
        EXPECT_EQ(ReadFileBytes(driver.Directory() + "ZrJobAcs.str"), "installed ZrJobAcs.str")
            << row.name << ": no module file is copied";
        EXPECT_EQ(owned.list.Modes[index], 0u) << row.name;
        if (row.restartFails) {
            ASSERT_EQ(shownBoxes.size(), 1u) << row.name;
            EXPECT_EQ(shownBoxes[0].text, "Restart %s now: 100%% %d") << "shown as it stands, never formatted";
            EXPECT_EQ(shownBoxes[0].caption, "ZR Admin");
        } else {
            EXPECT_TRUE(shownBoxes.empty()) << row.name;
        }
    }
}

TEST(ApplyJobAccountMode, DriverAlreadyInTheModeIsNotTouchedAndAllFlagTurnsZero)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    SetRegistryDword(sandbox.RegistryRoot(), "AllFlag", 1);
    SetRegistryDword(sandbox.RegistryRoot(), "AllMode", 2);
    InstalledDriver driver(Supporting("ZR Adm One", {"vtjobac2.dat"}));
    OwnedList owned;
    int index = owned.IndexOf(driver.Name());
    std::set<std::string> before = SpoolerDependents(driver.Name());

    LookupStandIn standIn;
    EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 2), 0u);
    EXPECT_EQ(SpoolerDependents(driver.Name()), before);
    EXPECT_EQ(ReadFileBytes(driver.Directory() + "vtjobac2.dat"), "installed vtjobac2.dat");
    EXPECT_EQ(standIn.Restarts(), 0);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllFlag"), 0u);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllMode"), 2u) << "a single-driver change keeps AllMode";
}

TEST(ApplyJobAccountMode, AllDriversRecordTheStateAndPrepareTheFilesEvenWhenNoDriverChanges)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver one(Supporting("ZR Adm One", {"vtjobac2.dat"}));
    InstalledDriver two(Supporting("ZR Adm Two", {"vtjobac2.dat"}));
    OwnedList owned;
    std::set<std::string> before = SpoolerDependents(one.Name());
    char first[MAX_PATH] = {};
    strcpy(first, DriverEntry(owned.list, 0)->pDriverPath);
    strrchr(first, '\\')[1] = '\0';

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, AllDrivers, 2), 0u);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllFlag"), 1u);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllMode"), 2u);
    EXPECT_EQ(SpoolerDependents(one.Name()), before);
    EXPECT_EQ(ReadFileBytes(std::string(first) + "vtjobac2.dat"), "module vtjobac2.dat") << first;
    EXPECT_EQ(ReadFileBytes(std::string(first) + "zrjobacs.str"), ReadFileBytes(sandbox.Directory() + "zrjobacs.str"));
    EXPECT_TRUE(FileExists(std::string(first) + "zrlogext.dll")) << first;
}

TEST(ApplyJobAccountMode, AllDriversLeaveDriversWithoutSupportAlone)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver supporting(Supporting("ZR Adm One", {}));
    DriverSpec foreignSpec{"ZR Adm Foreign", {"foreign.cfg", "vtjobac4.dat"}, {{"foreign.cfg", "theirs"}}};
    InstalledDriver foreign(foreignSpec);
    OwnedList owned;
    std::set<std::string> foreignBefore = SpoolerDependents(foreign.Name());

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, AllDrivers, 2), 0u);
    EXPECT_EQ(SpoolerDependents(supporting.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    EXPECT_EQ(SpoolerDependents(foreign.Name()), foreignBefore);
    EXPECT_EQ(owned.list.Modes[owned.IndexOf(foreign.Name())], 0u);
}

TEST(ApplyJobAccountMode, TabRegistersTheExtensionAndTheLastTabDriverLeavingUnregistersIt)
{
    RegistrationCleaner cleaner;
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver driver(Supporting("ZR Adm One", {}));
    OwnedList owned;
    ASSERT_EQ(owned.list.ModeCounts[1], 0u) << "another Tab driver is installed";
    int index = owned.IndexOf(driver.Name());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKeyPath);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassKeyPath);

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 1), 0u);
    EXPECT_TRUE(ClassKeyExists());
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "vtjobac1.dat", "zrjobacs.str", "zrlogext.dll"}));

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 3), 0u);
    EXPECT_FALSE(ClassKeyExists());
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "vtjobac4.dat", "zrjobacs.str", "zrlogext.dll"}));
}

TEST(ApplyJobAccountMode, CopyFailingMidwayStopsThereAndWritesNoAllDriversState)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver native(Supporting("ZR Adm One", {}));
    InstalledDriver other(Supporting("ZR Adm Other", {}, EnvOther));
    OwnedList owned;
    const int nativeIndex = owned.IndexOf(native.Name());
    const int otherIndex = owned.IndexOf(other.Name(), EnvOther);

    // The module of the first driver's width is there; that of the other width is missing.
    const std::string firstEnvironment = DriverEntry(owned.list, 0)->pEnvironment;
    const std::string empty = FreshTestDirectory("empty");
    std::string withModule = sandbox.Directory();
    withModule.pop_back();
    const bool firstIsX64 = firstEnvironment == EnvX64;
    SetRegistryString(sandbox.RegistryRoot(), "ModPath64", firstIsX64 ? withModule : empty);
    SetRegistryString(sandbox.RegistryRoot(), "ModPath32", firstIsX64 ? empty : withModule);
    sandbox.sandbox.Reload();
    const bool nativeFirst = firstEnvironment == EnvNative;
    const int failing = nativeFirst ? otherIndex : nativeIndex;
    const int working = nativeFirst ? nativeIndex : otherIndex;
    ASSERT_LT(working, failing) << "drivers of one environment are listed together";

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, AllDrivers, 2), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const char* workingEnvironment = nativeFirst ? EnvNative : EnvOther;
    const char* failingEnvironment = nativeFirst ? EnvOther : EnvNative;
    const std::string workingName = nativeFirst ? native.Name() : other.Name();
    const std::string failingName = nativeFirst ? other.Name() : native.Name();
    EXPECT_EQ(SpoolerDependents(workingName, workingEnvironment),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    EXPECT_EQ(owned.list.Modes[working], 2u);
    EXPECT_EQ(SpoolerDependents(failingName, failingEnvironment), Names({Cap, "notes.txt"}));
    EXPECT_EQ(owned.list.Modes[failing], 0u);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllFlag"), Absent);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllMode"), Absent);
}

namespace {

// Windows refuses to write over the file of a module that a process has loaded, as Wine does not: a
// stand-in for CopyFileA that refuses as Windows does while the target is loaded in this process.
decltype(&CopyFileA) realCopyFile;

BOOL WINAPI CopyUnlessLoaded(LPCSTR source, LPCSTR target, BOOL failIfExists)
{
    if (target && GetModuleHandleA(target)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return realCopyFile(source, target, failIfExists);
}

using ReadFn = int(WINAPI*)(const char*, DWORD, void*);

// A print job as a driver runs it: the module loaded from the driver's directory, asked, and freed.
int PrintJob(const std::string& driverDirectory, const char* printer)
{
    HMODULE module = LoadLibraryA((driverDirectory + "zrlogext.dll").c_str());
    if (!module)
        return -1;
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "ReadJobAccountID")));
    char result[128] = {};
    const int answered = read ? read(printer, 0, result) : -1;
    FreeLibrary(module);
    return answered;
}

}  // namespace

// The all-drivers change copies the module over the one in the first driver's directory, which a
// print job in the same process (the mode dialog beside a printing application) has loaded from
// there and freed again.
TEST(ApplyJobAccountMode, AllDriversChangeAfterAPrintJobInTheSameProcess)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver driver(Supporting("ZR Adm One", {}));
    InstalledPrinter printer("ZR Adm P", driver.Name());
    {
        OwnedList owned;
        ASSERT_EQ(ApplyJobAccountMode(&owned.list, owned.IndexOf(driver.Name()), 3), 0u);
    }
    ASSERT_TRUE(FileExists(driver.Directory() + "zrlogext.dll"));
    ASSERT_EQ(PrintJob(driver.Directory(), "ZR Adm P"), 1);

    ImportHook refuse(nullptr, "kernel32.dll", "CopyFileA", reinterpret_cast<void*>(&CopyUnlessLoaded));
    ASSERT_TRUE(refuse.ok());
    realCopyFile = reinterpret_cast<decltype(&CopyFileA)>(refuse.original());
    OwnedList owned;
    EXPECT_EQ(ApplyJobAccountMode(&owned.list, AllDrivers, 2), 0u);
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllFlag"), 1u);
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllMode"), 2u);
}

TEST(ApplyJobAccountMode, ModulePathTooLongFailsInsteadOfCopyingFromACutPath)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    SetRegistryString(sandbox.RegistryRoot(), X64Build ? "ModPath64" : "ModPath32", "C:\\" + std::string(250, 'a'));
    sandbox.sandbox.Reload();
    InstalledDriver driver(Supporting("ZR Adm One", {}));
    OwnedList owned;
    int index = owned.IndexOf(driver.Name());

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 2), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(SpoolerDependents(driver.Name()), Names({Cap, "notes.txt"}));
    EXPECT_EQ(owned.list.Modes[index], 0u);
}

TEST(TouchFileTime, SetsTheLastWriteTimeToNow)
{
    std::string path = FreshTestDirectory() + "file.dat";
    WriteFileBytes(path, "x");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME old = {};
    old.dwHighDateTime = 0x01C00000;  // long ago (2000)
    SetFileTime(file, &old, &old, &old);
    CloseHandle(file);

    FILETIME before = {};
    GetSystemTimeAsFileTime(&before);
    EXPECT_NE(TouchFileTime(path.c_str()), FALSE);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    ULARGE_INTEGER written{{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
    ULARGE_INTEGER now{{before.dwLowDateTime, before.dwHighDateTime}};
    EXPECT_GE(written.QuadPart + 20000000, now.QuadPart) << "within 2 s of now";
    EXPECT_LT(written.QuadPart, now.QuadPart + 20000000);
    EXPECT_EQ(TouchFileTime((path + ".missing").c_str()), FALSE);
}

// ---------------------------------------------------------------------------------------------
// Exports

TEST(SetJobAccountMode, UnknownDriverChangesNothing)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver driver(Supporting("ZR Adm One", {"vtjobac2.dat"}));
    std::set<std::string> before = SpoolerDependents(driver.Name());
    for (const char* name : {"ZR Adm None", "zr adm one", ""}) {
        SetLastError(0);
        EXPECT_EQ(SetJobAccountMode(name, 3), 0) << '"' << name << '"';
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER)) << name;
        EXPECT_EQ(SpoolerDependents(driver.Name()), before) << name;
        EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllFlag"), Absent) << name;
    }
    EXPECT_EQ(SetJobAccountMode(driver.Name().c_str(), 3), 1);
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "vtjobac4.dat", "zrjobacs.str", "zrlogext.dll"}));
}

TEST(DefaultSetJobAccountMode, AppliesTheConfiguredModeAndLeavesTheRetryFlag)
{
    struct Row {
        const char* name;
        const char* common;
        bool dataFileMissing;
        DWORD registryBefore;
        int result;
        DWORD registryAfter;
        bool driverChanged;
    } rows[] = {
        {"DefaultAllMode absent", "DefaultMode=2\r\n", false, 1, 1, 1, false},
        {"DefaultAllMode 0", "DefaultAllMode=0\r\nDefaultMode=2\r\n", false, Absent, 1, Absent, false},
        {"succeeds", "DefaultAllMode=1\r\nDefaultMode=2\r\n", false, 1, 1, 0, true},
        {"fails (data file missing)", "DefaultAllMode=1\r\nDefaultMode=2\r\n", true, 0, 0, 1, false},
    };
    using Export = int (*)();
    const std::pair<const char*, Export> exports[] = {
        {"DefaultSetJobAccountMode", [] { return DefaultSetJobAccountMode(); }},
        {"DefaultSetJobAccountMode64", [] { return DefaultSetJobAccountMode64(nullptr, nullptr, nullptr, 0); }},
    };
    for (const Row& row : rows)
        for (const auto& [exportName, call] : exports) {
            ModuleFileCleaner files;
            AdminSandbox sandbox(row.common);
            if (row.dataFileMissing)
                DeleteFileA((sandbox.Directory() + "vtjobac2.dat").c_str());
            if (row.registryBefore != Absent)
                SetRegistryDword(sandbox.RegistryRoot(), "DefaultMode", row.registryBefore);
            InstalledDriver driver(Supporting("ZR Adm One", {}));

            EXPECT_EQ(call(), row.result) << exportName << ": " << row.name;
            EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "DefaultMode"), row.registryAfter)
                << exportName << ": " << row.name;
            std::set<std::string> expected = row.driverChanged
                                                 ? Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"})
                                                 : Names({Cap, "notes.txt"});
            EXPECT_EQ(SpoolerDependents(driver.Name()), expected) << exportName << ": " << row.name;
        }
}

// rundll32 finds the export under its plain name and calls it with the command-line entry shape.
TEST(DefaultSetJobAccountMode64, RunsFromRundll32)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox("DefaultAllMode=1\r\nDefaultMode=2\r\n");
    SetRegistryDword(sandbox.RegistryRoot(), "DefaultMode", 1);
    InstalledDriver driver(Supporting("ZR Adm One", {}));

    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof system);
    std::string program = std::string(system) + "\\rundll32.exe";
    std::string command = "rundll32.exe \"" + sandbox.Directory() + "zrlogext.dll\",DefaultSetJobAccountMode64";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(StartProgram(program.c_str(), command, FALSE, nullptr, &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "DefaultMode"), 0u);
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
}

namespace {

// Stand-ins around the shell's restart: no shell window is asked to quit (Wine's desktop would go),
// and the program the restart starts is recorded instead of started.
namespace shell_start {

int starts;
std::wstring program;

HWND WINAPI NoShellWindow(LPCSTR, LPCSTR) { return nullptr; }

BOOL WINAPI RecordStart(LPCWSTR application, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                        LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION)
{
    ++starts;
    program = application ? application : L"(a name searched for)";
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

}  // namespace shell_start

}  // namespace

// The shell is the one of the Windows directory, started by its full path: a bare "Explorer.exe"
// is searched for in the calling program's folder and the current folder first. It answers as
// WinExec does, the error where the start failed.
TEST(ShellRestart, StartsTheShellOfTheWindowsDirectory)
{
    ImportHook findWindow(nullptr, "user32.dll", "FindWindowA", reinterpret_cast<void*>(&shell_start::NoShellWindow));
    ImportHook start(nullptr, "kernel32.dll", "CreateProcessW", reinterpret_cast<void*>(&shell_start::RecordStart));
    ASSERT_TRUE(findWindow.ok());
    ASSERT_TRUE(start.ok()) << "no program is started by its path";
    shell_start::starts = 0;
    shell_start::program.clear();
    EXPECT_EQ(ShellRestart(nullptr, nullptr, nullptr, SW_SHOW), ERROR_FILE_NOT_FOUND);
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    std::wstring expected = std::wstring(windows) + L"\\explorer.exe";
    std::wstring started = shell_start::program;
    CharLowerW(expected.data());
    CharLowerW(started.data());
    EXPECT_EQ(shell_start::starts, 1);
    EXPECT_EQ(started, expected);
}

// ---------------------------------------------------------------------------------------------
// The command-line host, run as a program beside a copy of the module

TEST(JobacctHost, ListsDriversAndSetsModesThroughTheModuleBesideIt)
{
    RegistrationCleaner cleaner;
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (sandbox.Directory() + "jobacct.exe").c_str(),
                          FALSE));
    InstalledDriver hide(Supporting("ZR Adm One", {"vtjobac4.dat"}));
    DriverSpec foreignSpec{"ZR Adm Foreign", {"foreign.cfg"}, {{"foreign.cfg", "theirs"}}};
    InstalledDriver foreign(foreignSpec);

    ProgramRun list = RunHost(sandbox.Directory(), "drivers");
    EXPECT_EQ(list.exitCode, 0u) << list.err;
    std::string hideLine = std::string("ZR Adm One\t") + EnvNative + "\thide\t3\t" + hide.Directory() + "vtjobac4.dat";
    EXPECT_NE(list.out.find(hideLine), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(std::string("ZR Adm Foreign\t") + EnvNative + "\tunsupported\t0\t"), std::string::npos)
        << list.out;

    struct Row {
        const char* arguments;
        DWORD exitCode;
        const char* message;  // part of what stderr says
    } rows[] = {
        {"set-mode \"ZR Adm None\" popup", 4, "ZR Adm None"},
        {"set-mode \"ZR Adm One\" sideways", 5, "sideways"},
        {"set-mode \"ZR Adm One\"", 2, "usage"},
        {"set-mode --all", 2, "usage"},
        {"set-mode \"ZR Adm One\" Popup", 0, ""},
    };
    for (const Row& row : rows) {
        ProgramRun run = RunHost(sandbox.Directory(), row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << row.arguments << "\n" << run.err;
    }
    EXPECT_EQ(SpoolerDependents(hide.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));

    // A failed change reports the system's text: the Tab data file is missing beside the module.
    DeleteFileA((sandbox.Directory() + "vtjobac1.dat").c_str());
    ProgramRun failed = RunHost(sandbox.Directory(), "set-mode --all tab");
    EXPECT_EQ(failed.exitCode, 1u) << failed.err;
    EXPECT_NE(failed.err.find("error 2"), std::string::npos) << failed.err;
    EXPECT_EQ(SpoolerDependents(hide.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
}

// ---------------------------------------------------------------------------------------------
// A failed change, a list read before the driver changed, the certificate library

namespace {

// The driver's level-3 record as GetPrinterDriverA gives it through a printer of the driver, one
// field a line, the dependent files in their order.
std::string PrinterDriverRecord(const std::string& printerName)
{
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printerName.c_str()), &printer, nullptr))
        return "<no printer>";
    DWORD needed = 0;
    GetPrinterDriverA(printer, nullptr, 3, nullptr, 0, &needed);
    std::vector<BYTE> block(needed + 1);
    std::string text = "<no record>";
    if (GetPrinterDriverA(printer, nullptr, 3, block.data(), needed, &needed)) {
        const auto* d = reinterpret_cast<const DRIVER_INFO_3A*>(block.data());
        auto field = [](const char* value) { return std::string(value ? value : "<null>") + "\n"; };
        text = std::to_string(d->cVersion) + "\n" + field(d->pName) + field(d->pEnvironment) + field(d->pDriverPath) +
               field(d->pDataFile) + field(d->pConfigFile) + field(d->pHelpFile) + field(d->pMonitorName) +
               field(d->pDefaultDataType);
        for (const char* entry = d->pDependentFiles; entry && *entry; entry += strlen(entry) + 1)
            text += std::string("dependent ") + entry + "\n";
    }
    ClosePrinter(printer);
    return text;
}

// A file's size and a digest of its bytes, short enough to show in a failure.
std::string Fingerprint(const std::string& bytes)
{
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[64];
    snprintf(text, sizeof text, "%zu bytes, %016llx", bytes.size(), hash);
    return text;
}

// Every file of a directory with the fingerprint of its contents.
std::map<std::string, std::string> FolderFiles(const std::string& directory)
{
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAA found = {};
    HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files[Lower(found.cFileName)] = Fingerprint(ReadFileBytes(directory + found.cFileName));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

// What a change may touch of one driver: its record, its registry list, its folder and the
// spooler's upload folder beside it.
struct DriverState {
    std::string record;
    std::vector<std::string> registryList;
    std::map<std::string, std::string> folder, upload;
};

DriverState StateOf(const InstalledDriver& driver, const std::string& printer)
{
    const std::string upload = driver.Directory().substr(0, driver.Directory().size() - 2);
    return {PrinterDriverRecord(printer), RegistryDependents(driver.Name()), FolderFiles(driver.Directory()),
            FolderFiles(upload)};
}

void ExpectSameState(const DriverState& before, const DriverState& after, const char* row)
{
    EXPECT_EQ(after.record, before.record) << row;
    EXPECT_EQ(after.registryList, before.registryList) << row;
    EXPECT_EQ(after.folder, before.folder) << row << ": the driver's folder";
    EXPECT_EQ(after.upload, before.upload) << row << ": the upload folder";
}

LONG WINAPI RefuseKeyCreation(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)
{
    return ERROR_ACCESS_DENIED;
}

BOOL WINAPI RefuseInstallation(LPSTR, DWORD, LPBYTE)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

// The files a change leaves beside the drivers of the native width, besides the module's own.
struct CertificateLibraryCleaner {
    ~CertificateLibraryCleaner()
    {
        const std::string installed = InstalledDriverDirectory(EnvNative, 3);
        DeleteFileA((installed + "tvctfct.dll").c_str());
        DeleteFileA((installed.substr(0, installed.size() - 2) + "tvctfct.dll").c_str());
    }
};

// The driver's dependent files as the spooler lists them, names in lower case, in order.
std::vector<std::string> SpoolerDependentList(const std::string& driver)
{
    DWORD needed = 0, returned = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(EnvNative), 3, nullptr, 0, &needed, &returned);
    std::vector<BYTE> block(needed + 1);
    std::vector<std::string> names;
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(EnvNative), 3, block.data(), needed, &needed, &returned))
        return {"<enumeration failed>"};
    auto* drivers = reinterpret_cast<DRIVER_INFO_3A*>(block.data());
    for (DWORD i = 0; i < returned; ++i)
        if (driver == drivers[i].pName)
            for (const char* entry = drivers[i].pDependentFiles; entry && *entry; entry += strlen(entry) + 1)
                names.push_back(Lower(BaseName(entry)));
    return names;
}

}  // namespace

// Whatever fails after the change has begun, the driver keeps its record, its registry list and its
// files, the list keeps its mode, and nothing staged stays behind.
TEST(ApplyJobAccountMode, AFailedChangeLeavesTheDriverAsItWas)
{
    enum class Fault { DataFileMissing, ModuleMissing, RegistrationFails, InstallationFails };
    struct Row {
        const char* name;
        Fault fault;
        DWORD mode;
        DWORD error;
    } rows[] = {
        {"the new mode's data file is missing beside the module", Fault::DataFileMissing, 2, ERROR_FILE_NOT_FOUND},
        {"the module is missing from its registered folder", Fault::ModuleMissing, 2, ERROR_FILE_NOT_FOUND},
        {"the extension cannot be registered", Fault::RegistrationFails, 1, ERROR_ACCESS_DENIED},
        {"the spooler refuses the reinstallation", Fault::InstallationFails, 2, ERROR_NOT_SUPPORTED},
    };
    for (const Row& row : rows) {
        RegistrationCleaner cleaner;
        ModuleFileCleaner files;
        AdminSandbox sandbox;
        InstalledDriver driver(Supporting("ZR Adm One", {"vtjobac4.dat", "zrjobacs.str", "zrlogext.dll"}));
        InstalledPrinter printer("ZR Adm P", driver.Name());
        if (row.fault == Fault::DataFileMissing)
            DeleteFileA((sandbox.Directory() + "vtjobac2.dat").c_str());
        if (row.fault == Fault::ModuleMissing) {
            std::string empty = FreshTestDirectory("nomodule");
            empty.pop_back();
            SetRegistryString(sandbox.RegistryRoot(), X64Build ? "ModPath64" : "ModPath32", empty);
            sandbox.sandbox.Reload();
        }
        // The spooler of Windows moves an installation's files out of the upload folder; Wine's
        // leaves the fixture's driver file there, which no change of the module's should remove.
        DeleteFileA((driver.Directory().substr(0, driver.Directory().size() - 2) + "zrtestdrv.dll").c_str());
        OwnedList owned;
        const int index = owned.IndexOf(driver.Name());
        ASSERT_EQ(owned.list.Modes[index], 3u) << row.name;
        const DriverState before = StateOf(driver, printer.Name());
        ASSERT_NE(before.record.find("dependent "), std::string::npos) << before.record;

        std::unique_ptr<ImportHook> fault;
        if (row.fault == Fault::RegistrationFails)
            fault = std::make_unique<ImportHook>(nullptr, "advapi32.dll", "RegCreateKeyExA",
                                                 reinterpret_cast<void*>(&RefuseKeyCreation));
        if (row.fault == Fault::InstallationFails)
            fault = std::make_unique<ImportHook>(nullptr, "winspool.drv", "AddPrinterDriverA",
                                                 reinterpret_cast<void*>(&RefuseInstallation));
        if (fault) {
            ASSERT_TRUE(fault->ok()) << row.name;
        }
        EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, row.mode), row.error) << row.name;
        fault.reset();

        ExpectSameState(before, StateOf(driver, printer.Name()), row.name);
        EXPECT_EQ(owned.list.Modes[index], 3u) << row.name;
    }
}

// The mode dialog keeps the records it read when it opened; an update of the driver made since
// (by its vendor's installer, or another administrator) must survive the change.
TEST(ApplyJobAccountMode, ADriverUpdatedSinceTheListWasReadKeepsTheUpdate)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver driver(Supporting("ZR Adm One", {}));
    OwnedList owned;
    const int index = owned.IndexOf(driver.Name());

    const std::string upload = driver.Directory().substr(0, driver.Directory().size() - 2);
    WriteFileBytes(upload + "update.txt", "update");
    std::string dependents = std::string(Cap) + '\0' + "notes.txt" + '\0' + "update.txt" + '\0' + '\0';
    DRIVER_INFO_3A update = *DriverEntry(owned.list, index);
    update.pDependentFiles = dependents.data();
    ASSERT_TRUE(AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&update), APD_COPY_NEW_FILES))
        << GetLastError();
    DeleteFileA((upload + "update.txt").c_str());
    ASSERT_EQ(SpoolerDependents(driver.Name()), Names({Cap, "notes.txt", "update.txt"}));

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, 2), 0u);
    EXPECT_EQ(SpoolerDependents(driver.Name()),
              Names({Cap, "notes.txt", "update.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    DeleteFileA((driver.Directory() + "update.txt").c_str());
}

// With a driver of the other width listed first whose module folder is unknown, an all-drivers
// change prepares the folder of the first driver it changes, and leaves the other one's alone.
TEST(ApplyJobAccountMode, AllDriversPrepareFromTheFirstDriverThatTakesPart)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    InstalledDriver other(Supporting("ZR Adm Other", {}, EnvOther));
    InstalledDriver native(Supporting("ZR Adm One", {}));
    OwnedList owned;
    const std::string otherFolder = InstalledDriverDirectory(EnvOther, 3);
    for (const char* name : {"vtjobac2.dat", "zrjobacs.str"})
        DeleteFileA((otherFolder + name).c_str());
    if (strcmp(DriverEntry(owned.list, 0)->pEnvironment, EnvOther) != 0)
        GTEST_SKIP() << "the spooler lists this width's drivers first";

    EXPECT_EQ(ApplyJobAccountMode(&owned.list, AllDrivers, 2), 0u);
    EXPECT_EQ(SpoolerDependents(native.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    EXPECT_EQ(SpoolerDependents(other.Name(), EnvOther), Names({Cap, "notes.txt"}));
    EXPECT_FALSE(FileExists(otherFolder + "vtjobac2.dat"));
    EXPECT_FALSE(FileExists(otherFolder + "zrjobacs.str"));
    EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "AllMode"), 2u);
}

TEST(ApplyJobAccountMode, TheCertificateLibraryIsListedOnceAfterEveryChange)
{
    ModuleFileCleaner files;
    CertificateLibraryCleaner library;
    AdminSandbox sandbox("GetVexaIDDll=tvctfct.dll\r\nGetVexaID64Support=1\r\n");
    WriteFileBytes(sandbox.Directory() + "tvctfct.dll", "certificate library");
    InstalledDriver driver(Supporting("ZR Adm One", {}));
    OwnedList owned;
    const int index = owned.IndexOf(driver.Name());
    for (DWORD mode : {2u, 3u, 2u, 0u, 3u}) {
        EXPECT_EQ(ApplyJobAccountMode(&owned.list, index, mode), 0u) << "to mode " << mode;
        const std::vector<std::string> listed = SpoolerDependentList(driver.Name());
        EXPECT_EQ(std::count(listed.begin(), listed.end(), "tvctfct.dll"), 1) << "after the change to mode " << mode;
        const std::vector<std::string> registry = RegistryDependents(driver.Name());
        EXPECT_LE(std::count(registry.begin(), registry.end(), "tvctfct.dll"), 1) << "after the change to mode " << mode;
    }
}

// ---------------------------------------------------------------------------------------------
// Where nobody sees the window station: a deployment tool's custom action, a service, a SYSTEM task

namespace {

// A window station of its own, which is not the visible one, with a desktop: what a service or a
// SYSTEM task runs in.
class UnseenStation {
public:
    UnseenStation()
    {
        station_ = CreateWindowStationA("ZRUnseen", 0, WINSTA_ALL_ACCESS, nullptr);
        HWINSTA visible = GetProcessWindowStation();
        if (station_ && SetProcessWindowStation(station_)) {
            desktop_ = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
            SetProcessWindowStation(visible);
        }
    }
    ~UnseenStation()
    {
        if (desktop_)
            CloseDesktop(desktop_);
        if (station_)
            CloseWindowStation(station_);
    }
    UnseenStation(const UnseenStation&) = delete;
    UnseenStation& operator=(const UnseenStation&) = delete;

    bool ok() const { return desktop_ != nullptr; }
    bool Visible() const
    {
        USEROBJECTFLAGS flags = {};
        return GetUserObjectInformationA(station_, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
               (flags.dwFlags & WSF_VISIBLE);
    }
    HDESK Desktop() const { return desktop_; }

private:
    HWINSTA station_ = nullptr;
    HDESK desktop_ = nullptr;
};

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct UnseenRun {
    bool ended = false;
    DWORD exitCode = 0xFFFFFFFF;
    int windows = 0;  // on the unseen desktop while it had not ended
    std::string err;
};

// Runs the command line on the unseen station's desktop, waits `seconds` for it to end and ends it
// when it did not.
UnseenRun RunUnseen(const UnseenStation& station, const std::string& program, const std::string& commandLine,
                    const std::string& directory, DWORD seconds)
{
    UnseenRun run;
    const std::string errPath = directory + "unseen-err.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    char desktop[] = "ZRUnseen\\Default";
    startup.lpDesktop = desktop;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = err;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    if (!StartProgram(program.c_str(), commandLine, TRUE, directory.c_str(), &startup, &process)) {
        run.err = "(not started: error " + std::to_string(GetLastError()) + ")";
        CloseHandle(err);
        return run;
    }
    run.ended = WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_OBJECT_0;
    if (!run.ended) {
        EnumDesktopWindows(station.Desktop(), CountWindow, reinterpret_cast<LPARAM>(&run.windows));
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(err);
    run.err = ReadFileBytes(errPath);
    DeleteFileA(errPath.c_str());
    return run;
}

// A spooler that stops but does not start again (its program is gone), so that a change ends with
// the notice that the computer must be restarted; its program is put back afterwards.
class SpoolerThatCannotStart {
public:
    SpoolerThatCannotStart()
    {
        Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        Service spooler(OpenServiceA(manager.get(), "Spooler", SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG));
        DWORD needed = 0;
        QueryServiceConfigA(spooler.get(), nullptr, 0, &needed);
        std::vector<BYTE> block(needed + 1);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(block.data());
        if (!needed || !QueryServiceConfigA(spooler.get(), config, needed, &needed))
            return;
        program_ = config->lpBinaryPathName;
        ok_ = ChangeServiceConfigA(spooler.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                   "C:\\windows\\zr-no-such-spooler.exe", nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr) != FALSE;
    }
    ~SpoolerThatCannotStart()
    {
        Service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        Service spooler(OpenServiceA(manager.get(), "Spooler", SERVICE_CHANGE_CONFIG));
        if (ok_)
            ChangeServiceConfigA(spooler.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                 program_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    SpoolerThatCannotStart(const SpoolerThatCannotStart&) = delete;
    SpoolerThatCannotStart& operator=(const SpoolerThatCannotStart&) = delete;
    bool ok() const { return ok_; }

private:
    std::string program_;
    bool ok_ = false;
};

}  // namespace

// Run where nobody can answer a box, the administration path says what it would have shown through
// its result (jobacct on stderr) and returns within seconds, where a box would have waited for ever.
TEST(JobacctHost, WhereNobodySeesTheWindowStationNothingWaitsForAnAnswer)
{
    UnseenStation station;
    ASSERT_TRUE(station.ok()) << GetLastError();
    ASSERT_FALSE(station.Visible());
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof system);
    const std::string rundll32 = std::string(system) + "\\rundll32.exe";

    enum class Host { Jobacct, Rundll32 };
    struct Row {
        const char* name;
        Host host;
        const char* arguments;  // jobacct's, or the export rundll32 calls
        bool restartFails;
        DWORD exitCode;     // jobacct only
        const char* said;   // part of jobacct's stderr
        DWORD defaultMode;  // the registry's "DefaultMode" afterwards (Absent: untouched)
        bool changed;       // the driver is in Popup mode afterwards
    } rows[] = {
        {"jobacct set-mode, the spooler does not start again", Host::Jobacct, "set-mode \"ZR Adm One\" popup", true, 8,
         "restart the computer", Absent, true},
        {"DefaultSetJobAccountMode64, the spooler does not start again", Host::Rundll32, "DefaultSetJobAccountMode64",
         true, 0, "", 1, true},
        {"ChangeJobAccountMode", Host::Rundll32, "ChangeJobAccountMode", false, 0, "", Absent, false},
        {"SelectFixedJobAccountMode", Host::Rundll32, "SelectFixedJobAccountMode", false, 0, "", Absent, false},
    };
    for (const Row& row : rows) {
        SpoolerStateKeeper keeper;
        ModuleFileCleaner files;
        AdminSandbox sandbox("DefaultAllMode=1\r\nDefaultMode=2\r\n");
        ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(),
                              (sandbox.Directory() + "jobacct.exe").c_str(), FALSE));
        InstalledDriver driver(Supporting("ZR Adm One", {"vtjobac4.dat"}));
        ASSERT_TRUE(PutService("Spooler", SERVICE_RUNNING)) << row.name;
        std::unique_ptr<SpoolerThatCannotStart> broken;
        if (row.restartFails) {
            broken = std::make_unique<SpoolerThatCannotStart>();
            ASSERT_TRUE(broken->ok()) << row.name << ": " << GetLastError();
        }

        const UnseenRun run =
            row.host == Host::Jobacct
                ? RunUnseen(station, sandbox.Directory() + "jobacct.exe",
                            "\"" + sandbox.Directory() + "jobacct.exe\" " + row.arguments, sandbox.Directory(), 20)
                : RunUnseen(station, rundll32,
                            "rundll32.exe \"" + sandbox.Directory() + "zrlogext.dll\"," + row.arguments,
                            sandbox.Directory(), 20);
        broken.reset();
        EXPECT_TRUE(run.ended) << row.name << ": still waiting after 20 s, with " << run.windows
                               << " window(s) on the unseen desktop";
        if (row.host == Host::Jobacct) {
            EXPECT_EQ(run.exitCode, row.exitCode) << row.name << "\n" << run.err;
            EXPECT_NE(run.err.find(row.said), std::string::npos) << row.name << "\n" << run.err;
        }
        EXPECT_EQ(RegistryValue(sandbox.RegistryRoot(), "DefaultMode"), row.defaultMode) << row.name;
        EXPECT_EQ(SpoolerDependents(driver.Name()),
                  row.changed ? Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"})
                              : Names({Cap, "notes.txt", "vtjobac4.dat"}))
            << row.name;
    }
}

// Of a driver installed for both widths, jobacct changes the one named with its environment, and
// says what is true when it cannot tell which one, or when the driver has no job accounting.
TEST(JobacctHost, SetModeNamesTheDriversEnvironment)
{
    ModuleFileCleaner files;
    AdminSandbox sandbox;
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (sandbox.Directory() + "jobacct.exe").c_str(),
                          FALSE));
    InstalledDriver native(Supporting("ZR Adm Two", {}));
    InstalledDriver other(Supporting("ZR Adm Two", {}, EnvOther));
    DriverSpec foreignSpec{"ZR Adm Foreign", {"foreign.cfg"}, {{"foreign.cfg", "theirs"}}};
    InstalledDriver foreign(foreignSpec);

    struct Row {
        std::string arguments;
        DWORD exitCode;
        const char* said;  // part of what stderr says
    } rows[] = {
        {"set-mode \"ZR Adm Two\" popup", 4, "--environment"},
        {"set-mode --environment \"Windows 4.0\" \"ZR Adm Two\" popup", 4, "is not installed for \"Windows 4.0\""},
        {"set-mode \"ZR Adm Foreign\" popup", 4, "has no job accounting"},
        {"set-mode \"ZR Adm Two\" --environment", 2, "usage"},
        {std::string("set-mode \"ZR Adm Two\" --environment \"") + EnvNative + "\" popup", 0, ""},
    };
    for (const Row& row : rows) {
        ProgramRun run = RunHost(sandbox.Directory(), row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << row.arguments << "\n" << run.err;
    }
    EXPECT_EQ(SpoolerDependents(native.Name()),
              Names({Cap, "notes.txt", "vtjobac2.dat", "zrjobacs.str", "zrlogext.dll"}));
    EXPECT_EQ(SpoolerDependents(other.Name(), EnvOther), Names({Cap, "notes.txt"}));
    EXPECT_EQ(SpoolerDependents(foreign.Name()), Names({"foreign.cfg"}));
}

// With no driver that has job accounting, a named driver that is installed is not called missing.
TEST(JobacctHost, SetModeSaysWhatIsTrueWhenNoDriverHasJobAccounting)
{
    AdminSandbox sandbox;
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (sandbox.Directory() + "jobacct.exe").c_str(),
                          FALSE));
    DriverSpec foreignSpec{"ZR Adm Foreign", {"foreign.cfg"}, {{"foreign.cfg", "theirs"}}};
    InstalledDriver foreign(foreignSpec);
    ProgramRun run = RunHost(sandbox.Directory(), "set-mode \"ZR Adm Foreign\" popup");
    EXPECT_EQ(run.exitCode, 4u) << run.err;
    EXPECT_NE(run.err.find("has no job accounting"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("is installed"), std::string::npos) << run.err;
}
