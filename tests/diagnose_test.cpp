// The diagnosis of a printer's job accounting: the chain it names must end where ReadJobAccountID
// ends in the same run, each planted fault must be named with its file, and jobacct turns it into
// exit codes a script can use.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "host_run.h"
#include "iat_hook.h"
#include "job_standin.h"
#include "resolve/identity.h"
#include "sandbox.h"
#include "spooler_fixture.h"

namespace {

struct Result {
    DWORD id;
    char user[81];
    char spare[47];
};
using ReadFn = int(WINAPI*)(const char*, DWORD, Result*);
using DiagnoseFn = DWORD(WINAPI*)(const char*, char*, DWORD);

const char Driver[] = "ZR Diag";
const char Printer[] = "ZR Diag P";
const char Cap[] = "TVDIAGNO.CAP";

std::string Capability(int jobAccount = 1, int driverFlag = 0)
{
    return std::string("[Capability]\r\n") + Driver + "=M\r\n[M]\r\nJobAccount=" + std::to_string(jobAccount) +
           "\r\nJobAccountDrvFlag=" + std::to_string(driverFlag) + "\r\n";
}

struct Line {
    std::string link, value, source;
};

// The diagnosis as its lines: link, value and source, tab-separated.
struct Diagnosis {
    std::string text;
    std::vector<Line> lines;

    const Line* Find(const std::string& link) const
    {
        for (const Line& line : lines)
            if (line.link == link)
                return &line;
        return nullptr;
    }
    std::string Value(const std::string& link) const
    {
        const Line* line = Find(link);
        return line ? line->value : "(no " + link + " line)";
    }
    // The problem line whose text holds `words`, or null.
    const Line* Problem(const std::string& words) const
    {
        for (const Line& line : lines)
            if (line.link == "problem" && line.value.find(words) != std::string::npos)
                return &line;
        return nullptr;
    }
};

Diagnosis Parse(const std::string& text)
{
    Diagnosis diagnosis{text, {}};
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string whole = text.substr(start, end - start);
        size_t first = whole.find('\t');
        size_t second = whole.find('\t', first + 1);
        EXPECT_TRUE(first != std::string::npos && second != std::string::npos) << whole;
        if (first == std::string::npos || second == std::string::npos)
            continue;
        diagnosis.lines.push_back({whole.substr(0, first), whole.substr(first + 1, second - first - 1),
                                   whole.substr(second + 1)});
    }
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return diagnosis;
}

// A sandboxed module with both exports.
struct Resolver {
    ModuleSandbox sandbox;
    ReadFn read = nullptr;
    DiagnoseFn diagnose = nullptr;
    explicit Resolver(const std::string& stringFile = "") : sandbox(ModuleSandbox::WithStringFile(stringFile))
    {
        read = reinterpret_cast<ReadFn>(reinterpret_cast<void*>(GetProcAddress(sandbox.Handle(), "ReadJobAccountID")));
        diagnose = reinterpret_cast<DiagnoseFn>(
            reinterpret_cast<void*>(GetProcAddress(sandbox.Handle(), "DiagnoseJobAccount")));
        EXPECT_NE(read, nullptr);
        EXPECT_NE(diagnose, nullptr);
    }
    Diagnosis Diagnose(const char* printer)
    {
        DWORD needed = diagnose(printer, nullptr, 0);
        std::string text(needed + 8, '\x5A');
        EXPECT_EQ(diagnose(printer, text.data(), needed), needed);
        EXPECT_EQ(text[needed - 1], '\0');
        EXPECT_EQ(text[needed], '\x5A') << "nothing written past the size given";
        text.resize(needed - 1);
        return Parse(text);
    }
};

std::string CharUpperText(std::string text)
{
    CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::string WindowsDirectoryFile(const char* name)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + "\\" + name;
}

