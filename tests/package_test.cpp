// The Windows Installer package, installed silently with msiexec as a fleet's deployment does it,
// into a fresh 64-bit prefix with printer drivers of both widths (tests/package_test.sh makes the
// prefix and an older build of the package, and runs this program there).
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <shlobj.h>
#include <winspool.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host_run.h"
#include "sandbox.h"
#include "spooler_fixture.h"

namespace {

const char Kit[] = "C:\\zrpackage\\";  // the packages and the administrator's files
const char SettingsKey[] = "SOFTWARE\\Tavrodata\\TAVRO Jobtally Client";
const char Cap[] = "TVPKGDRV.CAP";

std::string KnownFolder(int folder)
{
    char path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    return std::string(path) + "\\TAVRO Jobtally Client\\";
}

const std::string Folder64 = KnownFolder(CSIDL_PROGRAM_FILES);
const std::string Folder32 = KnownFolder(CSIDL_PROGRAM_FILESX86);

DWORD Msiexec(const std::string& arguments)
{
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof system);
    ProgramRun run = RunProgram(std::string(system) + "\\msiexec.exe", arguments, Kit);
    return run.exitCode;
}

// A registry value of the module's key in one view ("(none)" when missing).
std::string SettingsValue(REGSAM view, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "(no key)";
    char value[MAX_PATH] = {};
    DWORD size = sizeof value - 1;
    const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(value) : "(none)";
}

bool SettingsKeyExists(REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The PE machine of a module file: 0x14c for a 32-bit one, 0x8664 for x64, 0 when unreadable.
WORD Machine(const std::string& path)
{
    const std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 64)
        return 0;
    const DWORD header = *reinterpret_cast<const DWORD*>(bytes.data() + 60);
    if (bytes.size() < header + 6)
        return 0;
    return *reinterpret_cast<const WORD*>(bytes.data() + header + 4);
}

// The file names among a driver's dependent files, sorted; "(no driver)" when it is not installed.
std::vector<std::string> DependentNames(const std::string& driver, const char* environment)
{
    DWORD needed = 0, returned = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, nullptr, 0, &needed, &returned);
    std::vector<BYTE> block(needed ? needed : 1);
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, block.data(), needed, &needed, &returned))
        return {"(no list)"};
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(block.data());
    for (DWORD i = 0; i < returned; ++i) {
        if (driver != drivers[i].pName)
            continue;
        std::vector<std::string> names;
        for (const char* file = drivers[i].pDependentFiles; file && *file; file += strlen(file) + 1) {
            const char* slash = strrchr(file, '\\');
            std::string name = slash ? slash + 1 : file;
            CharLowerBuffA(name.data(), static_cast<DWORD>(name.size()));
            names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    return {"(no driver)"};
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    for (std::string& name : names)
        CharLowerBuffA(name.data(), static_cast<DWORD>(name.size()));
    std::sort(names.begin(), names.end());
    return names;
}

std::string ProfileText(const std::string& file, const char* section, const char* key)
{
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, file.c_str());
    return value;
}

// The versions of the installed products named as the package's. Found by name: Wine's removal of
// an older version takes the upgrade code's whole registration with it, the newer product's too.
std::vector<std::string> InstalledVersions()
{
    std::vector<std::string> versions;
    char product[39] = {};
    for (DWORD i = 0; MsiEnumProductsA(i, product) == ERROR_SUCCESS; ++i) {
        char name[128] = {}, version[64] = {};
        DWORD nameSize = sizeof name, versionSize = sizeof version;
        MsiGetProductInfoA(product, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, name, &nameSize);
        if (std::string(name) != "TAVRO Jobtally Client")
            continue;
        MsiGetProductInfoA(product, INSTALLPROPERTY_VERSIONSTRING, version, &versionSize);
        versions.push_back(version);
    }
    return versions;
}

// After an uninstallation nothing of the package is left: no folder, no registry value in either
// view, no registration.
void ExpectNothingLeft()
{
    for (const std::string& folder : {Folder64, Folder32})
        EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES) << folder << " is left";
    EXPECT_FALSE(SettingsKeyExists(KEY_WOW64_64KEY)) << "the 64-bit view's key is left";
    EXPECT_FALSE(SettingsKeyExists(KEY_WOW64_32KEY)) << "the 32-bit view's key is left";
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{});
}

