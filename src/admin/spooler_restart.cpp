#include "admin/spooler_restart.h"

#include <winsvc.h>

#include <vector>

#include "settings/library.h"

namespace {

using OpenSCManagerFn = SC_HANDLE(WINAPI*)(LPCSTR, LPCSTR, DWORD);
using OpenServiceFn = SC_HANDLE(WINAPI*)(SC_HANDLE, LPCSTR, DWORD);
using QueryServiceStatusFn = BOOL(WINAPI*)(SC_HANDLE, LPSERVICE_STATUS);
using ControlServiceFn = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPSERVICE_STATUS);
using StartServiceFn = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPCSTR*);
using CloseServiceHandleFn = BOOL(WINAPI*)(SC_HANDLE);
using EnumDependentServicesFn = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPENUM_SERVICE_STATUSA, DWORD, LPDWORD, LPDWORD);

const DWORD ServiceAccess = GENERIC_READ | GENERIC_EXECUTE;
const DWORD PollMilliseconds = 100;
const DWORD StartStall = 1000;
const DWORD StartLimit = 120000;
// A stop runs the service's clean-up (the spooler's: every print provider and port monitor) and
// often takes longer than the service's hint; a start that gave up too early is tried again by an
// administrator, a stop that gave up too early leaves printing down.
const DWORD StopStall = 3000;
const DWORD StopLimit = 180000;

// The service manager is looked up at run time: the module also loads where it is missing.
struct ServiceApi {
    OpenSCManagerFn OpenSCManager = nullptr;
    OpenServiceFn OpenService = nullptr;
    QueryServiceStatusFn QueryStatus = nullptr;
    ControlServiceFn Control = nullptr;
    StartServiceFn Start = nullptr;
    CloseServiceHandleFn Close = nullptr;
    EnumDependentServicesFn EnumDependents = nullptr;

    bool Load(const Library& advapi)
    {
        OpenSCManager = advapi.Get<OpenSCManagerFn>("OpenSCManagerA");
        OpenService = advapi.Get<OpenServiceFn>("OpenServiceA");
        QueryStatus = advapi.Get<QueryServiceStatusFn>("QueryServiceStatus");
        Control = advapi.Get<ControlServiceFn>("ControlService");
        Start = advapi.Get<StartServiceFn>("StartServiceA");
        Close = advapi.Get<CloseServiceHandleFn>("CloseServiceHandle");
        EnumDependents = advapi.Get<EnumDependentServicesFn>("EnumDependentServicesA");
        return OpenSCManager && OpenService && QueryStatus && Control && Start && Close && EnumDependents;
    }
};

