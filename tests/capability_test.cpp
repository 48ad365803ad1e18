// Which drivers declare job accounting, and the mode a printer's driver runs in.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "iat_hook.h"
#include "capability/driver_capability.h"
#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

namespace {

const DWORD Untouched = 0xAAAAAAAAu;

struct CapabilityCase {
    const char* name;
    std::vector<std::string> dependents;
    bool supported;
    DWORD mode;        // Untouched: not written
    DWORD flag;        // Untouched: not written
    const char* path;  // file name the settings path ends in; "" when not written
};

// A level-3 record for "ZR Model" whose driver path lies in `dir`.
struct FakeDriver {
    std::string driverPath;
    std::string dependents;
    DRIVER_INFO_3A info = {};

    FakeDriver(const std::string& dir, const std::vector<std::string>& files)
    {
        driverPath = dir + "model.dll";
        for (const std::string& f : files)
            dependents += f + '\0';
        dependents += '\0';
        info.cVersion = 3;
        info.pName = const_cast<char*>("ZR Model");
        info.pEnvironment = const_cast<char*>("Windows NT x86");
        info.pDriverPath = driverPath.data();
        info.pDependentFiles = dependents.data();
    }
};

}  // namespace

TEST(ReadDriverCapability, DeclarationsAndTheirOrder)
{
    std::string dir = FreshTestDirectory();
    WriteFileBytes(dir + "TV123456.CAP", CapabilityFile("ZR Model"));
    WriteFileBytes(dir + "TVFLAG01.CAP", CapabilityFile("ZR Model", 1, 5));
    WriteFileBytes(dir + "TVOFF001.CAP", CapabilityFile("ZR Model", 0));
    WriteFileBytes(dir + "TVOTHER1.CAP", CapabilityFile("ZR Other Model"));
    WriteFileBytes(dir + "TVFAR001.CAP", CapabilityFile("ZR Model", 1, 9));
    std::string elsewhere = FreshTestDirectory("elsewhere");
    WriteFileBytes(elsewhere + "TVFAR001.CAP", CapabilityFile("ZR Model", 1, 9));

    const CapabilityCase cases[] = {
        {"capability file and popup data file", {"TV123456.CAP", "vtjobac2.dat"}, true, 2, 0, "vtjobac2.dat"},
        {"capability without data file", {"TV123456.CAP"}, true, 0, 0, ""},
        {"data file without capability", {"vtjobac1.dat"}, false, Untouched, Untouched, "vtjobac1.dat"},
        {"older form and hide data file", {"VT010001.CAP", "vtjobac4.dat"}, true, 3, Untouched, "vtjobac4.dat"},
        {"older form, last digit 0", {"VT010000.CAP", "vtjobac1.dat"}, false, Untouched, Untouched, "vtjobac1.dat"},
        {"older form, number 2", {"VT020001.CAP", "vtjobac1.dat"}, false, Untouched, Untouched, "vtjobac1.dat"},
        {"older form, hex digit", {"VT01000A.CAP", "vtjobac1.dat"}, true, 1, Untouched, "vtjobac1.dat"},
        {"older form, not hex", {"VT01000G.CAP", "vtjobac1.dat"}, false, Untouched, Untouched, "vtjobac1.dat"},
        {"driver flag", {"TVFLAG01.CAP", "vtjobac1.dat"}, true, 1, 5, "vtjobac1.dat"},
        {"later JobAccount 0 cancels", {"TV123456.CAP", "TVOFF001.CAP", "vtjobac1.dat"}, false, Untouched, Untouched,
         "vtjobac1.dat"},
        {"cancelling drops the flag", {"TVFLAG01.CAP", "TVOFF001.CAP", "vtjobac1.dat"}, false, Untouched, Untouched,
         "vtjobac1.dat"},
        {"older form after a cancel brings no flag back", {"TVFLAG01.CAP", "TVOFF001.CAP", "VT010001.CAP",
                                                           "vtjobac1.dat"}, true, 1, Untouched, "vtjobac1.dat"},
        {"the last declaration's flag", {"TVFLAG01.CAP", "TVFAR001.CAP", "vtjobac1.dat"}, true, 1, 9, "vtjobac1.dat"},
        {"older form keeps the flag already declared", {"TVFLAG01.CAP", "VT010001.CAP", "vtjobac1.dat"}, true, 1, 5,
         "vtjobac1.dat"},
        {"older form sets it again", {"TVOFF001.CAP", "VT010001.CAP", "vtjobac1.dat"}, true, 1, Untouched,
         "vtjobac1.dat"},
        {"JobAccount 0 cancels the older form", {"VT010001.CAP", "TVOFF001.CAP"}, false, Untouched, Untouched, ""},
        {"file without the driver changes nothing", {"VT010001.CAP", "TVOTHER1.CAP", "vtjobac2.dat"}, true, 2,
         Untouched, "vtjobac2.dat"},
        {"later data file wins", {"vtjobac1.dat", "TV123456.CAP", "vtjobac4.dat"}, true, 3, 0,
         "vtjobac4.dat"},
        {"names compared ignoring case", {"tv123456.cap", "VTJOBAC2.DAT"}, true, 2, 0, "VTJOBAC2.DAT"},
        {"full path entry", {elsewhere + "TVFAR001.CAP", elsewhere + "vtjobac4.dat"}, true, 3, 9, "vtjobac4.dat"},
        {"too short for a capability name", {"TV12.CAP", "vtjobac1.dat"}, false, Untouched, Untouched,
         "vtjobac1.dat"},
        {"overlong entry", {std::string(600, 'A') + ".CAP", "VT010001.CAP"}, true, 0, Untouched, ""},
    };
    for (const CapabilityCase& c : cases) {
        FakeDriver driver(dir, c.dependents);
        DWORD mode = Untouched, flag = Untouched;
        char path[MAX_PATH + 1];
        memset(path, 0x5A, sizeof path);
        path[0] = '\0';
        EXPECT_EQ(ReadDriverCapability(&driver.info, &mode, &flag, path), c.supported) << c.name;
        EXPECT_EQ(mode, c.mode) << c.name;
        EXPECT_EQ(flag, c.flag) << c.name;
        std::string got = path;
        std::string expected = c.path;
        EXPECT_TRUE(expected.empty() ? got.empty() : got.size() >= expected.size() &&
                                                          got.compare(got.size() - expected.size(), expected.size(),
                                                                      expected) == 0)
            << c.name << ": " << got;
        EXPECT_EQ(path[MAX_PATH], 0x5A) << c.name << ": wrote past 260 characters";
    }
}

