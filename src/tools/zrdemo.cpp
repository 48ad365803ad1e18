// Installs sample printers in every job accounting mode and shows what zrlogext makes of them:
// its settings, each printer's mode, driver flag and settings file, the driver list, and the
// answer of ReadJobAccountID; or opens a printer's Job Account page and saves a picture of it.
//   zrdemo install | show | remove
//   zrdemo page "<printer>" <image.bmp>
#include <windows.h>
#include <winspool.h>
#include <commctrl.h>
#include <objbase.h>
#include <prsht.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "idlist/driver_list.h"
#include "capability/driver_capability.h"
#include "settings/module_state.h"
#include "shellext/shell_ext.h"
#include "tools/printer_data_object.h"

namespace {

// The demo printers use drivers of the demo program's own width.
const char* const Environment = sizeof(void*) == 8 ? "Windows x64" : "Windows NT x86";
const char DemoRoot[] = "C:\\zrdemo\\";

struct Sample {
    const char* driver;
    std::vector<std::string> dependents;  // as the driver's own package installs it
    int mode;                             // the JobAccountMode an administrator's set-mode gives it, or -1
    const char* settings;                 // contents of a private vtjobac4.dat, or null
};

const char Capability[] =
    "[Capability]\r\nDemo Tab=Model\r\nDemo Popup=Model\r\nDemo Popup Allowed=Allowed\r\nDemo Hide=Model\r\n"
    "Demo Fixed ID=Model\r\nDemo Other Client=Model\r\nDemo Host Address=Model\r\nDemo Declined=Off\r\n"
    "Demo Switchable=Model\r\n"
    "[Model]\r\nJobAccount=1\r\n[Allowed]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n[Off]\r\nJobAccount=0\r\n";

// Each driver is installed as its vendor's package has it, with its capability file, and switched
// to its mode as an administrator's installation does (jobacct set-mode through the kit's module),
// which puts the data file, the string file and the module beside it. Two are broken on purpose:
// "Demo Declined" (its capability entry declines) and "Demo No Support" (a data file without a
// capability file); "Demo Popup" shows the popup rule of Windows 6.0 and later holding its popup back.
const Sample Samples[] = {
    {"Demo Tab", {"TVDEMO01.CAP"}, ModeTab, nullptr},
    {"Demo Popup", {"TVDEMO01.CAP"}, ModePopup, nullptr},
    {"Demo Popup Allowed", {"TVDEMO01.CAP"}, ModePopup, nullptr},
    {"Demo Hide", {"TVDEMO01.CAP"}, ModeHide,
     "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\n%USER%=1234,Registered User\r\n"},
    {"Demo Fixed ID", {"TVDEMO01.CAP"}, ModeHide, "[JobAccount]\r\nMode=5\r\nJobAccountID=55\r\n"},
    {"Demo Other Client", {"TVDEMO01.CAP"}, ModeHide, "[JobAccount]\r\nMode=6\r\nPath=C:\\zrdemo\\share\r\n"},
    {"Demo Host Address", {"TVDEMO01.CAP"}, ModeHide, "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\n%USER%=700\r\n"},
    {"Demo Older Form", {"VT010001.CAP"}, ModeTab, nullptr},
    {"Demo Declined", {"TVDEMO01.CAP", "vtjobac1.dat"}, -1, nullptr},
    {"Demo No Support", {"vtjobac1.dat"}, -1, nullptr},
    // Supports job accounting but has no mode yet: the demo's administrator gives it one and back.
    {"Demo Switchable", {"TVDEMO01.CAP"}, -1, nullptr},
};

// What an administrator puts beside the module before switching drivers: the data files, the
// string file, and the command-line host.
const char KitDirectory[] = "C:\\zrdemo\\kit\\";

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

// The driver's dependent files as the spooler lists them (full paths), or none.
std::vector<std::string> DependentFiles(const char* driverName)
{
    DWORD needed = 0, count = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(Environment), 3, nullptr, 0, &needed, &count);
    std::vector<BYTE> block(needed ? needed : 1, 0);
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(Environment), 3, block.data(), needed, &needed, &count))
        count = 0;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(block.data());
    std::vector<std::string> files;
    for (DWORD i = 0; i < count; ++i)
        if (drivers[i].pName && strcmp(drivers[i].pName, driverName) == 0)
            for (const char* file = drivers[i].pDependentFiles; file && *file; file += strlen(file) + 1)
                files.push_back(file);
    return files;
}