// Puts a file in place for a test and restores what stood there before.
class PlantedFile {
public:
    PlantedFile(std::string path, const std::string& contents)
        : path_(std::move(path)), existed_(FileExists(path_)), saved_(ReadFileBytes(path_))
    {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (contents.empty())
            DeleteFileA(path_.c_str());
        else
            WriteFileBytes(path_, contents);
    }
    ~PlantedFile()
    {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (existed_)
            WriteFileBytes(path_, saved_);
        else
            DeleteFileA(path_.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool existed_;
    std::string saved_;
};

}  // namespace

TEST(DiagnoseJobAccount, EndsWithWhatReadJobAccountIDAnswers)
{
    std::string share = FreshTestDirectory("share");
    WriteFileBytes(share + "vtjobac4.dat", "[JobAccountID]\r\njdoe=4711,Shared John\r\n");
    PlantedFile account(WindowsDirectoryFile("vtjobac.ini"), "[ZR Diag P]\r\nJobAccountID=77\r\nUserID=alice\r\n");
    char address[32] = {};
    ASSERT_TRUE(GetHostAddress(address, sizeof address));
    const std::string settings = InstalledDriverDirectory(EnvNative, 3) + "vtjobac4.dat";
    struct Row {
        const char* name;
        std::vector<std::string> dependents;
        std::map<std::string, std::string> files;
        const char* mode;
        bool accounts;
        DWORD id;          // from the fixture, with the user
        std::string user;
        const char* from;  // part of the last "ID from" line
        std::string file;  // the file that line names
    } rows[] = {
        {"tab", {Cap, "vtjobac1.dat"}, {{Cap, Capability()}}, "tab", true, 77, "alice", "section [ZR Diag P]",
         account.Path()},
        {"popup under the Vista rule", {Cap, "vtjobac2.dat"}, {{Cap, Capability()}}, "popup", true, 0, "jdoe", "popup",
         ""},
        {"hide, Mode 4",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\njdoe=1234,John\r\n"}},
         "hide", true, 1234, "John", "registered-ID entry", settings},
        {"hide, Mode 5",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=5\r\nJobAccountID=555\r\nUserID=fixed\r\n"}},
         "hide", true, 555, "fixed", "fixed ID", settings},
        {"hide, Mode 6",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()},
          {"vtjobac4.dat", "[JobAccount]\r\nMode=6\r\nPath=" + share.substr(0, share.size() - 1) + "\r\n"}},
         "hide", true, 4711, "Shared John", "registered-ID entry", share + "vtjobac4.dat"},
        {"hide, Mode 7",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\njdoe=9\r\n"}},
         "hide", true, 9, std::string("jdoe(") + address + ")", "registered-ID entry", settings},
        {"older capability form", {"VT010001.CAP", "vtjobac1.dat"}, {{"VT010001.CAP", "x"}}, "tab", true, 77, "alice",
         "section [ZR Diag P]", account.Path()},
        {"declining capability entry", {Cap, "vtjobac1.dat"}, {{Cap, Capability(0)}}, "none", false, 0, "", "", ""},
        {"no support", {"vtjobac1.dat"}, {}, "none", false, 0, "", "", ""},
    };
    for (const Row& row : rows) {
        std::map<std::string, std::string> files = row.files;
        for (const std::string& dependent : row.dependents)
            files.emplace(dependent, "");
        InstalledDriver driver(DriverSpec{Driver, row.dependents, files});
        InstalledPrinter printer(Printer, Driver);
        ASSERT_TRUE(driver.ok() && printer.ok()) << row.name;
        Resolver module;
        JobStandIn job(module.sandbox.Handle(), "jdoe");
        Result result = {};
        const int answered = module.read(Printer, 0, &result);
        Diagnosis diagnosis = module.Diagnose(Printer);

        EXPECT_EQ(answered, row.accounts ? 1 : 0) << row.name;
        EXPECT_EQ(diagnosis.Value("mode"), row.mode) << row.name << "\n" << diagnosis.text;
        if (!row.accounts) {
            EXPECT_EQ(diagnosis.Value("answer").rfind("no job accounting", 0), 0u) << row.name << "\n" << diagnosis.text;
            continue;
        }
        EXPECT_EQ(result.id, row.id) << row.name;
        EXPECT_EQ(std::string(result.user), row.user) << row.name;
        EXPECT_EQ(diagnosis.Value("answer"),
                  "ID " + std::to_string(result.id) + ", user \"" + std::string(result.user) + "\"")
            << row.name << "\n" << diagnosis.text;
        const Line* from = nullptr;
        for (const Line& line : diagnosis.lines)
            if (line.link == "ID from")
                from = &line;
        ASSERT_NE(from, nullptr) << row.name << "\n" << diagnosis.text;
        EXPECT_NE(from->value.find(row.from), std::string::npos) << row.name << "\n" << diagnosis.text;
        EXPECT_EQ(CharUpperText(from->source), CharUpperText(row.file)) << row.name << "\n" << diagnosis.text;
    }
}