TEST(ReadDriverCapability, APathThatDoesNotFitNamesNoFile)
{
    // Driver directories deep enough that the directory and a 12-character name take `length`
    // characters. Past the limit only the name a cut path would give exists, declaring support.
    struct Row {
        const char* name;
        size_t length;
        bool supported;
    } rows[] = {
        {"exactly at the limit", MAX_PATH - 1, true},
        {"one past the limit", MAX_PATH, false},
    };
    for (const Row& row : rows) {
        std::string base = FreshTestDirectory(std::to_string(row.length));
        std::string dir = base + std::string(row.length - 12 - base.size() - 1, 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << row.name;
        std::string capability = dir + "TVLONG01.CAP";
        ASSERT_EQ(capability.size(), row.length);
        WriteFileBytes(capability.substr(0, MAX_PATH - 1), CapabilityFile("ZR Model"));
        WriteFileBytes(dir + "vtjobac1.da", "");

        for (bool fullPathEntry : {false, true}) {
            std::string label = std::string(row.name) + (fullPathEntry ? ", full path entries" : ", bare names");
            FakeDriver driver(fullPathEntry ? base : dir,
                              fullPathEntry ? std::vector<std::string>{capability, dir + "vtjobac1.dat"}
                                            : std::vector<std::string>{"TVLONG01.CAP", "vtjobac1.dat"});
            DWORD mode = Untouched;
            char path[MAX_PATH + 1];
            memset(path, 0x5A, sizeof path);
            path[0] = '\0';
            EXPECT_EQ(ReadDriverCapability(&driver.info, &mode, nullptr, path), row.supported) << label;
            EXPECT_EQ(mode, row.supported ? 1u : Untouched) << label;
            EXPECT_EQ(std::string(path), row.supported ? dir + "vtjobac1.dat" : "") << label;
            EXPECT_EQ(path[MAX_PATH], 0x5A) << label;
        }
    }
}

TEST(ReadDriverCapability, BareNamesLieInTheDriverDirectory)
{
    std::string dir = FreshTestDirectory();
    WriteFileBytes(dir + "TV123456.CAP", CapabilityFile("ZR Model"));
    FakeDriver driver(dir, {"TV123456.CAP", "vtjobac4.dat"});
    char path[MAX_PATH] = {};
    DWORD mode = 0;
    EXPECT_TRUE(ReadDriverCapability(&driver.info, &mode, nullptr, path));
    EXPECT_EQ(std::string(path), dir + "vtjobac4.dat");
}

TEST(ReadDriverCapability, NothingToRead)
{
    std::string dir = FreshTestDirectory();
    FakeDriver empty(dir, {});
    DWORD mode = Untouched;
    EXPECT_FALSE(ReadDriverCapability(&empty.info, &mode, nullptr, nullptr));
    empty.info.pDependentFiles = nullptr;
    EXPECT_FALSE(ReadDriverCapability(&empty.info, &mode, nullptr, nullptr));
    EXPECT_FALSE(ReadDriverCapability(nullptr, &mode, nullptr, nullptr));
    EXPECT_EQ(mode, Untouched);
}

TEST(ReadDriverCapability, HeaderComesFromTheStringFileAndIsCaseSensitive)
{
    std::string dir = FreshTestDirectory("drivers");
    WriteFileBytes(dir + "MF123456.CAP", CapabilityFile("ZR Model"));
    FakeDriver driver(dir, {"mf123456.cap", "vtjobac1.dat"});
    {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile("MfHeader=MF\r\n"));
        EXPECT_TRUE(ReadDriverCapability(&driver.info, nullptr, nullptr, nullptr));
    }
    {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile("MfHeader=mf\r\n"));
        EXPECT_FALSE(ReadDriverCapability(&driver.info, nullptr, nullptr, nullptr))
            << "names are upper-cased, so a lower-case header never matches";
    }
}

