// System libraries that a print job may need, loaded by name at their first use. Where such a
// library cannot be loaded (a long-running process out of address space, a damaged system), the
// step that needs it fails as any other failed call does; a delay-load import would raise an
// exception that nobody handles, taking the spooler or the printing application with it.
//
// Every system DLL the module loads after its own load comes from the system folder alone. A bare
// name would be searched for in the folder of the application first: in any printing application
// a DLL dropped there under a system DLL's name would run inside the module's process.
#pragma once

#include <windows.h>

enum class SystemLibrary { Netapi32, Wsock32, Oleaut32, Comctl32 };

// The DLL `name` ("netapi32.dll") of the system folder of this process's width; a side-by-side
// version that the caller's activation context names (comctl32 version 6) stays the one loaded.
// Null, with the loader's error as the last error, when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// The library at the full path `path`, the DLLs it imports found in its own folder and the system
// folder alone, never in the application's folder or the current directory. Null, with the
// loader's error as the last error, when it cannot be loaded.
HMODULE LoadLibraryWithItsFolder(const char* path);

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

// Gives back the references that the runtime's delay-load helper took for the DLLs it bound at
// their first call (it keeps each one for good). Only for the module's unload, when no thread can
// be inside: the bound import slots still lead into those DLLs.
void ReleaseDelayLoadedLibraries();
