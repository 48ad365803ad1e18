#include "settings/system_library.h"

namespace {

const char* const LibraryNames[] = {"netapi32.dll", "wsock32.dll", "oleaut32.dll", "comctl32.dll"};
const size_t LibraryCount = sizeof LibraryNames / sizeof LibraryNames[0];

void* volatile KeptModules[LibraryCount];

}  // namespace

HMODULE KeptSystemLibrary(SystemLibrary library)
{
    const size_t index = static_cast<size_t>(library);
    if (index >= LibraryCount)
        return nullptr;
    void* kept = InterlockedCompareExchangePointer(&KeptModules[index], nullptr, nullptr);
    if (kept)
        return static_cast<HMODULE>(kept);
    HMODULE loaded = LoadLibraryA(LibraryNames[index]);
    if (!loaded)
        return nullptr;
    // Threads that met the library unloaded at the same time each loaded it: the first one's
    // reference is kept, the others give theirs back.
    void* earlier = InterlockedCompareExchangePointer(&KeptModules[index], loaded, nullptr);
    if (!earlier)
        return loaded;
    FreeLibrary(loaded);
    return static_cast<HMODULE>(earlier);
}

void ReleaseSystemLibraries()
{
    for (void* volatile& kept : KeptModules)
        if (void* module = InterlockedExchangePointer(&kept, nullptr))
            FreeLibrary(static_cast<HMODULE>(module));
}