namespace {

// A printer whose driver carries the given dependent files.
struct TestPrinter {
    InstalledDriver driver;
    InstalledPrinter printer;
    TestPrinter(const std::string& name, const std::vector<std::string>& dependents,
                const std::map<std::string, std::string>& files)
        : driver(DriverSpec{name, dependents, files}), printer(name + " P", name)
    {
    }
};

}  // namespace

TEST(DetectDriverMode, FromTheDriversDependentFiles)
{
    const char* cap = "TVDETECT.CAP";
    std::map<std::string, std::string> files = {
        {cap, "[Capability]\r\nZR Tab=M\r\nZR Popup=M\r\nZR Hide=H\r\nZR NoData=M\r\nZR Long=M\r\n"
              "[M]\r\nJobAccount=1\r\n[H]\r\nJobAccount=1\r\nJobAccountDrvFlag=3\r\n"},
    };
    TestPrinter tab("ZR Tab", {cap, "vtjobac1.dat"}, files);
    TestPrinter popup("ZR Popup", {cap, "vtjobac2.dat"}, files);
    TestPrinter hide("ZR Hide", {cap, "vtjobac4.dat"}, files);
    TestPrinter noData("ZR NoData", {cap}, files);
    TestPrinter plain("ZR Plain", {"vtjobac1.dat"}, files);
    // A record longer than the spooler is first asked for: its capability comes after 8 KB of names.
    std::vector<std::string> many;
    for (int i = 0; i < 80; ++i)
        many.push_back("filler" + std::to_string(i) + std::string(100, 'x') + ".dll");
    many.push_back(cap);
    many.push_back("vtjobac2.dat");
    TestPrinter longRecord("ZR Long", many, files);

    struct Row {
        const char* printer;
        DWORD mode;
        DWORD flag;
        bool path;
    } rows[] = {
        {"ZR Tab P", 1, 0, true},       {"ZR Popup P", 2, 0, true}, {"ZR Hide P", 3, 3, true},
        {"ZR NoData P", 0, 0, false},   {"ZR Plain P", 0, 0, false}, {"ZR No Such Printer", 0, 0, false},
        {"ZR Long P", 2, 0, true},
    };
    for (const Row& row : rows) {
        DWORD flag = 0;
        char path[MAX_PATH] = {};
        EXPECT_EQ(DetectDriverMode(row.printer, &flag, path), row.mode) << row.printer;
        EXPECT_EQ(flag, row.flag) << row.printer;
        if (row.mode) {
            EXPECT_EQ(std::string(path).find(tab.driver.Directory()), 0u) << row.printer << ": " << path;
        }
    }
    char path[MAX_PATH] = {};
    DetectDriverMode("ZR Hide P", nullptr, path);
    EXPECT_EQ(std::string(path), hide.driver.Directory() + "vtjobac4.dat");
    EXPECT_EQ(DetectDriverMode("ZR Tab P", nullptr, nullptr), 1u) << "outputs are optional";
}

