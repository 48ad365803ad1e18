// Copying the master printer settings file to the Hide-mode drivers.
#include <gtest/gtest.h>

#include <cstring>

#include "idlist/driver_list.h"
#include "idlist/propagate.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

const char Cap[] = "TVPROP01.CAP";

DriverSpec Driver(const std::string& name, const char* dataFile, const char* environment)
{
    DriverSpec spec{name, {Cap, dataFile},
                    {{Cap, "[Capability]\r\nZR HideA=M\r\nZR HideB=M\r\nZR HideWide=M\r\nZR Tab95=M\r\n"
                           "[M]\r\nJobAccount=1\r\n"}}};
    spec.environment = environment;
    spec.version = std::string(environment) == EnvWin40 ? 0 : 3;
    return spec;
}

// Two Hide drivers sharing the x86 directory, one Hide driver in the x64 directory and a Tab
// driver in the 4.0 directory.
struct Drivers {
    InstalledDriver hideA{Driver("ZR HideA", "vtjobac4.dat", EnvNtX86)};
    InstalledDriver hideB{Driver("ZR HideB", "vtjobac4.dat", EnvNtX86)};
    InstalledDriver hideWide{Driver("ZR HideWide", "vtjobac4.dat", EnvX64)};
    InstalledDriver tab{Driver("ZR Tab95", "vtjobac1.dat", EnvWin40)};
    DriverList list = {};

