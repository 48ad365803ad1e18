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
const DWORD ShortestStall = 1000;
const DWORD LongestStall = 10000;
const DWORD LongestWait = 120000;

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

DWORD Clamp(DWORD value, DWORD low, DWORD high) { return value < low ? low : value > high ? high : value; }

// Polls until the service reports `state`. A service that hangs must not hang the administrator's
// dialog or a deployment script for ever, so the wait gives up (false) once the service has made no
// progress (its checkpoint unchanged) for longer than its own wait hint, the time it promised for
// its next step, taken as at least 1 and at most 10 seconds; and in any case after 120 seconds.
bool WaitForState(const ServiceApi& api, SC_HANDLE service, DWORD state)
{
    const DWORD started = GetTickCount();
    DWORD lastProgress = started;
    DWORD lastCheckPoint = 0;
    bool first = true;
    for (;;) {
        SERVICE_STATUS status = {};
        if (!api.QueryStatus(service, &status))
            return false;
        if (status.dwCurrentState == state)
            return true;
        const DWORD now = GetTickCount();
        if (first || status.dwCheckPoint != lastCheckPoint) {
            lastCheckPoint = status.dwCheckPoint;
            lastProgress = now;
            first = false;
        }
        if (now - lastProgress > Clamp(status.dwWaitHint, ShortestStall, LongestStall) ||
            now - started > LongestWait)
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

// False when a dependent cannot be opened or refuses to stop (nothing more is stopped then), or
// when one did not reach the stopped state (the others are still stopped).
bool StopDependents(const ServiceApi& api, SC_HANDLE manager, const std::vector<BYTE>& block, DWORD count)
{
    bool allStopped = true;
    for (DWORD i = 0; i < count; ++i) {
        ServiceHandle service(api, api.OpenService(manager, Dependent(block, i)->lpServiceName, ServiceAccess));
        if (!service)
            return false;
        SERVICE_STATUS status = {};
        if (!api.Control(service.get(), SERVICE_CONTROL_STOP, &status))
            return false;
        if (!WaitForState(api, service.get(), SERVICE_STOPPED))
            allStopped = false;
    }
    return allStopped;
}

bool StartDependents(const ServiceApi& api, SC_HANDLE manager, const std::vector<BYTE>& block, DWORD count)
{
    bool allRunning = true;
    for (DWORD i = 0; i < count; ++i) {
        ServiceHandle service(api, api.OpenService(manager, Dependent(block, i)->lpServiceName, ServiceAccess));
        if (!service || !api.Start(service.get(), 0, nullptr))
            return false;
        if (!WaitForState(api, service.get(), SERVICE_RUNNING))
            allRunning = false;
    }
    return allRunning;
}

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
    if (!StopDependents(api, manager.get(), dependents, dependentCount))
        return 0;

    if (!api.Control(spooler.get(), SERVICE_CONTROL_STOP, &status) ||
        !WaitForState(api, spooler.get(), SERVICE_STOPPED))
        return 0;
    if (!api.Start(spooler.get(), 0, nullptr) || !WaitForState(api, spooler.get(), SERVICE_RUNNING))
        return 0;

    return StartDependents(api, manager.get(), dependents, dependentCount) ? 1 : 0;
}

}  // namespace

int RestartSpooler()
{
    Library advapi("advapi32.dll");
    ServiceApi api;
    if (!api.Load(advapi))
        return 0;
    return Restart(api);
}