TEST(DetectDriverMode, AllDriversOverride)
{
    std::map<std::string, std::string> files = {{"TVALLDRV.CAP", CapabilityFile("ZR All", 1, 1)}};
    TestPrinter supported("ZR All", {"TVALLDRV.CAP", "vtjobac1.dat"}, files);
    TestPrinter unsupported("ZR None", {"vtjobac1.dat"}, {});

    struct Row {
        const char* name;
        const char* stringFile;
        DWORD allFlag;
        DWORD allMode;
        DWORD expected;
        bool masterPath;
    } rows[] = {
        {"AllMode in string file, AllFlag 0", "AllMode=1\r\n", 0, 3, 1, false},
        {"AllFlag without AllMode in string file", "", 1, 3, 1, false},
        {"both: registry mode 3", "AllMode=1\r\n", 1, 3, 3, true},
        {"both: registry mode 2", "AllMode=1\r\n", 1, 2, 2, false},
    };
    for (const Row& row : rows) {
        ModuleSandbox sandbox(ModuleSandbox::WithStringFile(row.stringFile));
        SetRegistryDword(sandbox.RegistryRoot(), "AllFlag", row.allFlag);
        SetRegistryDword(sandbox.RegistryRoot(), "AllMode", row.allMode);
        DWORD flag = 0;
        char path[MAX_PATH] = {};
        EXPECT_EQ(DetectDriverMode("ZR All P", &flag, path), row.expected) << row.name;
        if (row.masterPath) {
            EXPECT_EQ(std::string(path), sandbox.Directory() + "vtjobac4.dat") << row.name;
            EXPECT_EQ(flag, 0u) << row.name << ": the driver flag stays 0";
        }
        EXPECT_EQ(DetectDriverMode("ZR None P", nullptr, nullptr), 0u) << row.name;
    }
}