    Drivers()
    {
        for (const std::string& dir : Directories())
            DeleteFileA((dir + "vtjobac4.dat").c_str());
        WriteFileBytes(tab.Directory() + "vtjobac4.dat", "old");
        BuildDriverList(nullptr, &list);
    }
    ~Drivers()
    {
        ReleaseDriverList(&list);
        for (const std::string& dir : Directories()) {
            SetFileAttributesA((dir + "vtjobac4.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA((dir + "vtjobac4.dat").c_str());
        }
    }
    std::vector<std::string> Directories() const
    {
        return {hideA.Directory(), hideWide.Directory(), tab.Directory()};
    }
};

}  // namespace

TEST(PropagateSettingsFile, ReachesEveryHideDriverAndNoOther)
{
    ModuleSandbox sandbox;
    Drivers drivers;
    std::string master = sandbox.Directory() + "vtjobac4.dat";
    WriteFileBytes(master, "[JobAccount]\r\nMode=4\r\n");

    EXPECT_EQ(PropagateSettingsFile(&drivers.list, nullptr), 1);
    EXPECT_EQ(ReadFileBytes(drivers.hideA.Directory() + "vtjobac4.dat"), ReadFileBytes(master));
    EXPECT_EQ(ReadFileBytes(drivers.hideWide.Directory() + "vtjobac4.dat"), ReadFileBytes(master));
    EXPECT_EQ(ReadFileBytes(drivers.tab.Directory() + "vtjobac4.dat"), "old");
}

TEST(PropagateSettingsFile, ValuesJustWrittenThroughTheProfileAreInEveryCopy)
{
    ModuleSandbox sandbox;
    Drivers drivers;
    std::string source = sandbox.Directory() + "prepared.dat";
    WriteFileBytes(source, "[JobAccount]\r\nMode=4\r\n");
    WritePrivateProfileStringA("JobAccountID", "jdoe", "1234,John", source.c_str());
    WritePrivateProfileStringA("JobAccount", "Mode", "6", source.c_str());

    EXPECT_EQ(PropagateSettingsFile(&drivers.list, source.c_str()), 1);
    for (const std::string& dir : {drivers.hideA.Directory(), drivers.hideWide.Directory()}) {
        std::string copy = ReadFileBytes(dir + "vtjobac4.dat");
        EXPECT_NE(copy.find("jdoe=1234,John"), std::string::npos) << dir << ":\n" << copy;
        EXPECT_NE(copy.find("Mode=6"), std::string::npos) << dir;
    }
}

TEST(PropagateSettingsFile, ReadOnlyTargetIsOverwritten)
{
    ModuleSandbox sandbox;
    Drivers drivers;
    std::string master = sandbox.Directory() + "vtjobac4.dat";
    WriteFileBytes(master, "[JobAccount]\r\nMode=5\r\n");
    std::string target = drivers.hideA.Directory() + "vtjobac4.dat";
    WriteFileBytes(target, "stale");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(PropagateSettingsFile(&drivers.list, nullptr), 1);
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(master));
    EXPECT_FALSE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST(PropagateSettingsFile, AllDriversMode)
{
    struct Row {
        const char* name;
        DWORD allMode;
        int copies;
    } rows[] = {{"registry AllMode 3", 3, 1}, {"registry AllMode 1", 1, 0}};
    for (const Row& row : rows) {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile("AllMode=1\r\n"));
        SetRegistryDword(sandbox.RegistryRoot(), "AllFlag", 1);
        SetRegistryDword(sandbox.RegistryRoot(), "AllMode", row.allMode);
        Drivers drivers;
        DeleteFileA((drivers.tab.Directory() + "vtjobac4.dat").c_str());
        WriteFileBytes(sandbox.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");

        EXPECT_EQ(PropagateSettingsFile(&drivers.list, nullptr), 1) << row.name;
        int copies = 0;
        for (const std::string& dir : drivers.Directories())
            copies += FileExists(dir + "vtjobac4.dat");
        EXPECT_EQ(copies, row.copies) << row.name;
        if (row.copies) {
            char first[MAX_PATH] = {};
            strcpy(first, DriverEntry(drivers.list, 0)->pDriverPath);
            *strrchr(first, '\\') = '\0';
            EXPECT_TRUE(FileExists(std::string(first) + "\\vtjobac4.dat")) << "the copy lies in entry 0's directory";
        }
    }
}

TEST(PropagateSettingsFile, FailedCopyIsReportedAndTheOthersStillRun)
{
    ModuleSandbox sandbox;
    Drivers drivers;
    EXPECT_EQ(PropagateSettingsFile(&drivers.list, (sandbox.Directory() + "missing.dat").c_str()), 0);

    std::string source = sandbox.Directory() + "good.dat";
    WriteFileBytes(source, "[JobAccount]\r\nMode=4\r\n");
    // Entries in Hide mode whose directory does not exist make their copies fail, not the others.
    DriverList broken = drivers.list;
    std::vector<DWORD> modes(drivers.list.Modes, drivers.list.Modes + DriverEntryCount(drivers.list));
    std::vector<BYTE> records(drivers.list.Drivers, drivers.list.Drivers + drivers.list.NtBytes + drivers.list.Win40Bytes);
    broken.Drivers = records.data();
    broken.Modes = modes.data();
    std::string missingDir = "C:\\zrtest\\no such directory\\drv.dll";
    for (DWORD i = 0; i < DriverEntryCount(broken); ++i)
        if (strcmp(DriverEntry(broken, i)->pName, "ZR HideA") == 0)
            const_cast<DRIVER_INFO_3A*>(DriverEntry(broken, i))->pDriverPath = missingDir.data();
    EXPECT_EQ(PropagateSettingsFile(&broken, source.c_str()), 0);
    EXPECT_TRUE(FileExists(drivers.hideWide.Directory() + "vtjobac4.dat"));
}

TEST(PropagateSettingsFile, AMasterCopyThatIsADriversCopyCountsAsDone)
{
    // The module is one of a Hide driver's dependent files: run from that driver's directory, its
    // master copy is the driver's copy, spelled as the loader happened to spell the directory.
    struct Row {
        const char* name;
        std::string (*spell)(const std::string& directory);
    } rows[] = {
        {"other letter case",
         [](const std::string& d) {
             std::string upper = d;
             CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
             return upper;
         }},
        {"with a dot segment", [](const std::string& d) { return d + ".\\"; }},
    };
    for (const Row& row : rows) {
        ModuleSandbox sandbox;
        Drivers drivers;
        const std::string contents = "[JobAccount]\r\nMode=5\r\nJobAccountID=42\r\n";
        std::string own = drivers.hideA.Directory() + "vtjobac4.dat";
        WriteFileBytes(own, contents);
        std::string spelled = row.spell(drivers.hideA.Directory());
        ASSERT_LT(spelled.size(), sizeof Module.ModuleDirectory);
        strcpy(Module.ModuleDirectory, spelled.c_str());

        EXPECT_EQ(PropagateSettingsFile(&drivers.list, nullptr), 1) << row.name;
        EXPECT_EQ(ReadFileBytes(own), contents) << row.name;
        EXPECT_EQ(ReadFileBytes(drivers.hideWide.Directory() + "vtjobac4.dat"), contents) << row.name;
    }
}

TEST(PropagateSettingsFile, NothingToDo)
{
    ModuleSandbox sandbox;
    DriverList empty = {};
    EXPECT_EQ(PropagateSettingsFile(&empty, nullptr), 1);
}

TEST(ClearReadOnly, Results)
{
    std::string dir = FreshTestDirectory();
    EXPECT_EQ(ClearReadOnly((dir + "missing").c_str()), 0);
    WriteFileBytes(dir + "plain", "x");
    EXPECT_EQ(ClearReadOnly((dir + "plain").c_str()), 1);
    WriteFileBytes(dir + "locked", "x");
    SetFileAttributesA((dir + "locked").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(ClearReadOnly((dir + "locked").c_str()), 1);
    DWORD attributes = GetFileAttributesA((dir + "locked").c_str());
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_ARCHIVE) << "other attributes stay";
}