TEST(DiagnoseJobAccount, NamesEachPlantedProblemAndItsFile)
{
    const std::string cap = Capability();
    const std::string hide = "vtjobac4.dat";
    const std::string emptyShare = FreshTestDirectory("empty share");
    WriteFileBytes(emptyShare + hide, "[JobAccount]\r\nMode=4\r\n");
    struct Row {
        const char* name;
        std::vector<std::string> dependents;
        std::map<std::string, std::string> files;  // written into the driver directory
        std::string stringFile;
        bool allDrivers;
        const char* words;  // part of the problem's text
        const char* file;   // part of the file it names
    } rows[] = {
        {"no capability file", {"vtjobac1.dat"}, {{"vtjobac1.dat", ""}}, "", false, "no capability file",
         "zrtestdrv.dll"},
        {"no entry for the driver", {Cap, "vtjobac1.dat"},
         {{Cap, "[Capability]\r\nSomeone Else=M\r\n[M]\r\nJobAccount=1\r\n"}, {"vtjobac1.dat", ""}}, "", false,
         "has no entry for \"ZR Diag\"", Cap},
        {"cancelled by a later file", {Cap, "TVDIAGN2.CAP", "vtjobac1.dat"},
         {{Cap, cap}, {"TVDIAGN2.CAP", Capability(0)}, {"vtjobac1.dat", ""}}, "", false,
         "later capability file cancels", "TVDIAGN2.CAP"},
        {"data file missing", {Cap, "vtjobac1.dat"}, {{Cap, cap}}, "", false, "data file is missing", "vtjobac1.dat"},
        {"all-drivers override", {Cap, "vtjobac1.dat"}, {{Cap, cap}, {"vtjobac1.dat", ""}}, "AllMode=1\r\n", true,
         "all-drivers override", "AllMode"},
        {"Mode outside 4-7", {Cap, hide}, {{Cap, cap}, {hide, "[JobAccount]\r\nMode=9\r\n"}}, "", false,
         "outside 4-7", hide.c_str()},
        {"Mode 6 Path without a list", {Cap, hide},
         {{Cap, cap}, {hide, "[JobAccount]\r\nMode=6\r\nPath=C:\\zr no such share\r\n"}}, "", false,
         "Path names no usable list", hide.c_str()},
        {"Mode 6 Path to a list without IDs", {Cap, hide},
         {{Cap, cap}, {hide, "[JobAccount]\r\nMode=6\r\nPath=" + emptyShare.substr(0, emptyShare.size() - 1) + "\r\n"}},
         "", false, "registers no ID", hide.c_str()},
        {"popup under the Vista rule", {Cap, "vtjobac2.dat"}, {{Cap, cap}, {"vtjobac2.dat", ""}}, "", false,
         "Vista rule suppresses", "zrjobacs."},
        {"module missing beside the driver", {Cap, "vtjobac1.dat"}, {{Cap, cap}, {"vtjobac1.dat", ""}}, "", false,
         "module is missing beside the driver", "zrlogext.dll"},
        {"string file missing beside the driver", {Cap, "vtjobac1.dat"},
         {{Cap, cap}, {"vtjobac1.dat", ""}, {"zrlogext.dll", "MZ"}}, "", false,
         "string file is missing beside the driver", "zrjobacs.str"},
    };
    for (const Row& row : rows) {
        InstalledDriver driver(DriverSpec{Driver, row.dependents, row.files});
        InstalledPrinter printer(Printer, Driver);
        ASSERT_TRUE(driver.ok() && printer.ok()) << row.name;
        if (!row.files.count("zrlogext.dll"))
            DeleteFileA((driver.Directory() + "zrlogext.dll").c_str());
        Resolver module(row.stringFile);
        if (row.allDrivers) {
            SetRegistryDword(module.sandbox.RegistryRoot(), "AllFlag", 1);
            SetRegistryDword(module.sandbox.RegistryRoot(), "AllMode", 1);
        }
        Diagnosis diagnosis = module.Diagnose(Printer);
        const Line* problem = diagnosis.Problem(row.words);
        ASSERT_NE(problem, nullptr) << row.name << "\n" << diagnosis.text;
        EXPECT_NE(problem->source.find(row.file), std::string::npos) << row.name << "\n" << diagnosis.text;
    }
}

