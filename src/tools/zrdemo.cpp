// Installs sample printers in every job accounting mode and shows what zrlogext makes of them:
// its settings, each printer's mode, driver flag and settings file, the driver list, and the
// answer of ReadJobAccountID.
//   zrdemo install | show | remove
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "idlist/driver_list.h"
#include "resolve/driver_capability.h"
#include "settings/module_state.h"

namespace {

const char Environment[] = "Windows NT x86";
const char DemoRoot[] = "C:\\zrdemo\\";

struct Sample {
    const char* driver;
    std::vector<std::string> dependents;
    const char* settings;  // contents of a private vtjobac4.dat, or null
};

const char Capability[] =
    "[Capability]\r\nDemo Tab=Model\r\nDemo Popup=Model\r\nDemo Popup Allowed=Allowed\r\nDemo Hide=Model\r\n"
    "Demo Fixed ID=Model\r\nDemo Other Client=Model\r\nDemo Host Address=Model\r\nDemo Declined=Off\r\n"
    "[Model]\r\nJobAccount=1\r\n[Allowed]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n[Off]\r\nJobAccount=0\r\n";

const Sample Samples[] = {
    {"Demo Tab", {"TVDEMO01.CAP", "vtjobac1.dat"}, nullptr},
    {"Demo Popup", {"TVDEMO01.CAP", "vtjobac2.dat"}, nullptr},
    {"Demo Popup Allowed", {"TVDEMO01.CAP", "vtjobac2.dat"}, nullptr},
    {"Demo Hide", {"TVDEMO01.CAP", "vtjobac4.dat"},
     "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\n%USER%=1234,Registered User\r\n"},
    {"Demo Fixed ID", {"TVDEMO01.CAP", "vtjobac4.dat"}, "[JobAccount]\r\nMode=5\r\nJobAccountID=55\r\n"},
    {"Demo Other Client", {"TVDEMO01.CAP", "vtjobac4.dat"},
     "[JobAccount]\r\nMode=6\r\nPath=C:\\zrdemo\\share\r\n"},
    {"Demo Host Address", {"TVDEMO01.CAP", "vtjobac4.dat"},
     "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\n%USER%=700\r\n"},
    {"Demo Older Form", {"VT010001.CAP", "vtjobac1.dat"}, nullptr},
    {"Demo Declined", {"TVDEMO01.CAP", "vtjobac1.dat"}, nullptr},
    {"Demo No Support", {"vtjobac1.dat"}, nullptr},
};

std::string UserName()
{
    char name[257] = {};
    DWORD size = sizeof name;
    GetUserNameA(name, &size);
    return name;
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

void WriteText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string DriverDirectory()
{
    char dir[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(Environment), 1, reinterpret_cast<BYTE*>(dir), sizeof dir,
                               &needed);
    return std::string(dir) + "\\";
}

// A Hide-mode sample keeps its own settings file: its dependent files are pointed at a folder of its own.
void UsePrivateFolder(const Sample& sample, const std::string& folder)
{
    std::string list;
    for (const std::string& file : sample.dependents)
        list += folder + file + '\0';
    list += '\0';
    std::string key = std::string("System\\CurrentControlSet\\Control\\Print\\Environments\\") + Environment +
                      "\\Drivers\\Version-3\\" + sample.driver;
    HKEY driver = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &driver) != ERROR_SUCCESS)
        return;
    RegSetValueExA(driver, "Dependent Files", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                   static_cast<DWORD>(list.size()));
    RegCloseKey(driver);
}

void Install()
{
    std::string source = DriverDirectory();
    std::string installed = source + "3\\";
    CreateDirectoryA(installed.c_str(), nullptr);
    WriteText(source + "zrdemo.dll", "");
    CreateDirectoryA(DemoRoot, nullptr);
    CreateDirectoryA((std::string(DemoRoot) + "share").c_str(), nullptr);
    WriteText(std::string(DemoRoot) + "share\\vtjobac4.dat",
              Replace("[JobAccountID]\r\n%USER%=9000,From Another Client\r\n", "%USER%", UserName()));

    for (const Sample& sample : Samples) {
        std::string dependents;
        for (const std::string& file : sample.dependents)
            dependents += file + '\0';
        dependents += '\0';
        DRIVER_INFO_3A info = {};
        info.cVersion = 3;
        info.pName = const_cast<char*>(sample.driver);
        info.pEnvironment = const_cast<char*>(Environment);
        info.pDriverPath = const_cast<char*>("zrdemo.dll");
        info.pDataFile = info.pDriverPath;
        info.pConfigFile = info.pDriverPath;
        info.pDependentFiles = dependents.data();
        if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES))
            std::printf("  cannot install driver %s (error %lu)\n", sample.driver, GetLastError());
        if (sample.settings) {
            std::string folder = std::string(DemoRoot) + sample.driver + "\\";
            CreateDirectoryA(folder.c_str(), nullptr);
            WriteText(folder + "TVDEMO01.CAP", Capability);
            WriteText(folder + "vtjobac4.dat", Replace(sample.settings, "%USER%", UserName()));
            UsePrivateFolder(sample, folder);
        }
        PRINTER_INFO_2A printer = {};
        std::string name = std::string(sample.driver) + " Printer";
        printer.pPrinterName = name.data();
        printer.pPortName = const_cast<char*>("FILE:");
        printer.pDriverName = const_cast<char*>(sample.driver);
        printer.pPrintProcessor = const_cast<char*>("winprint");
        printer.pDatatype = const_cast<char*>("RAW");
        if (HANDLE handle = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&printer)))
            ClosePrinter(handle);
    }
    WriteText(installed + "TVDEMO01.CAP", Capability);
}

