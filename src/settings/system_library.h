// System libraries that a print job may need, loaded by name at their first use. Where such a
// library cannot be loaded (a long-running process out of address space, a damaged system), the
// step that needs it fails as any other failed call does; a delay-load import would raise an
// exception that nobody handles, taking the spooler or the printing application with it.
#pragma once

#include <windows.h>

enum class SystemLibrary { Netapi32, Wsock32, Oleaut32, Comctl32 };

// The library, loaded at its first use and kept until the module is unloaded: loading it again
// for every job cost a third of the job's resolution. Null when it cannot be loaded.
HMODULE KeptSystemLibrary(SystemLibrary library);

// The entry point `name` of the library as a function pointer of type T (the declaration's own,
// e.g. decltype(&WSAStartup)); null when the library or the entry is missing.
template <typename T>
T SystemEntry(SystemLibrary library, const char* name)
{
    HMODULE module = KeptSystemLibrary(library);
    return module ? reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

// The entry points of one of the libraries, for a structure that takes several of them.
template <SystemLibrary library>
struct SystemEntries {
    template <typename T>
    static T Get(const char* name) { return SystemEntry<T>(library, name); }
};

// Gives back every library kept here. Only for the module's unload, when no thread can be inside.
void ReleaseSystemLibraries();