// Each Hide-mode sample shows another settings-file Mode, but the drivers of one environment share
// one folder: its settings file is pointed at a folder of its own; the module and the string file
// stay beside the driver, where the mode change put them.
void UsePrivateFolder(const Sample& sample, const std::string& folder)
{
    std::string list;
    for (const std::string& file : DependentFiles(sample.driver)) {
        const size_t slash = file.rfind('\\');
        const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
        list += (lstrcmpiA(name.c_str(), "vtjobac4.dat") == 0 ? folder + name : file) + '\0';
    }
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

std::string ProgramDirectory()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.rfind('\\') + 1);
}

void InstallKit()
{
    CreateDirectoryA(KitDirectory, nullptr);
    for (const char* program : {"zrlogext.dll", "jobacct.exe"})
        CopyFileA((ProgramDirectory() + program).c_str(), (std::string(KitDirectory) + program).c_str(), FALSE);
    for (const char* data : {"vtjobac1.dat", "vtjobac2.dat"})
        WriteText(std::string(KitDirectory) + data, "");
    WriteText(std::string(KitDirectory) + "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");
    WriteText(std::string(KitDirectory) + "zrjobacs.str", "; every text and setting takes its default\r\n");
}

// The driver's dependent files as the spooler lists them.
int ShowDependentFiles(const char* driverName)
{
    const std::vector<std::string> files = DependentFiles(driverName);
    if (files.empty()) {
        std::fprintf(stderr, "zrdemo: no driver named %s (or no dependent files)\n", driverName);
        return 1;
    }
    std::printf("  %s depends on:", driverName);
    for (const std::string& file : files) {
        const size_t slash = file.rfind('\\');
        std::printf(" %s", file.c_str() + (slash == std::string::npos ? 0 : slash + 1));
    }
    std::printf("\n");
    return 0;
}

const char* ModeName(DWORD mode);

// Switches the samples to their modes through the kit's module, as jobacct set-mode does.
void SwitchThroughKit()
{
    HMODULE kit = LoadLibraryA((std::string(KitDirectory) + "zrlogext.dll").c_str());
    using SetModeFn = int(WINAPI*)(const char*, DWORD);
    auto setMode = kit ? reinterpret_cast<SetModeFn>(reinterpret_cast<void*>(GetProcAddress(kit, "SetJobAccountMode")))
                       : nullptr;
    if (!setMode) {
        std::printf("  cannot load the kit's module (error %lu)\n", GetLastError());
        if (kit)
            FreeLibrary(kit);
        return;
    }
    for (const Sample& sample : Samples)
        if (sample.mode >= 0 && !setMode(sample.driver, static_cast<DWORD>(sample.mode)))
            std::printf("  cannot switch %s to %s (error %lu)\n", sample.driver, ModeName(sample.mode), GetLastError());
    FreeLibrary(kit);
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
    // The older form says everything by its name; its vendor ships it all the same, and a mode
    // change copies it with the driver's other files.
    WriteText(installed + "VT010001.CAP", "");
    InstallKit();
    SwitchThroughKit();
    for (const Sample& sample : Samples) {
        if (!sample.settings)
            continue;
        std::string folder = std::string(DemoRoot) + sample.driver + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        WriteText(folder + "vtjobac4.dat", Replace(sample.settings, "%USER%", UserName()));
        UsePrivateFolder(sample, folder);
    }
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


// Writes what the screen shows in `area` as a 24-bit BMP file.
bool SaveScreenArea(const RECT& area, const char* path)
{
    int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores its rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(pixels.size());

    bool copied = false;
    if (HDC screen = GetDC(nullptr)) {
        if (HDC memory = CreateCompatibleDC(screen)) {
            if (HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height)) {
                HGDIOBJ previous = SelectObject(memory, bitmap);
                copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != 0;
                SelectObject(memory, previous);
                // The bitmap must not be selected into a DC while its bits are read.
                copied = copied && GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
                                             DIB_RGB_COLORS) == height;
                DeleteObject(bitmap);
            }
            DeleteDC(memory);
        }
        ReleaseDC(nullptr, screen);
    }
    if (!copied)
        return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool saved = WriteFile(out, &file, sizeof file, &written, nullptr) && written == sizeof file &&
                 WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                 written == sizeof info.bmiHeader &&
                 WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr) &&
                 written == pixels.size();
    CloseHandle(out);
    if (!saved)
        DeleteFileA(path);
    return saved;
}

