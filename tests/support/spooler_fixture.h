// Installs printer drivers and printers in the Wine prefix's real spooler, and removes them again.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

extern const char EnvNtX86[];
extern const char EnvX64[];
extern const char EnvWin40[];
// The environment of drivers that printers of this test program's width use: "Windows x64" in the
// x64 build, "Windows NT x86" in the 32-bit one.
extern const char* const EnvNative;
// The NT environment of the other width.
extern const char* const EnvOther;

struct DriverSpec {
    DriverSpec(std::string name_, std::vector<std::string> dependents = {},
               std::map<std::string, std::string> files_ = {})
        : name(std::move(name_)), dependentFiles(std::move(dependents)), files(std::move(files_))
    {
    }
    std::string name;
    std::vector<std::string> dependentFiles;
    // Contents of dependent files, written into the driver's directory after installation.
    std::map<std::string, std::string> files;
    std::string environment = EnvNative;
    DWORD version = 3;
    std::string driverFile = "zrtestdrv.dll";
};

// The directory the spooler keeps installed files of the environment and version in, with a
// trailing backslash.
std::string InstalledDriverDirectory(const std::string& environment, DWORD version);

class InstalledDriver {
public:
    explicit InstalledDriver(const DriverSpec& spec);
    ~InstalledDriver();
    InstalledDriver(const InstalledDriver&) = delete;
    InstalledDriver& operator=(const InstalledDriver&) = delete;

    const std::string& Name() const { return spec_.name; }
    const std::string& Directory() const { return directory_; }
    bool ok() const { return ok_; }

private:
    DriverSpec spec_;
    std::string directory_;
    bool ok_ = false;
};

class InstalledPrinter {
public:
    InstalledPrinter(const std::string& name, const std::string& driver);
    ~InstalledPrinter();
    InstalledPrinter(const InstalledPrinter&) = delete;
    InstalledPrinter& operator=(const InstalledPrinter&) = delete;
    const std::string& Name() const { return name_; }
    bool ok() const { return ok_; }

private:
    std::string name_;
    bool ok_ = false;
};

// A capability file declaring `driver` with JobAccount=1 (and a driver flag when given).
std::string CapabilityFile(const std::string& driver, int jobAccount = 1, int driverFlag = -1);

// Removes every driver and printer whose name starts with "ZR" left by an earlier crashed run.
void RemoveLeftoverTestDrivers();
