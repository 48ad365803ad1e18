// Times ReadJobAccountID under the real spooler, each case beside the platform's own cost for the
// same answer, measured in the same run (medians of 51 calls; the machines are shared, so the
// ratios are the figures):
//   tab      a Tab printer; floor: one profile read of the account file and the driver's level-3
//            record;
//   hide N   a Hide printer with a registered list of N users; floor: one profile read of the
//            user's key in that list; and beside it the least any resolution of a printer does
//            besides: opening the printer and reading its driver's level-3 record;
//   load     LoadLibrary and FreeLibrary of the module in a fresh process that has what every
//            printing process has loaded (user32, gdi32, winspool, advapi32), the module out of
//            the process again afterwards; floor: the same of a library that imports only kernel32;
//   threads  calls a second from 1 and from 8 threads, Tab and Hide alternating, beside the same
//            for the floors' calls.
// Run: bash scripts/bench.sh (after a build).
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host_run.h"
#include "job_standin.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

struct Result {
    DWORD id;
    char user[81];
};
using ReadFn = int(WINAPI*)(const char*, DWORD, Result*);

const char Cap[] = "TVBENCH1.CAP";
const char Capabilities[] = "[Capability]\r\nZB Tab=M\r\nZB Hide=M\r\n[M]\r\nJobAccount=1\r\n";

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(const std::function<void()>& call, int runs = 51)
{
    std::vector<double> times;
    call();  // warm
    for (int i = 0; i < runs; ++i) {
        double start = Now();
        call();
        times.push_back(Now() - start);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

void Report(const std::string& what, double seconds, double floor)
{
    std::printf("%-14s %9.3f ms   floor %9.3f ms   ratio %5.2f\n", what.c_str(), seconds * 1e3, floor * 1e3,
                floor > 0 ? seconds / floor : 0.0);
    std::fflush(stdout);
}

std::string RegisteredList(size_t users)
{
    std::string text = "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\n";
    char line[64];
    for (size_t i = 0; i < users; ++i) {
        wsprintfA(line, "user%06lu=%lu,User %lu\r\n", static_cast<unsigned long>(i), static_cast<unsigned long>(i + 1),
                  static_cast<unsigned long>(i));
        text += line;
    }
    return text;
}

std::string AccountFile()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\vtjobac.ini";
}

// One Tab floor: what the answer needs from the platform at the least.
void TabFloor(const std::string& accountFile)
{
    char value[16];
    GetPrivateProfileStringA("ZB Tab P", "JobAccountID", "1", value, sizeof value, accountFile.c_str());
    HANDLE printer = nullptr;
    if (OpenPrinterA(const_cast<char*>("ZB Tab P"), &printer, nullptr)) {
        DWORD needed = 0;
        GetPrinterDriverA(printer, nullptr, 3, nullptr, 0, &needed);
        std::vector<BYTE> block(needed ? needed : 1);
        GetPrinterDriverA(printer, nullptr, 3, block.data(), needed, &needed);
        ClosePrinter(printer);
    }
}

void HideFloor(const std::string& listFile, const char* user)
{
    char value[260];
    GetPrivateProfileStringA("JobAccountID", user, "0", value, sizeof value, listFile.c_str());
}

// What no resolution of a printer can do without: open it and read its driver's record.
void PrinterFloor(const char* name)
{
    HANDLE printer = nullptr;
    if (OpenPrinterA(const_cast<char*>(name), &printer, nullptr)) {
        DWORD needed = 0;
        GetPrinterDriverA(printer, nullptr, 3, nullptr, 0, &needed);
        std::vector<BYTE> block(needed ? needed : 1);
        GetPrinterDriverA(printer, nullptr, 3, block.data(), needed, &needed);
        ClosePrinter(printer);
    }
}

// Calls a second over all threads, each thread making `calls` calls.
double Throughput(int threads, int calls, const std::function<void(int)>& call)
{
    std::vector<std::thread> workers;
    double start = Now();
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&call, calls, t]() {
            for (int i = 0; i < calls; ++i)
                call(t * calls + i);
        });
    for (std::thread& worker : workers)
        worker.join();
    return threads * calls / (Now() - start);
}

// One LoadLibrary and FreeLibrary of `path`, in seconds; the body of a fresh process's run. -1 when
// it cannot be loaded, or when the free leaves it in the process, which would time no unload.
double LoadOnce(const char* path)
{
    double start = Now();
    HMODULE module = LoadLibraryA(path);
    if (!module)
        return -1.0;
    FreeLibrary(module);
    const double elapsed = Now() - start;
    return GetModuleHandleA(path) ? -1.0 : elapsed;
}

