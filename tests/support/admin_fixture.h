// Fixtures of the administration dialog tests: supporting drivers in each mode, a sandboxed module
// opened through its rundll32 entry, the master copy and a driver's copy, and the stand-ins and
// steps that choose folders and files as an administrator would.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "dialog_script.h"
#include "heap_failures.h"
#include "iat_hook.h"
#include "sandbox.h"
#include "spooler_fixture.h"

DriverSpec Supporting(const std::string& name, const char* dataFile);

// Three drivers, one in each mode that the mode dialog shows with its own radio.
struct Drivers {
    InstalledDriver tab{Supporting("ZR Tab", "vtjobac1.dat")};
    InstalledDriver popup{Supporting("ZR Popup", "vtjobac2.dat")};
    InstalledDriver hide{Supporting("ZR Hide", "vtjobac4.dat")};
};

using EntryFn = INT_PTR(WINAPI*)(HWND, HINSTANCE, LPSTR, int);

// The string file's captions every administration test sees.
extern const char Captions[];

// A sandboxed module whose string file holds the given "common" lines, the captions above and the
// given further "string" lines.
struct AdminModule {
    ModuleSandbox sandbox;
    EntryFn open = nullptr;

    explicit AdminModule(const std::string& common = "", const std::string& strings = "");
    // Opens the mode administration dialog and runs the steps against it.
    INT_PTR Run(std::vector<Step> steps, bool* stuck = nullptr);
    // Opens another rundll32 entry of the module and runs the steps against it.
    INT_PTR RunEntry(const char* entry, std::vector<Step> steps, bool* stuck = nullptr);
};

// Sends `message` straight to the procedure of the dialog (`control` 0) or of one of its controls
// while the module's large allocations fail, and expects the message to fail alone: the procedure
// answers 0 instead of letting the exception out, after at least one allocation was refused, and
// the dialog is still there.
Step FailsAloneWithoutMemory(HeapFailures* heap, int control, UINT message, WPARAM wParam, LPARAM lParam = 0);

// The mode administration dialog's File > Close.
Step CloseByMenu();

std::string ProfileValue(const std::string& file, const char* section, const char* key);

// The master copy beside the module and the copy the Hide-mode driver carries.
struct SettingsFiles {
    std::string master;
    std::string hideCopy;
    SettingsFiles(const AdminModule& admin, const Drivers& drivers, const std::string& masterText);
    bool Propagated() const;
};

// A folder of the test's own, named without the trailing backslash as the folder browser names it.
std::string TestFolder(const std::string& tag);

// The folder browser's stand-in for the dialog tests: each call is answered with the next folder of
// the queue, as the administrator's choice ("" for Cancel). Wine's browser does not always move to
// a folder sent to it once it is open; the browser itself is tested alone.
class FolderChoices {
public:
    FolderChoices(HMODULE module, std::vector<std::string> folders);
    ~FolderChoices();
    FolderChoices(const FolderChoices&) = delete;
    FolderChoices& operator=(const FolderChoices&) = delete;

    // The folder the module started each browser at.
    const std::vector<std::string>& Starts() const { return starts_; }

private:
    static LPITEMIDLIST WINAPI Choose(LPBROWSEINFOA info);

    static FolderChoices* current_;
    std::vector<std::string> folders_;
    size_t next_ = 0;
    std::vector<std::string> starts_;
    ImportHook hook_;
};

// The rows of the dialog's ID list as "name/user/ID", in display order.
std::vector<std::string> ShownRows(HWND dialog);

// A click on a column header of the dialog's list, as the list view reports it.
void ClickColumn(HWND dialog, int column);

// Waits for the open-file dialog, names `path` in its name box as typing would, and confirms it.
std::vector<Step> ChooseFile(const std::string& path);
