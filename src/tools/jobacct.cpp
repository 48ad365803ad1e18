// Asks zrlogext.dll, loaded from beside this program as a printer driver loads it, which job
// account ID and user ID a job on a printer carries.
//   jobacct read "<printer>"
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct JobAccountResult {
    DWORD JobAccountID;
    char UserID[81];
    char Spare[47];
};
using ReadJobAccountIDFn = int(WINAPI*)(const char*, DWORD, JobAccountResult*);

int Usage()
{
    std::fprintf(stderr, "usage: jobacct read \"<printer name>\"\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "read") != 0 || !argv[2][0])
        return Usage();

    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dll = path;
    dll = dll.substr(0, dll.rfind('\\') + 1) + "zrlogext.dll";
    HMODULE module = LoadLibraryA(dll.c_str());
    if (!module) {
        std::fprintf(stderr, "jobacct: cannot load %s (error %lu)\n", dll.c_str(), GetLastError());
        return 3;
    }
    auto read = reinterpret_cast<ReadJobAccountIDFn>(reinterpret_cast<void*>(GetProcAddress(module, "ReadJobAccountID")));
    if (!read) {
        std::fprintf(stderr, "jobacct: %s has no ReadJobAccountID\n", dll.c_str());
        FreeLibrary(module);
        return 3;
    }
    JobAccountResult result = {};
    int ok = read(argv[2], 0, &result);
    FreeLibrary(module);
    if (!ok) {
        std::fprintf(stderr, "jobacct: printer \"%s\" has no job accounting (or does not exist)\n", argv[2]);
        return 1;
    }
    result.UserID[sizeof result.UserID - 1] = '\0';
    std::printf("printer \"%s\": job account ID %lu, user ID \"%s\"\n", argv[2],
                static_cast<unsigned long>(result.JobAccountID), result.UserID);
    return 0;
}