// Runs this program again to time one load of `path` in a process of its own; -1 on failure.
double LoadInFreshProcess(const std::string& path, const std::string& directory)
{
    char self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return -1.0;
    const ProgramRun run = RunProgram(self, "--load-once \"" + path + "\"", directory);
    return run.exitCode == 0 && !run.out.empty() ? std::atof(run.out.c_str()) : -1.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--load-once") {
        // What every printing process has loaded before it meets the module.
        GetDesktopWindow();
        GetStockObject(WHITE_BRUSH);
        ClosePrinter(nullptr);
        std::printf("%.9f\n", LoadOnce(argv[2]));
        return 0;
    }

    HMODULE built = LoadLibraryA((ProgramDirectory() + "zrlogext.dll").c_str());
    if (!built) {
        std::fprintf(stderr, "zrlogext.dll not found beside the benchmark\n");
        return 2;
    }
    LoadModuleSettingsOf(built);
    RemoveLeftoverTestDrivers();

    ModuleSandbox sandbox;
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void*>(GetProcAddress(sandbox.Handle(), "ReadJobAccountID")));
    JobStandIn job(sandbox.Handle(), "user000500");
    const std::string accountFile = AccountFile();
    WritePrivateProfileStringA("ZB Tab P", "JobAccountID", "321", accountFile.c_str());
    WritePrivateProfileStringA("ZB Tab P", "UserID", "Bench User", accountFile.c_str());

    InstalledDriver tab(DriverSpec{"ZB Tab", {Cap, "vtjobac1.dat"}, {{Cap, Capabilities}}});
    InstalledPrinter tabPrinter("ZB Tab P", "ZB Tab");
    Sleep(2500);  // past the profile functions' window in which a new file is parsed again
    Result result = {};
    Report("tab", Median([&]() { read("ZB Tab P", 0, &result); }), Median([&]() { TabFloor(accountFile); }));
    if (result.id != 321)
        std::printf("  (tab answered %lu)\n", static_cast<unsigned long>(result.id));

    for (size_t users : {1000u, 10000u, 100000u}) {
        InstalledDriver hide(DriverSpec{"ZB Hide", {Cap, "vtjobac4.dat"},
                                        {{Cap, Capabilities}, {"vtjobac4.dat", RegisteredList(users)}}});
        InstalledPrinter hidePrinter("ZB Hide P", "ZB Hide");
        const std::string listFile = hide.Directory() + "vtjobac4.dat";
        Sleep(2500);  // past the profile functions' window in which a new file is parsed again
        const double seconds = Median([&]() { read("ZB Hide P", 0, &result); });
        Report("hide " + std::to_string(users), seconds, Median([&]() { HideFloor(listFile, "user000500"); }));
        Report("  with printer", seconds, Median([&]() {
                   HideFloor(listFile, "user000500");
                   PrinterFloor("ZB Hide P");
               }));
        if (result.id != 501)
            std::printf("  (hide answered %lu)\n", static_cast<unsigned long>(result.id));
        if (users != 1000u)
            continue;

        // Threads: Tab and Hide alternating, against the floors' calls alternating.
        auto resolve = [&](int i) {
            Result own = {};
            read(i % 2 ? "ZB Hide P" : "ZB Tab P", 0, &own);
        };
        auto floor = [&](int i) {
            if (i % 2)
                HideFloor(listFile, "user000500");
            else
                TabFloor(accountFile);
        };
        const double one = Throughput(1, 400, resolve), eight = Throughput(8, 400, resolve);
        const double floorOne = Throughput(1, 400, floor), floorEight = Throughput(8, 400, floor);
        std::printf("threads        module %7.0f/s alone, %7.0f/s with 8 (gain %.2f);"
                    " floor %7.0f/s alone, %7.0f/s with 8 (gain %.2f)\n",
                    one, eight, eight / one, floorOne, floorEight, floorEight / floorOne);
    }

    // Loading and unloading: in a fresh process each time, as a printing process meets the module,
    // both libraries beside the string file as deployed.
    const std::string trivial = sandbox.Directory() + "trivial.dll";
    const std::string shipped = sandbox.Directory() + "shipped.dll";
    CopyFileA((ProgramDirectory() + "zrtrivial.dll").c_str(), trivial.c_str(), FALSE);
    CopyFileA((ProgramDirectory() + "zrlogext.dll").c_str(), shipped.c_str(), FALSE);
    std::vector<double> module, floor;
    for (int i = 0; i < 21; ++i) {
        module.push_back(LoadInFreshProcess(shipped, sandbox.Directory()));
        floor.push_back(LoadInFreshProcess(trivial, sandbox.Directory()));
    }
    std::nth_element(module.begin(), module.begin() + 10, module.end());
    std::nth_element(floor.begin(), floor.begin() + 10, floor.end());
    Report("load", module[10], floor[10]);
    WritePrivateProfileStringA("ZB Tab P", nullptr, nullptr, accountFile.c_str());
    return 0;
}
