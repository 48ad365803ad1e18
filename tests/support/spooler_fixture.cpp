#include "spooler_fixture.h"

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include "sandbox.h"

const char EnvNtX86[] = "Windows NT x86";
const char EnvX64[] = "Windows x64";
const char EnvWin40[] = "Windows 4.0";
const char* const EnvNative = sizeof(void*) == 8 ? EnvX64 : EnvNtX86;
const char* const EnvOther = sizeof(void*) == 8 ? EnvNtX86 : EnvX64;

namespace {

std::string DriverSourceDirectory(const std::string& environment)
{
    char dir[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment.c_str()), 1, reinterpret_cast<BYTE*>(dir),
                               sizeof dir, &needed);
    return std::string(dir) + "\\";
}

}  // namespace

std::string InstalledDriverDirectory(const std::string& environment, DWORD version)
{
    return DriverSourceDirectory(environment) + std::to_string(version) + "\\";
}

InstalledDriver::InstalledDriver(const DriverSpec& spec) : spec_(spec)
{
    // Wine stores an NT driver of version 2 as version 3.
    DWORD storedVersion = spec.environment == EnvWin40 ? 0 : 3;
    directory_ = InstalledDriverDirectory(spec.environment, storedVersion);
    std::string source = DriverSourceDirectory(spec.environment);
    CreateDirectoryA(source.c_str(), nullptr);
    CreateDirectoryA(directory_.c_str(), nullptr);
    WriteFileBytes(source + spec.driverFile, "");

    std::string dependents;
    for (const std::string& file : spec.dependentFiles)
        dependents += file + '\0';
    dependents += '\0';

    DRIVER_INFO_3A info = {};
    info.cVersion = spec.version;
    info.pName = const_cast<char*>(spec.name.c_str());
    info.pEnvironment = const_cast<char*>(spec.environment.c_str());
    info.pDriverPath = const_cast<char*>(spec.driverFile.c_str());
    info.pDataFile = info.pDriverPath;
    info.pConfigFile = info.pDriverPath;
    info.pDependentFiles = spec.dependentFiles.empty() ? nullptr : dependents.data();
    ok_ = AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES) != FALSE;
    EXPECT_TRUE(ok_) << "AddPrinterDriverEx " << spec.name << " error " << GetLastError();

    for (const auto& [file, contents] : spec.files)
        WriteFileBytes(file.find('\\') == std::string::npos ? directory_ + file : file, contents);
}

InstalledDriver::~InstalledDriver()
{
    if (ok_ && !DeletePrinterDriverA(nullptr, const_cast<char*>(spec_.environment.c_str()),
                                     const_cast<char*>(spec_.name.c_str())))
        ADD_FAILURE() << "DeletePrinterDriver " << spec_.name << " error " << GetLastError();
    for (const auto& entry : spec_.files)
        if (entry.first.find('\\') == std::string::npos)
            DeleteFileA((directory_ + entry.first).c_str());
}

InstalledPrinter::InstalledPrinter(const std::string& name, const std::string& driver) : name_(name)
{
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<char*>(name.c_str());
    info.pPortName = const_cast<char*>("FILE:");
    info.pDriverName = const_cast<char*>(driver.c_str());
    info.pPrintProcessor = const_cast<char*>("winprint");
    info.pDatatype = const_cast<char*>("RAW");
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    ok_ = printer != nullptr;
    EXPECT_TRUE(ok_) << "AddPrinter " << name << " error " << GetLastError();
    if (printer)
        ClosePrinter(printer);
}

InstalledPrinter::~InstalledPrinter()
{
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (ok_ && OpenPrinterA(const_cast<char*>(name_.c_str()), &printer, &defaults)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
}

std::string CapabilityFile(const std::string& driver, int jobAccount, int driverFlag)
{
    std::string text = "[Capability]\r\n" + driver + "=Model\r\n[Model]\r\nJobAccount=" + std::to_string(jobAccount) +
                       "\r\n";
    if (driverFlag >= 0)
        text += "JobAccountDrvFlag=" + std::to_string(driverFlag) + "\r\n";
    return text;
}

void RemoveLeftoverTestDrivers()
{
    DWORD needed = 0, returned = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (needed) {
        std::vector<BYTE> block(needed);
        if (EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, block.data(), needed, &needed, &returned)) {
            auto* printers = reinterpret_cast<PRINTER_INFO_2A*>(block.data());
            for (DWORD i = 0; i < returned; ++i) {
                if (strncmp(printers[i].pPrinterName, "ZR", 2) != 0)
                    continue;
                PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
                HANDLE printer = nullptr;
                if (OpenPrinterA(printers[i].pPrinterName, &printer, &defaults)) {
                    DeletePrinter(printer);
                    ClosePrinter(printer);
                }
            }
        }
    }
    needed = returned = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>("all"), 3, nullptr, 0, &needed, &returned);
    if (!needed)
        return;
    std::vector<BYTE> block(needed);
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>("all"), 3, block.data(), needed, &needed, &returned))
        return;
    auto* drivers = reinterpret_cast<DRIVER_INFO_3A*>(block.data());
    for (DWORD i = 0; i < returned; ++i)
        if (strncmp(drivers[i].pName, "ZR", 2) == 0)
            DeletePrinterDriverA(nullptr, drivers[i].pEnvironment, drivers[i].pName);
}