class ServiceHandle {
public:
    ServiceHandle(const ServiceApi& api, SC_HANDLE handle) : api_(api), handle_(handle) {}
    ~ServiceHandle()
    {
        if (handle_)
            api_.Close(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;

    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    const ServiceApi& api_;
    SC_HANDLE handle_;
};

// How long a wait allows the service to show no progress (its checkpoint unchanged): the service's
// own hint is the least, `floor` when the hint is shorter. A stop gets twice its hint, for the hint
// is a minimum and not a promise.
struct WaitRule {
    DWORD state;
    DWORD floor;
    DWORD hintFactor;
    DWORD limit;
};
const WaitRule UntilRunning = {SERVICE_RUNNING, StartStall, 1, StartLimit};
const WaitRule UntilStopped = {SERVICE_STOPPED, StopStall, 2, StopLimit};

DWORD Allowance(DWORD hint, const WaitRule& rule)
{
    const DWORD scaled = hint > rule.limit / rule.hintFactor ? rule.limit : hint * rule.hintFactor;
    return scaled < rule.floor ? rule.floor : scaled;
}

// Polls until the service reports the rule's state. A service that hangs must not hang the
// administrator's dialog or a deployment script for ever: the wait gives up (false) once the
// service has made no progress for longer than its allowance, and in any case at the rule's limit.
bool WaitForState(const ServiceApi& api, SC_HANDLE service, const WaitRule& rule)
{
    const DWORD started = GetTickCount();
    DWORD lastProgress = started;
    DWORD lastCheckPoint = 0;
    bool first = true;
    for (;;) {
        SERVICE_STATUS status = {};
        if (!api.QueryStatus(service, &status))
            return false;
        if (status.dwCurrentState == rule.state)
            return true;
        const DWORD now = GetTickCount();
        if (first || status.dwCheckPoint != lastCheckPoint) {
            lastCheckPoint = status.dwCheckPoint;
            lastProgress = now;
            first = false;
        }
        if (now - lastProgress > Allowance(status.dwWaitHint, rule) || now - started > rule.limit)
            return false;
        Sleep(PollMilliseconds);
    }
}

// The active dependents as the service manager lists them; empty when it reports none (or the
// second request fails), which leaves only the spooler to restart.
std::vector<BYTE> ActiveDependents(const ServiceApi& api, SC_HANDLE spooler, DWORD* count)
{
    *count = 0;
    DWORD needed = 0;
    DWORD returned = 0;
    if (api.EnumDependents(spooler, SERVICE_ACTIVE, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_MORE_DATA || needed == 0)
        return {};
    std::vector<BYTE> block(needed, 0);
    if (!api.EnumDependents(spooler, SERVICE_ACTIVE, reinterpret_cast<LPENUM_SERVICE_STATUSA>(block.data()), needed,
                            &needed, &returned))
        return {};
    *count = returned;
    return block;
}

const ENUM_SERVICE_STATUSA* Dependent(const std::vector<BYTE>& block, DWORD i)
{
    return reinterpret_cast<const ENUM_SERVICE_STATUSA*>(block.data()) + i;
}

// Starts a service that this restart stopped. One that is running already counts as started (a
// dependent that another dependent's start brought up with it); one still on its way down (its
// stop outlasted the wait) is let finish and then started.
bool StartAgain(const ServiceApi& api, SC_HANDLE service)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (api.Start(service, 0, nullptr))
            return WaitForState(api, service, UntilRunning);
        if (GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
            return false;
        SERVICE_STATUS status = {};
        if (!api.QueryStatus(service, &status))
            return false;
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            return WaitForState(api, service, UntilRunning);
        if (!WaitForState(api, service, UntilStopped))
            return false;
    }
    return false;
}

// Stops the dependents in list order; `stopped` counts those sent the stop control. False when one
// cannot be opened, refuses to stop or does not reach the stopped state: nothing more is stopped.
bool StopDependents(const ServiceApi& api, SC_HANDLE manager, const std::vector<BYTE>& block, DWORD count,
                    DWORD* stopped)
{
    *stopped = 0;
    for (DWORD i = 0; i < count; ++i) {
        ServiceHandle service(api, api.OpenService(manager, Dependent(block, i)->lpServiceName, ServiceAccess));
        if (!service)
            return false;
        SERVICE_STATUS status = {};
        if (!api.Control(service.get(), SERVICE_CONTROL_STOP, &status))
            return false;
        ++*stopped;
        if (!WaitForState(api, service.get(), UntilStopped))
            return false;
    }
    return true;
}

// Starts the first `count` dependents again in list order; every one is tried, whatever an
// earlier one did.
bool StartDependents(const ServiceApi& api, SC_HANDLE manager, const std::vector<BYTE>& block, DWORD count)
{
    bool allRunning = true;
    for (DWORD i = 0; i < count; ++i) {
        ServiceHandle service(api, api.OpenService(manager, Dependent(block, i)->lpServiceName, ServiceAccess));
        if (!service || !StartAgain(api, service.get()))
            allRunning = false;
    }
    return allRunning;
}

// Whatever happens on the way down, what was stopped is started again: a restart that failed must
// not leave printing down.
int Restart(const ServiceApi& api)
{
    ServiceHandle manager(api, api.OpenSCManager(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return 0;
    ServiceHandle spooler(api, api.OpenService(manager.get(), "Spooler", ServiceAccess));
    if (!spooler)
        return 0;
    SERVICE_STATUS status = {};
    if (!api.QueryStatus(spooler.get(), &status))
        return 0;
    if (status.dwCurrentState == SERVICE_STOPPED)
        return 1;

    DWORD dependentCount = 0;
    std::vector<BYTE> dependents = ActiveDependents(api, spooler.get(), &dependentCount);
    DWORD stopped = 0;
    if (!StopDependents(api, manager.get(), dependents, dependentCount, &stopped)) {
        StartDependents(api, manager.get(), dependents, stopped);
        return 0;
    }

    if (!api.Control(spooler.get(), SERVICE_CONTROL_STOP, &status)) {
        StartDependents(api, manager.get(), dependents, stopped);
        return 0;
    }
    bool restarted = WaitForState(api, spooler.get(), UntilStopped);
    if (!StartAgain(api, spooler.get()))
        restarted = false;
    if (!StartDependents(api, manager.get(), dependents, stopped))
        restarted = false;
    return restarted ? 1 : 0;
}

}  // namespace

int RestartSpooler()
{
    Library advapi(FromSystemFolder{}, "advapi32.dll");
    ServiceApi api;
    if (!api.Load(advapi))
        return 0;
    return Restart(api);
}
