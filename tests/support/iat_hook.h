// Replaces one imported function of a loaded module for the hook's lifetime: the stand-in for what
// Wine cannot provide (jobs in the spooler, a print server, another OS version for one call).
// Functions the module loads on first call are found too; original() is then the DLL's own.
#pragma once

#include <windows.h>

class ImportHook {
public:
    // `module` is the importing module (null: the test program itself).
    ImportHook(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool ok() const { return slot_ != nullptr; }
    void* original() const { return original_; }
    // For a hook that stays in place while its module is freed: the slot goes with the module, and
    // nothing is written back to it afterwards.
    void Forget() { slot_ = nullptr; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
    HMODULE delayedLibrary_ = nullptr;  // held while a first-call slot is replaced
    void* restore_ = nullptr;           // what that slot held before

};