std::string Log(const char* name) { return ReadFileBytes(std::string(Kit) + name); }

}  // namespace

TEST(Package, InstallsSilentlySwitchesEveryDriverImportsAndUninstallsWithoutTrace)
{
    const std::string capability = "[Capability]\r\nZR Pkg Tab=M\r\nZR Pkg Plain=M\r\nZR Pkg X86=M\r\n[M]\r\nJobAccount=1\r\n";
    InstalledDriver tab(DriverSpec{"ZR Pkg Tab", {Cap, "vtjobac1.dat", "notes.txt"},
                                   {{Cap, capability}, {"vtjobac1.dat", ""}, {"notes.txt", "theirs"}}});
    // Its files are the Tab driver's (one driver directory), so that its removal below leaves them.
    auto plain = std::make_unique<InstalledDriver>(DriverSpec{"ZR Pkg Plain", {Cap, "notes.txt"}});
    InstalledDriver foreign(DriverSpec{"ZR Pkg Foreign", {"notes.txt"}, {{"notes.txt", "theirs"}}});
    DriverSpec x86Spec{"ZR Pkg X86", {Cap, "notes.txt"}, {{Cap, capability}, {"notes.txt", "theirs"}}};
    x86Spec.environment = EnvNtX86;
    InstalledDriver x86(x86Spec);
    ASSERT_TRUE(tab.ok() && plain->ok() && foreign.ok() && x86.ok());
    const std::string strings = "[string]\r\nAppName=Fleet Accounting\r\n";
    WriteFileBytes(std::string(Kit) + "fleet.str", strings);
    WriteFileBytes(std::string(Kit) + "ids.csv", "alice,101\r\nDOMAIN\\bob,202,Bob B\r\n");

    ASSERT_EQ(Msiexec("/i current.msi /qn MODE=hide ALLDRIVERS=1 IDFILE=C:\\zrpackage\\ids.csv "
                      "STRINGFILE=C:\\zrpackage\\fleet.str /l*v install.log"),
              0u)
        << Log("install.log");

    // The files of both widths, the administrator's string file beside each module.
    for (const char* name : {"zrlogext.dll", "jobacct.exe", "vtjobac1.dat", "vtjobac2.dat", "vtjobac4.dat"})
        EXPECT_NE(GetFileAttributesA((Folder64 + name).c_str()), INVALID_FILE_ATTRIBUTES) << Folder64 << name;
    for (const char* name : {"zrlogext.dll", "vtjobac1.dat", "vtjobac2.dat", "vtjobac4.dat"})
        EXPECT_NE(GetFileAttributesA((Folder32 + name).c_str()), INVALID_FILE_ATTRIBUTES) << Folder32 << name;
    EXPECT_EQ(ReadFileBytes(Folder64 + "zrlogext.dll"), ReadFileBytes(ProgramDirectory() + "zrlogext.dll"));
    EXPECT_EQ(ReadFileBytes(Folder64 + "jobacct.exe"), ReadFileBytes(ProgramDirectory() + "jobacct.exe"));
    EXPECT_EQ(Machine(Folder32 + "zrlogext.dll"), IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(ReadFileBytes(Folder64 + "zrjobacs.str"), strings);
    EXPECT_EQ(ReadFileBytes(Folder32 + "zrjobacs.str"), strings);
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        EXPECT_EQ(SettingsValue(view, "ModPath64"), Folder64) << "view " << view;
        EXPECT_EQ(SettingsValue(view, "ModPath32"), Folder32) << "view " << view;
    }

    // Every supporting driver of either width is in Hide mode with the module of its width beside
    // it; the driver without job accounting is untouched.
    const std::vector<std::string> hidden = Sorted({Cap, "notes.txt", "vtjobac4.dat", "zrjobacs.str", "zrlogext.dll"});
    EXPECT_EQ(DependentNames("ZR Pkg Tab", EnvX64), hidden);
    EXPECT_EQ(DependentNames("ZR Pkg Plain", EnvX64), hidden);
    EXPECT_EQ(DependentNames("ZR Pkg X86", EnvNtX86), hidden);
    EXPECT_EQ(DependentNames("ZR Pkg Foreign", EnvX64), Sorted({"notes.txt"}));
    EXPECT_EQ(Machine(tab.Directory() + "zrlogext.dll"), IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(Machine(x86.Directory() + "zrlogext.dll"), IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(ReadFileBytes(x86.Directory() + "zrjobacs.str"), strings);

    // The ID file went into the master copy and from there to every Hide-mode driver.
    for (const std::string& copy : {Folder64 + "vtjobac4.dat", tab.Directory() + "vtjobac4.dat", x86.Directory() + "vtjobac4.dat"}) {
        EXPECT_EQ(ProfileText(copy, "JobAccountID", "alice"), "101") << copy;
        EXPECT_EQ(ProfileText(copy, "JobAccountID", "DOMAIN\\bob"), "202,Bob B") << copy;
    }
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{"1.0.0"});

    // A driver removed since cannot be switched back: the log says so and the removal goes on.
    plain.reset();
    ASSERT_EQ(Msiexec("/x current.msi /qn /l*v uninstall.log"), 0u) << Log("uninstall.log");
    const std::string log = Log("uninstall.log");
    EXPECT_NE(log.find("the driver \"ZR Pkg Plain\""), std::string::npos) << log;
    EXPECT_NE(log.find("could not be returned to No Support"), std::string::npos) << log;
    EXPECT_EQ(DependentNames("ZR Pkg Tab", EnvX64), Sorted({Cap, "notes.txt"}));
    EXPECT_EQ(DependentNames("ZR Pkg X86", EnvNtX86), Sorted({Cap, "notes.txt"}));
    EXPECT_EQ(DependentNames("ZR Pkg Foreign", EnvX64), Sorted({"notes.txt"}));
    for (const std::string& directory : {tab.Directory(), x86.Directory()})
        for (const char* name : {"zrlogext.dll", "zrjobacs.str", "vtjobac4.dat"})
            EXPECT_EQ(GetFileAttributesA((directory + name).c_str()), INVALID_FILE_ATTRIBUTES) << directory << name;
    EXPECT_NE(GetFileAttributesA((tab.Directory() + "vtjobac1.dat").c_str()), INVALID_FILE_ATTRIBUTES)
        << "a file the package did not put there stays";
    ExpectNothingLeft();
}

TEST(Package, AnUpgradeReplacesTheFilesAndKeepsTheAdministratorsStringFileAndMasterCopy)
{
    ASSERT_EQ(Msiexec("/i older.msi /qn /l*v older.log"), 0u) << Log("older.log");
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{"0.9.0"});
    const std::string edited = "[string]\r\nAppName=Edited here\r\n";
    const std::string master = "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nkept=5\r\n";
    WriteFileBytes(Folder64 + "zrjobacs.str", edited);
    WriteFileBytes(Folder32 + "zrjobacs.str", edited);
    WriteFileBytes(Folder64 + "vtjobac4.dat", master);

    ASSERT_EQ(Msiexec("/i current.msi /qn /l*v upgrade.log"), 0u) << Log("upgrade.log");
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{"1.0.0"}) << "the older build is replaced";
    EXPECT_EQ(ReadFileBytes(Folder64 + "zrjobacs.str"), edited);
    EXPECT_EQ(ReadFileBytes(Folder32 + "zrjobacs.str"), edited);
    EXPECT_EQ(ReadFileBytes(Folder64 + "vtjobac4.dat"), master);
    EXPECT_EQ(ReadFileBytes(Folder64 + "zrlogext.dll"), ReadFileBytes(ProgramDirectory() + "zrlogext.dll"));
    EXPECT_EQ(ReadFileBytes(Folder64 + "jobacct.exe"), ReadFileBytes(ProgramDirectory() + "jobacct.exe"));
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        EXPECT_EQ(SettingsValue(view, "ModPath32"), Folder32) << "view " << view;

    ASSERT_EQ(Msiexec("/x current.msi /qn /l*v removal.log"), 0u) << Log("removal.log");
    ExpectNothingLeft();
}