void Remove()
{
    for (const Sample& sample : Samples) {
        std::string name = std::string(sample.driver) + " Printer";
        PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        if (OpenPrinterA(name.data(), &printer, &defaults)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
        DeletePrinterDriverA(nullptr, const_cast<char*>(Environment), const_cast<char*>(sample.driver));
    }
}

const char* ModeName(DWORD mode)
{
    switch (mode) {
    case ModeNoSupport: return "No Support";
    case ModeTab: return "Tab";
    case ModePopup: return "Popup";
    case ModeHide: return "Hide";
    default: return "(registry mode)";
    }
}

void ShowSettings()
{
    std::printf("Module settings (%s%s)\n", Module.ModuleDirectory, Module.ModuleFileName);
    std::printf("  string file    %s\n", Module.StringFilePath);
    std::printf("  registry root  HKLM\\%s\n", Module.RegistryRoot);
    std::printf("  help file      %s\n", Module.HelpFilePath);
    std::printf("  32/64-bit dirs \"%s\" / \"%s\"\n", Module.ModPath32, Module.ModPath64);
    std::printf("  data files     Tab %s, Popup %s, Hide %s; account file %s; capability prefix %s\n",
                Module.DatFile1, Module.DatFile2, Module.DatFile4, Module.AccountFile, Module.MfHeader);
    std::printf("  application    %s\n\n", Module.AppName);
}

void ShowPrinters(HMODULE module)
{
    struct Result {
        DWORD id;
        char user[81];
        char spare[47];
    };
    using ReadFn = int(WINAPI*)(const char*, DWORD, Result*);
    auto read = reinterpret_cast<ReadFn>(reinterpret_cast<void*>(GetProcAddress(module, "ReadJobAccountID")));

    std::printf("Sample printers\n");
    for (const Sample& sample : Samples) {
        std::string name = std::string(sample.driver) + " Printer";
        DWORD flag = 0;
        char settings[MAX_PATH] = {};
        DWORD mode = DetectDriverMode(name.c_str(), &flag, settings);
        std::printf("  %-26s mode %-10s flag %lu", name.c_str(), ModeName(mode), static_cast<unsigned long>(flag));
        if (mode == ModeHide)
            std::printf("  settings %s", settings);
        std::printf("\n");
        // A Popup printer whose driver allows dialogs would ask; the demo script offers that separately.
        if (read && !(mode == ModePopup && (flag & 1))) {
            Result result = {};
            if (read(name.c_str(), 0, &result))
                std::printf("  %-26s -> job account ID %lu, user ID \"%s\"\n", "", static_cast<unsigned long>(result.id),
                            result.user);
            else
                std::printf("  %-26s -> no job accounting\n", "");
        }
    }
    std::printf("\n");
}

void ShowDriverList()
{
    DriverList list = {};
    int listed = BuildDriverList(nullptr, &list);
    std::printf("Driver list (%s): %lu entries; No Support %lu, Tab %lu, Popup %lu, Hide %lu\n",
                listed ? "drivers listed" : "nothing listed", static_cast<unsigned long>(DriverEntryCount(list)),
                static_cast<unsigned long>(list.ModeCounts[0]), static_cast<unsigned long>(list.ModeCounts[1]),
                static_cast<unsigned long>(list.ModeCounts[2]), static_cast<unsigned long>(list.ModeCounts[3]));
    ReleaseDriverList(&list);

    // The display names as the administration dialog's combo box shows them.
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 300, 200, parent, nullptr,
                                 nullptr, nullptr);
    if (combo && BuildDriverList(combo, &list)) {
        LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[300] = {};
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            DWORD entry = static_cast<DWORD>(SendMessageA(combo, CB_GETITEMDATA, i, 0));
            std::printf("  %-36s %s\n", text, ModeName(list.Modes[entry]));
        }
    }
    ReleaseDriverList(&list);
    if (parent)
        DestroyWindow(parent);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "show";
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dll = path;
    dll = dll.substr(0, dll.rfind('\\') + 1) + "zrlogext.dll";
    HMODULE module = LoadLibraryA(dll.c_str());
    if (!module) {
        std::fprintf(stderr, "zrdemo: cannot load %s\n", dll.c_str());
        return 3;
    }
    LoadModuleState(module, &Module);
    if (command == "install")
        Install();
    else if (command == "remove")
        Remove();
    else if (command == "show") {
        ShowSettings();
        ShowPrinters(module);
        ShowDriverList();
    } else {
        std::fprintf(stderr, "usage: zrdemo install | show | remove\n");
        return 2;
    }
    FreeLibrary(module);
    return 0;
}