// Handles the sheet's messages until `done` says so or `limit` milliseconds have passed; true when done.
template <typename Done>
bool RunSheet(HWND sheet, DWORD limit, Done done)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsWindow(sheet) || !PropSheet_IsDialogMessage(sheet, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (done())
            return true;
        if (GetTickCount() - start >= limit)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM parameter)
{
    try {
        reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(parameter)->push_back(page);
        return TRUE;
    } catch (...) {
        return FALSE;  // the extension destroys a page it could not hand over
    }
}

// Shows the pages in a modeless sheet titled like the printers folder's own, saves a picture of
// it and cancels it. The sheet owns the pages from here on and destroys them with its window.
int ShowSheet(const char* printer, std::vector<HPROPSHEETPAGE>& pages, const char* image)
{
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS | PSH_PROPTITLE;
    header.hInstance = GetModuleHandleA(nullptr);
    header.pszCaption = printer;
    header.nPages = static_cast<UINT>(pages.size());
    header.phpage = pages.data();
    INT_PTR created = PropertySheetA(&header);
    if (created == 0 || created == -1) {
        std::fprintf(stderr, "zrdemo: cannot open the property sheet of %s (error %lu)\n", printer, GetLastError());
        return 1;
    }
    HWND sheet = reinterpret_cast<HWND>(created);
    SetWindowPos(sheet, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(sheet);

    int result = 1;
    if (RunSheet(sheet, 5000, [&] { return PropSheet_GetCurrentPageHwnd(sheet) != nullptr; })) {
        RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        // The display shows what was painted only once the X server has been given it.
        RunSheet(sheet, 500, [] { return false; });
        RECT area = {};
        GetWindowRect(sheet, &area);
        char full[MAX_PATH] = {};
        if (!GetFullPathNameA(image, sizeof full, full, nullptr))
            lstrcpynA(full, image, sizeof full);
        if (SaveScreenArea(area, image)) {
            std::printf("The Job Account page of %s: %ldx%ld picture saved to %s\n", printer,
                        static_cast<long>(area.right - area.left), static_cast<long>(area.bottom - area.top), full);
            result = 0;
        } else {
            std::fprintf(stderr, "zrdemo: cannot save a picture of the sheet to %s (error %lu)\n", full,
                         GetLastError());
        }
    } else {
        std::fprintf(stderr, "zrdemo: the property sheet of %s shows no page\n", printer);
    }

    // A modeless sheet only marks itself finished; its owner destroys the window.
    PropSheet_PressButton(sheet, PSBTN_CANCEL);
    RunSheet(sheet, 2000, [&] { return PropSheet_GetCurrentPageHwnd(sheet) == nullptr; });
    if (IsWindow(sheet))
        DestroyWindow(sheet);
    return result;
}

// Asks the module's property-sheet extension for the pages of `printer`, the way the printers
// folder does, and shows them.
int ShowPage(HMODULE module, const char* printer, const char* image)
{
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) {
        std::fprintf(stderr, "zrdemo: the module exports no DllGetClassObject\n");
        return 3;
    }
    HRESULT com = CoInitialize(nullptr);
    if (FAILED(com)) {
        std::fprintf(stderr, "zrdemo: cannot start COM (0x%08lx)\n", static_cast<unsigned long>(com));
        return 1;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    IClassFactory* factory = nullptr;
    IShellExtInit* init = nullptr;
    IShellPropSheetExt* extension = nullptr;
    IDataObject* data = CreatePrinterDataObject(printer);
    std::vector<HPROPSHEETPAGE> pages;
    HRESULT status = data ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(status))
        status = getClassObject(CLSID_JobAccountShellExt, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(status))
        status = factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    if (SUCCEEDED(status))
        status = init->Initialize(nullptr, data, nullptr);
    if (SUCCEEDED(status))
        status = init->QueryInterface(IID_IShellPropSheetExt, reinterpret_cast<void**>(&extension));
    if (SUCCEEDED(status))
        status = extension->AddPages(CollectPage, reinterpret_cast<LPARAM>(&pages));

    int result = 1;
    if (FAILED(status))
        std::fprintf(stderr, "zrdemo: the property-sheet extension failed (0x%08lx)\n",
                     static_cast<unsigned long>(status));
    else if (pages.empty())
        std::fprintf(stderr, "zrdemo: %s gets no Job Account page (is it a Tab-mode printer?)\n", printer);
    else
        result = ShowSheet(printer, pages, image);

    if (extension)
        extension->Release();
    if (init)
        init->Release();
    if (factory)
        factory->Release();
    if (data)
        data->Release();
    CoUninitialize();
    return result;
}