// Stand-in for a printer connected to a print server, which Wine cannot make: GetPrinterA reports
// a server name and EnumPrinterDriversA answers for that server with a driver directory of the test's.
namespace server_stub {

const char ServerName[] = "\\\\ZRSERVER";
std::string serverDriverPath;
std::string localDriverName;
decltype(&GetPrinterA) realGetPrinter;
decltype(&EnumPrinterDriversA) realEnumDrivers;

BOOL WINAPI GetPrinterStub(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed)
{
    BOOL ok = realGetPrinter(printer, level, buffer, size, needed);
    if (ok && level == 2 && buffer)
        reinterpret_cast<PRINTER_INFO_2A*>(buffer)->pServerName = const_cast<char*>(ServerName);
    if (ok && level == 4 && buffer)
        reinterpret_cast<PRINTER_INFO_4A*>(buffer)->pServerName = const_cast<char*>(ServerName);
    return ok;
}

BOOL WINAPI EnumDriversStub(char* server, char* environment, DWORD level, BYTE* buffer, DWORD size, DWORD* needed,
                            DWORD* returned)
{
    if (!server || strcmp(server, ServerName) != 0)
        return realEnumDrivers(server, environment, level, buffer, size, needed, returned);
    // Two records: another version of the same driver first, then the matching one.
    DWORD bytes = 2 * sizeof(DRIVER_INFO_3A) + 2 * static_cast<DWORD>(localDriverName.size() + 1) +
                  2 * static_cast<DWORD>(serverDriverPath.size() + 1);
    *needed = bytes;
    *returned = 0;
    if (!buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(buffer, 0, size);
    auto* records = reinterpret_cast<DRIVER_INFO_3A*>(buffer);
    char* strings = reinterpret_cast<char*>(buffer + 2 * sizeof(DRIVER_INFO_3A));
    auto put = [&](const std::string& s) {
        char* at = strings;
        memcpy(at, s.c_str(), s.size() + 1);
        strings += s.size() + 1;
        return at;
    };
    records[0].cVersion = 2;
    records[0].pName = put(localDriverName);
    records[0].pDriverPath = put("C:\\nowhere\\other.dll");
    records[1].cVersion = 3;
    records[1].pName = put(localDriverName);
    records[1].pDriverPath = put(serverDriverPath);
    *returned = 2;
    return TRUE;
}

}  // namespace server_stub

TEST(DetectDriverMode, ServerCopyWinsOnlyWithMode4)
{
    std::map<std::string, std::string> files = {{"TVSERVER.CAP", CapabilityFile("ZR Served")}};
    TestPrinter local("ZR Served", {"TVSERVER.CAP", "vtjobac4.dat"}, files);
    std::string serverDir = FreshTestDirectory("server");
    server_stub::serverDriverPath = serverDir + "served.dll";
    server_stub::localDriverName = "ZR Served";
    server_stub::realGetPrinter = &GetPrinterA;
    server_stub::realEnumDrivers = &EnumPrinterDriversA;
    ImportHook getPrinter(nullptr, "winspool.drv", "GetPrinterA", reinterpret_cast<void*>(&server_stub::GetPrinterStub));
    ImportHook enumDrivers(nullptr, "winspool.drv", "EnumPrinterDriversA",
                           reinterpret_cast<void*>(&server_stub::EnumDriversStub));
    ASSERT_TRUE(getPrinter.ok() && enumDrivers.ok());
    server_stub::realGetPrinter = reinterpret_cast<decltype(&GetPrinterA)>(getPrinter.original());
    server_stub::realEnumDrivers = reinterpret_cast<decltype(&EnumPrinterDriversA)>(enumDrivers.original());

    struct Row {
        const char* name;
        const char* serverFile;  // null: no file on the server
        bool serverWins;
    } rows[] = {
        {"server Mode 4", "[JobAccount]\r\nMode=4\r\n", true},
        {"server Mode 6", "[JobAccount]\r\nMode=6\r\n", false},
        {"server file without Mode", "[JobAccount]\r\n", false},
        {"no server file", nullptr, false},
    };
    for (const Row& row : rows) {
        std::string serverFile = serverDir + "vtjobac4.dat";
        DeleteFileA(serverFile.c_str());
        if (row.serverFile)
            WriteFileBytes(serverFile, row.serverFile);
        char path[MAX_PATH] = {};
        EXPECT_EQ(DetectDriverMode("ZR Served P", nullptr, path), 3u) << row.name;
        EXPECT_EQ(std::string(path), row.serverWins ? serverFile : local.driver.Directory() + "vtjobac4.dat")
            << row.name;
    }
}