TEST(DiagnoseJobAccount, AccountFileTheUserCannotWrite)
{
    InstalledDriver driver(DriverSpec{Driver, {Cap, "vtjobac1.dat"}, {{Cap, Capability()}, {"vtjobac1.dat", ""}}});
    InstalledPrinter printer(Printer, Driver);
    PlantedFile account(WindowsDirectoryFile("vtjobac.ini"), "[ZR Diag P]\r\nJobAccountID=77\r\n");
    Resolver module;
    JobStandIn job(module.sandbox.Handle(), "jdoe");
    const char* words = "cannot write the account file";
    EXPECT_EQ(module.Diagnose(Printer).Problem(words), nullptr);
    ASSERT_TRUE(SetFileAttributesA(account.Path().c_str(), FILE_ATTRIBUTE_READONLY));
    Diagnosis diagnosis = module.Diagnose(Printer);
    const Line* problem = diagnosis.Problem(words);
    ASSERT_NE(problem, nullptr) << diagnosis.text;
    EXPECT_EQ(problem->source, account.Path());
}

TEST(JobacctDiagnose, ExitCodesAndOneLinePerPrinter)
{
    Resolver module;
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(),
                          (module.sandbox.Directory() + "jobacct.exe").c_str(), FALSE));
    // A driver set up as a mode change leaves it: the module and the string file beside it.
    InstalledDriver working(DriverSpec{Driver,
                                       {Cap, "vtjobac1.dat"},
                                       {{Cap, Capability()},
                                        {"vtjobac1.dat", ""},
                                        {"zrlogext.dll", ReadFileBytes(module.sandbox.Directory() + "zrlogext.dll")},
                                        {"zrjobacs.str", "[common]\r\n"}}});
    InstalledPrinter good(Printer, Driver);
    InstalledDriver plain(DriverSpec{"ZR Diag None", {"vtjobac1.dat"}});
    InstalledPrinter bad("ZR Diag Q", "ZR Diag None");

    struct Row {
        const char* arguments;
        DWORD exitCode;
        const char* shown;  // part of stdout, or of stderr for bad arguments
    } rows[] = {
        {"diagnose \"ZR Diag P\"", 0, "answer"},
        {"diagnose \"ZR Diag Q\"", 1, "no capability file among the dependent files of \"ZR Diag None\""},
        {"diagnose \"ZR Diag Nowhere\"", 1, "no printer of this name"},
        {"diagnose", 2, "usage"},
        {"diagnose \"\"", 2, "usage"},
        {"diagnose \"ZR Diag P\" extra", 2, "usage"},
    };
    for (const Row& row : rows) {
        ProgramRun run = RunHost(module.sandbox.Directory(), row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments << "\n" << run.out << run.err;
        const std::string& shown = row.exitCode == 2 ? run.err : run.out;
        EXPECT_NE(shown.find(row.shown), std::string::npos) << row.arguments << "\n" << shown;
    }

    ProgramRun all = RunHost(module.sandbox.Directory(), "diagnose --all");
    EXPECT_EQ(all.exitCode, 1u) << "one printer has a problem\n" << all.out << all.err;
    const size_t start = all.out.find("ZR Diag P\t");
    ASSERT_NE(start, std::string::npos) << all.out;
    std::string line = all.out.substr(start, all.out.find('\n', start) - start);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    EXPECT_EQ(line.rfind("ZR Diag P\tZR Diag\ttab\taccount file section [ZR Diag P]", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 3), "\tok") << line;
    EXPECT_NE(all.out.find("ZR Diag Q\tZR Diag None\tnone\tno ID\tno capability file"), std::string::npos) << all.out;
}

TEST(DiagnoseJobAccount, SaysWhichPopupWouldOpenWithoutOpeningIt)
{
    InstalledDriver driver(
        DriverSpec{Driver, {Cap, "vtjobac2.dat"}, {{Cap, Capability(1, 1)}, {"vtjobac2.dat", ""}}});
    InstalledPrinter printer(Printer, Driver);
    Resolver module;
    JobStandIn job(module.sandbox.Handle(), "jdoe");
    // A dialog would keep the call from returning; the test program's timeout would end it.
    Diagnosis diagnosis = module.Diagnose(Printer);
    EXPECT_NE(diagnosis.Value("popup").find("job account popup would be shown"), std::string::npos) << diagnosis.text;
    EXPECT_EQ(diagnosis.Problem("Vista rule"), nullptr) << diagnosis.text;
    EXPECT_EQ(diagnosis.Value("answer"), "ID 0, user \"jdoe\"") << diagnosis.text;
}

