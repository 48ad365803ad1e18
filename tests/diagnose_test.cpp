// The diagnosis of a printer's job accounting: the chain it names must end where ReadJobAccountID
// ends in the same run, each planted fault must be named with its file, and jobacct turns it into
// exit codes a script can use.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "host_run.h"
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
struct Module2 {
    ModuleSandbox sandbox;
    ReadFn read = nullptr;
    DiagnoseFn diagnose = nullptr;
    explicit Module2(const std::string& stringFile = "") : sandbox(ModuleSandbox::WithStringFile(stringFile))
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
    struct Row {
        const char* name;
        std::vector<std::string> dependents;
        std::map<std::string, std::string> files;
        const char* mode;
        bool accounts;
        DWORD id;          // from the fixture, with the user
        std::string user;
        const char* from;  // part of the last "ID from" line
    } rows[] = {
        {"tab", {Cap, "vtjobac1.dat"}, {{Cap, Capability()}}, "tab", true, 77, "alice", "section [ZR Diag P]"},
        {"popup under the Vista rule", {Cap, "vtjobac2.dat"}, {{Cap, Capability()}}, "popup", true, 0, "jdoe", "popup"},
        {"hide, Mode 4",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\njdoe=1234,John\r\n"}},
         "hide", true, 1234, "John", "registered-ID entry"},
        {"hide, Mode 5",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=5\r\nJobAccountID=555\r\nUserID=fixed\r\n"}},
         "hide", true, 555, "fixed", "fixed ID"},
        {"hide, Mode 6",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()},
          {"vtjobac4.dat", "[JobAccount]\r\nMode=6\r\nPath=" + share.substr(0, share.size() - 1) + "\r\n"}},
         "hide", true, 4711, "Shared John", "registered-ID entry"},
        {"hide, Mode 7",
         {Cap, "vtjobac4.dat"},
         {{Cap, Capability()}, {"vtjobac4.dat", "[JobAccount]\r\nMode=7\r\n[JobAccountID]\r\njdoe=9\r\n"}},
         "hide", true, 9, std::string("jdoe(") + address + ")", "registered-ID entry"},
        {"older capability form", {"VT010001.CAP", "vtjobac1.dat"}, {{"VT010001.CAP", "x"}}, "tab", true, 77, "alice",
         "section [ZR Diag P]"},
        {"declining capability entry", {Cap, "vtjobac1.dat"}, {{Cap, Capability(0)}}, "none", false, 0, "", ""},
        {"no support", {"vtjobac1.dat"}, {}, "none", false, 0, "", ""},
    };
    for (const Row& row : rows) {
        std::map<std::string, std::string> files = row.files;
        for (const std::string& dependent : row.dependents)
            files.emplace(dependent, "");
        InstalledDriver driver(DriverSpec{Driver, row.dependents, files});
        InstalledPrinter printer(Printer, Driver);
        ASSERT_TRUE(driver.ok() && printer.ok()) << row.name;
        Module2 module;
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
    }
}
