// Owns a library loaded at run time for one call's use.
#pragma once

#include <windows.h>

#include "settings/system_library.h"

// Asks Library for a DLL of the system folder (see LoadSystemLibrary), given by its file name.
struct FromSystemFolder {};

class Library {
public:
    // A library outside the system folder, by its full path (the certificate library beside the
    // module); the DLLs it imports come from its own folder and the system folder alone.
    explicit Library(const char* path) : module_(LoadLibraryWithItsFolder(path)) {}
    Library(FromSystemFolder, const char* name) : module_(LoadSystemLibrary(name)) {}
    ~Library()
    {
        if (module_)
            FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The entry point as a function pointer of type T; null when the library or the entry is missing.
    template <typename T>
    T Get(const char* name) const
    {
        return module_ ? reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name))) : nullptr;
    }
    explicit operator bool() const { return module_ != nullptr; }

private:
    HMODULE module_;
};
