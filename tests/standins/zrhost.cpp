// A printing application in a folder of its own: it loads zrlogext.dll from beside itself, as a
// printer driver's host does, and imports no system DLL that the module loads later, so that a
// DLL planted beside it under such a name can only be loaded through the module.
//   zrhost read "<printer>" [<job owner> <job machine>]   ReadJobAccountID, with that job in the
//                                                          spooler's list; prints "<answer> <ID> <user>"
//   zrhost admin                                           the mode administration dialog
//   zrhost library <name> <manifest|-> <flags|no-flags>    loads a system DLL as the module does, in
//                                                          the activation context the manifest makes,
//                                                          through a loader that knows the search
//                                                          flags or one that does not (Windows 7
//                                                          without KB2533623); prints its path
// After "read" and "admin" the host frees the module and prints "references kept:" with the DLLs
// the module loaded (through its LoadLibraryA or LoadLibraryExW) and had not freed again by the end
// of its unload.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "iat_hook.h"
#include "job_standin.h"
#include "settings/system_library.h"

namespace {

struct JobAccountResult {
    DWORD JobAccountID;
    char UserID[81];
    char Spare[47];
};
using ReadJobAccountIDFn = int(WINAPI*)(const char*, DWORD, JobAccountResult*);
using EntryFn = INT_PTR(WINAPI*)(HWND, HINSTANCE, LPSTR, int);

std::string ModuleBesideThisProgram()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return {};
    std::string text(path, length);
    return text.substr(0, text.rfind('\\') + 1) + "zrlogext.dll";
}

template <typename T>
T Entry(HMODULE module, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

int Read(HMODULE module, int argc, char** argv)
{
    auto read = Entry<ReadJobAccountIDFn>(module, "ReadJobAccountID");
    if (!read || (argc != 3 && argc != 5))
        return 2;
    std::unique_ptr<JobStandIn> job;
    if (argc == 5)
        job = std::make_unique<JobStandIn>(module, argv[3], argv[4]);
    JobAccountResult result = {};
    const int answer = read(argv[2], 0, &result);
    result.UserID[sizeof result.UserID - 1] = '\0';
    std::printf("%d %lu %s\n", answer, static_cast<unsigned long>(result.JobAccountID), result.UserID);
    return 0;
}

int Admin(HMODULE module)
{
    auto open = Entry<EntryFn>(module, "ChangeJobAccountMode");
    if (!open)
        return 2;
    std::printf("dialog %ld\n", static_cast<long>(open(nullptr, module, const_cast<char*>(""), SW_SHOW)));
    return 0;
}

// The references the module takes on DLLs and gives back, counted by handle through its own import
// slots. The hooks stay in place while the module is freed, so that what its unload gives back is
// counted too.
namespace references {

std::map<HMODULE, int> held;
ImportHook* loadA;
ImportHook* loadExW;
ImportHook* release;

HMODULE WINAPI LoadA(LPCSTR name)
{
    HMODULE library = reinterpret_cast<decltype(&LoadLibraryA)>(loadA->original())(name);
    if (library)
        ++held[library];
    return library;
}

HMODULE WINAPI LoadExW(LPCWSTR name, HANDLE file, DWORD flags)
{
    HMODULE library = reinterpret_cast<decltype(&LoadLibraryExW)>(loadExW->original())(name, file, flags);
    if (library)
        ++held[library];
    return library;
}

BOOL WINAPI Release(HMODULE library)
{
    const BOOL freed = reinterpret_cast<decltype(&FreeLibrary)>(release->original())(library);
    if (freed)
        --held[library];
    return freed;
}

// The DLLs still held, by file name.
std::string Kept()
{
    std::string kept;
    for (const auto& [library, count] : held) {
        char path[MAX_PATH] = {};
        if (count <= 0 || !GetModuleFileNameA(library, path, sizeof path))
            continue;
        const char* name = std::strrchr(path, '\\');
        kept += std::string(" ") + (name ? name + 1 : path);
    }
    return kept;
}

}  // namespace references

decltype(&LoadLibraryExW) realLoadLibraryEx;

HMODULE WINAPI LoadLibraryExWithoutSearchFlags(LPCWSTR name, HANDLE file, DWORD flags)
{
    if (flags & 0xFF00) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return realLoadLibraryEx(name, file, flags);
}

int LoadLibraryAsTheModuleDoes(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    std::unique_ptr<ImportHook> oldLoader;
    if (std::strcmp(argv[4], "no-flags") == 0) {
        oldLoader = std::make_unique<ImportHook>(nullptr, "kernel32.dll", "LoadLibraryExW",
                                                 reinterpret_cast<void*>(&LoadLibraryExWithoutSearchFlags));
        if (!oldLoader->ok())
            return 4;
        realLoadLibraryEx = reinterpret_cast<decltype(&LoadLibraryExW)>(oldLoader->original());
    }
    HANDLE context = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie = 0;
    if (std::strcmp(argv[3], "-") != 0) {
        ACTCTXA request = {};
        request.cbSize = sizeof request;
        request.lpSource = argv[3];
        context = CreateActCtxA(&request);
        if (context == INVALID_HANDLE_VALUE || !ActivateActCtx(context, &cookie))
            return 5;
    }
    HMODULE library = LoadSystemLibrary(argv[2]);
    if (library) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(library, path, sizeof path);
        std::printf("%s\n", path);
    } else {
        std::printf("not loaded: error %lu\n", GetLastError());
    }
    if (context != INVALID_HANDLE_VALUE) {
        DeactivateActCtx(0, cookie);
        ReleaseActCtx(context);
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (std::strcmp(argv[1], "library") == 0)
        return LoadLibraryAsTheModuleDoes(argc, argv);
    HMODULE module = LoadLibraryA(ModuleBesideThisProgram().c_str());
    if (!module) {
        std::printf("module not loaded: error %lu\n", GetLastError());
        return 3;
    }
    int code = 2;
    {
        ImportHook loadA(module, "kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&references::LoadA));
        ImportHook loadExW(module, "kernel32.dll", "LoadLibraryExW", reinterpret_cast<void*>(&references::LoadExW));
        ImportHook release(module, "kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&references::Release));
        references::loadA = &loadA;
        references::loadExW = &loadExW;
        references::release = &release;
        if (std::strcmp(argv[1], "read") == 0)
            code = Read(module, argc, argv);
        else if (std::strcmp(argv[1], "admin") == 0)
            code = Admin(module);
        for (ImportHook* hook : {&loadA, &loadExW, &release})
            hook->Forget();
        FreeLibrary(module);
    }
    std::printf("references kept:%s\n", references::Kept().c_str());
    std::fflush(stdout);
    return code;
}