// The mode administration dialog, opened through the module's export; a thread timer, run by the
// dialog's own modal loop, takes its picture once it is painted and closes it.
struct ModesPicture {
    const char* image = nullptr;
    int ticks = 0;
    bool saved = false;
};
ModesPicture* CurrentModesPicture = nullptr;

BOOL CALLBACK FindModesDialog(HWND window, LPARAM found)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK PictureModesDialog(HWND, UINT, UINT_PTR, DWORD)
{
    ModesPicture* picture = CurrentModesPicture;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindModesDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!picture || !dialog || ++picture->ticks < 10)
        return;
    if (picture->ticks == 10) {
        SetWindowPos(dialog, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return;
    }
    RECT area = {};
    GetWindowRect(dialog, &area);
    picture->saved = SaveScreenArea(area, picture->image);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    CurrentModesPicture = nullptr;
}

int ShowModes(HMODULE module, const char* image)
{
    using EntryFn = INT_PTR(WINAPI*)(HWND, HINSTANCE, LPSTR, int);
    auto open = reinterpret_cast<EntryFn>(reinterpret_cast<void*>(GetProcAddress(module, "ChangeJobAccountMode")));
    if (!open) {
        std::fprintf(stderr, "zrdemo: the module exports no ChangeJobAccountMode\n");
        return 3;
    }
    ModesPicture picture;
    picture.image = image;
    CurrentModesPicture = &picture;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, PictureModesDialog);
    char none[] = "";
    open(nullptr, nullptr, none, SW_SHOW);
    KillTimer(nullptr, timer);
    CurrentModesPicture = nullptr;
    char full[MAX_PATH] = {};
    if (!GetFullPathNameA(image, sizeof full, full, nullptr))
        lstrcpynA(full, image, sizeof full);
    if (!picture.saved) {
        std::fprintf(stderr, "zrdemo: cannot save a picture of the mode administration dialog to %s\n", full);
        return 1;
    }
    std::printf("The mode administration dialog: picture saved to %s\n", full);
    return 0;
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
    LoadModuleSettingsOf(module);
    if (command == "install")
        Install();
    else if (command == "remove")
        Remove();
    else if (command == "page" && argc == 4) {
        int result = ShowPage(module, argv[2], argv[3]);
        FreeLibrary(module);
        return result;
    } else if (command == "files" && argc == 3) {
        int result = ShowDependentFiles(argv[2]);
        FreeLibrary(module);
        return result;
    } else if (command == "modes" && argc == 3) {
        int result = ShowModes(module, argv[2]);
        FreeLibrary(module);
        return result;
    } else if (command == "show") {
        ShowSettings();
        ShowPrinters(module);
        ShowDriverList();
    } else {
        std::fprintf(stderr, "usage: zrdemo install | show | remove | page \"<printer>\" <image.bmp> | modes <image.bmp> | files \"<driver>\"\n");
        return 2;
    }
    FreeLibrary(module);
    return 0;
}