namespace {

// Stand-ins watching what the module opens: files that could be written or created, and libraries.
namespace watched {

decltype(&CreateFileA) realCreateFile;
decltype(&LoadLibraryA) realLoadLibrary;
std::vector<std::string> writableOpens;
std::vector<std::string> libraries;

HANDLE WINAPI CreateFileStub(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                             DWORD flags, HANDLE model)
{
    const DWORD writing = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
    if ((access & writing) || disposition != OPEN_EXISTING)
        writableOpens.push_back(name ? name : "(null)");
    return realCreateFile(name, access, share, security, disposition, flags, model);
}

HMODULE WINAPI LoadLibraryStub(LPCSTR file)
{
    libraries.push_back(file ? file : "(null)");
    return realLoadLibrary(file);
}

}  // namespace watched

}  // namespace

// The diagnosis runs where an administrator runs jobacct: it opens no file for writing (on Windows a
// 32-bit program's write under a protected folder goes to the user's VirtualStore, which would
// answer for another file and leave one there) and calls no certificate library, saying instead
// that the print job would.
TEST(DiagnoseJobAccount, OpensNothingForWritingAndCallsNoCertificateLibrary)
{
    InstalledDriver driver(DriverSpec{Driver, {Cap, "vtjobac1.dat"}, {{Cap, Capability()}, {"vtjobac1.dat", ""}}});
    InstalledPrinter printer(Printer, Driver);
    PlantedFile account(WindowsDirectoryFile("vtjobac.ini"), "[ZR Diag P]\r\nJobAccountID=77\r\nUserID=alice\r\n");
    Resolver module("GetVexaIDMode=1\r\n");
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "tvctfct.dll").c_str(),
                          (module.sandbox.Directory() + "tvctfct.dll").c_str(), FALSE));
    WriteFileBytes(module.sandbox.Directory() + "tvctfct.txt", "CN=TAVRO LOCAL CA|T=jdoe\r\n");
    JobStandIn job(module.sandbox.Handle(), "jdoe");
    ImportHook files(module.sandbox.Handle(), "kernel32.dll", "CreateFileA", reinterpret_cast<void*>(&watched::CreateFileStub));
    ImportHook libraries(module.sandbox.Handle(), "kernel32.dll", "LoadLibraryA",
                         reinterpret_cast<void*>(&watched::LoadLibraryStub));
    ASSERT_TRUE(files.ok() && libraries.ok());
    watched::realCreateFile = reinterpret_cast<decltype(&CreateFileA)>(files.original());
    watched::realLoadLibrary = reinterpret_cast<decltype(&LoadLibraryA)>(libraries.original());
    watched::writableOpens.clear();
    watched::libraries.clear();

    Diagnosis diagnosis = module.Diagnose(Printer);
    EXPECT_EQ(watched::writableOpens, std::vector<std::string>{}) << diagnosis.text;
    for (const std::string& library : watched::libraries)
        EXPECT_EQ(CharUpperText(library).find("TVCTFCT"), std::string::npos) << library;
    EXPECT_NE(diagnosis.Value("certificate").find("would be asked"), std::string::npos) << diagnosis.text;
    EXPECT_EQ(diagnosis.Problem("cannot write the account file"), nullptr) << diagnosis.text;
    EXPECT_EQ(diagnosis.Value("answer"), "ID 77, user \"alice\"") << diagnosis.text;
}

// An answer the module could not make (it ran out of memory) is a failure to a script, never "ok".
TEST(JobacctHost, AnAnswerTheModuleCouldNotMakeExitsWithOne)
{
    InstalledDriver driver(DriverSpec{Driver, {Cap, "vtjobac1.dat"}, {{Cap, Capability()}, {"vtjobac1.dat", ""}}});
    InstalledPrinter printer(Printer, Driver);
    const std::string directory = FreshTestDirectory();
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (directory + "jobacct.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "zrnomemory.dll").c_str(), (directory + "zrlogext.dll").c_str(), FALSE));
    struct Row {
        const char* arguments;
        bool onStandardOutput;  // where the failure is told
    } rows[] = {
        {"diagnose \"ZR Diag P\"", false},
        {"diagnose --all", true},
        {"drivers", false},
        {"list", false},
    };
    for (const Row& row : rows) {
        ProgramRun run = RunHost(directory, row.arguments);
        EXPECT_EQ(run.exitCode, 1u) << row.arguments << "\n" << run.out << run.err;
        const std::string& told = row.onStandardOutput ? run.out : run.err;
        EXPECT_NE(told.find("could not be made (error 8)"), std::string::npos) << row.arguments << "\n" << run.out << run.err;
    }
}
