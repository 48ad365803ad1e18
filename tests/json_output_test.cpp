// jobacct's answers as JSON: each document is read back by Debian's jq, as a deployment script
// reads it, with names that need escaping or another encoding.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "host_run.h"
#include "jq_run.h"
#include "sandbox.h"
#include "spooler_fixture.h"
#include "tools/json_text.h"

namespace {

const char Cap[] = "TVJSONDR.CAP";

// A name holding a character past ASCII, in the process's ANSI code page; fails the test where the
// code page cannot hold it.
std::string AnsiName(const wchar_t* wide)
{
    char ansi[256] = {};
    BOOL lost = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, sizeof ansi, nullptr, &lost);
    EXPECT_TRUE(length > 0 && !lost) << "the ANSI code page " << GetACP() << " cannot hold the test's name";
    return ansi;
}

// "ZR Json B\u00fcro" in the ANSI code page, and as the UTF-8 a script reads.
const std::string BueroAnsi = AnsiName(L"ZR Json B\u00fcro");
const char BueroUtf8[] = "ZR Json B\xC3\xBCro";

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// jq's answer to `filter`, which must have read the document without complaint.
std::string Query(const std::string& document, const std::string& filter)
{
    JqAnswer answer = RunJq(document, filter);
    EXPECT_TRUE(answer.finished && answer.exitCode == 0) << filter << "\n" << answer.output << "\n" << document;
    return answer.output;
}

// A sandboxed module with jobacct beside it, as an administrator's installation has them.
struct HostBesideModule {
    ModuleSandbox sandbox;
    HostBesideModule()
    {
        EXPECT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (Directory() + "jobacct.exe").c_str(),
                              FALSE));
    }
    const std::string& Directory() const { return sandbox.Directory(); }
    ProgramRun Run(const std::string& arguments) const { return RunHost(Directory(), arguments); }
};

}  // namespace

TEST(JsonText, EscapesAndConvertsEachCodePageToUtf8)
{
    struct Row {
        UINT codePage;
        const char* ansi;
        const char* literal;
    } rows[] = {
        {1252, "plain", "\"plain\""},
        {1252, "", "\"\""},
        {1252, "say \"hi\"", "\"say \\\"hi\\\"\""},
        {1252, "C:\\spool\\x64", "\"C:\\\\spool\\\\x64\""},
        {1252, "tab\there\r\n\x01\x1f\x7f", "\"tab\\u0009here\\u000d\\u000a\\u0001\\u001f\\u007f\""},
        {1252, "B\xFCro \x80", "\"B\xC3\xBCro \xE2\x82\xAC\""},
        {932, "\x83\x65\x83\x58\x83\x67\\", "\"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\\\\\""},
        {932, "\xB1", "\"\xEF\xBD\xB1\""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(JsonStringLiteral(row.ansi, row.codePage), row.literal) << row.codePage << " " << row.ansi;
}

// The document's layout is the writer's own; what a parser makes of it is what counts.
TEST(JsonText, DocumentsReadBackThroughJq)
{
    JsonValue document = JsonValue::Object();
    document.Set("name", JsonValue::Text("say \"hi\" C:\\x \x01", 1252));
    document.Set("count", JsonValue::Number(4294967295ULL));
    document.Set("ok", JsonValue::Bool(false));
    JsonValue& rows = document.Set("rows", JsonValue::Array());
    rows.Add(JsonValue::Object()).Set("text", JsonValue::Text("B\xFCro", 1252));
    rows.Add(JsonValue::Array()).Add(JsonValue::Text("\x83\x65\x83\x58\x83\x67", 932));
    rows.Add(JsonValue::Object());
    document.Set("empty", JsonValue::Array());
    EXPECT_EQ(Query(document.Format(), "[.name, (.count|tostring), (.ok|tostring), .rows[0].text, .rows[1][0], "
                                       "(.rows[2]|length|tostring), (.empty|length|tostring)] | .[]"),
              Lines({"say \"hi\" C:\\x \x01", "4294967295", "false", "B\xC3\xBCro", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88",
                     "0", "0"}));
}

TEST(JobacctJson, DriversAsObjectsWithTheirNamesInUtf8)
{
    HostBesideModule host;
    // Both drivers' files share the driver directory, so one capability file declares both.
    const std::string capability = "[Capability]\r\nZR Json Hide=Flagged\r\n" + BueroAnsi +
                                   "=Plain\r\n[Flagged]\r\nJobAccount=1\r\nJobAccountDrvFlag=1\r\n[Plain]\r\nJobAccount=1\r\n";
    InstalledDriver hide(DriverSpec{"ZR Json Hide", {Cap, "vtjobac4.dat"}, {{Cap, capability}}});
    InstalledDriver buero(DriverSpec{BueroAnsi, {Cap, "vtjobac2.dat"}, {{Cap, capability}}});
    InstalledDriver quoted(DriverSpec{"ZR Json \"Quoted\"", {"notes.txt"}});
    ASSERT_TRUE(hide.ok() && buero.ok() && quoted.ok());

    ProgramRun run = host.Run("drivers --json");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(Query(run.out, "all(.[]; keys == [\"driverFlag\", \"environment\", \"mode\", \"name\", \"settingsFile\"])"),
              "true\n");
    EXPECT_EQ(Query(run.out, "map(select(.name | startswith(\"ZR Json\"))) | sort_by(.name) | .[] | "
                             "[.name, .environment, .mode, (.driverFlag | tostring), .settingsFile] | join(\"|\")"),
              Lines({std::string("ZR Json \"Quoted\"|") + EnvNative + "|unsupported|0|",
                     std::string(BueroUtf8) + "|" + EnvNative + "|popup|0|" + buero.Directory() + "vtjobac2.dat",
                     std::string("ZR Json Hide|") + EnvNative + "|hide|1|" + hide.Directory() + "vtjobac4.dat"}));
}

// A list takes no byte past ASCII in a single-byte code page (the names' text rule), so the
// conversion of such names is shown by the drivers and printers.
TEST(JobacctJson, ListRowsWithTheUserNameAJobCarries)
{
    HostBesideModule host;
    WriteFileBytes(host.Directory() + "vtjobac4.dat",
                   "[JobAccount]\r\nMode=4\r\n[JobAccountID]\r\nDOMAIN\\alice=1,Alice A\r\nSmith, John=42,John Smith\r\n"
                   "carol=0000000007\r\n[FixedID]\r\n0=\"Sales, North\",22,Nora\r\n1=Front desk,11\r\n");
    const char filter[] = ".[] | [.name, .id, .userName] | join(\"|\")";

    ProgramRun registered = host.Run("list --json");
    EXPECT_EQ(registered.exitCode, 0u) << registered.err;
    EXPECT_EQ(Query(registered.out, filter),
              Lines({"DOMAIN\\alice|1|Alice A", "Smith, John|42|John Smith", "carol|0000000007|carol"}));
    ProgramRun fixed = host.Run("list --fixed --json");
    EXPECT_EQ(fixed.exitCode, 0u) << fixed.err;
    EXPECT_EQ(Query(fixed.out, filter), Lines({"Sales, North|22|Nora", "Front desk|11|"}));

    WriteFileBytes(host.Directory() + "vtjobac4.dat", "[JobAccount]\r\nMode=4\r\n");
    ProgramRun empty = host.Run("list --json");
    EXPECT_EQ(empty.exitCode, 0u) << empty.err;
    EXPECT_EQ(Query(empty.out, "length"), "0\n");
}

TEST(JobacctJson, DiagnosisAsLinksAndProblemsApart)
{
    HostBesideModule host;
    const std::string driver = "ZR Json Diag";
    // Set up as a mode change leaves a driver: the module and the string file beside it.
    InstalledDriver working(DriverSpec{driver,
                                       {Cap, "vtjobac1.dat"},
                                       {{Cap, CapabilityFile(driver)},
                                        {"vtjobac1.dat", ""},
                                        {"zrlogext.dll", ReadFileBytes(host.Directory() + "zrlogext.dll")},
                                        {"zrjobacs.str", "[common]\r\n"}}});
    InstalledDriver none(DriverSpec{"ZR Json None", {"vtjobac1.dat"}});
    const std::string good = "ZR Json \"Q\" P", bad = BueroAnsi + " P";
    InstalledPrinter goodPrinter(good, driver);
    InstalledPrinter badPrinter(bad, "ZR Json None");
    ASSERT_TRUE(working.ok() && none.ok() && goodPrinter.ok() && badPrinter.ok());

    ProgramRun one = host.Run("diagnose \"ZR Json \\\"Q\\\" P\" --json");
    EXPECT_EQ(one.exitCode, 0u) << one.out << one.err;
    EXPECT_EQ(Query(one.out, "[.printer, .driver, .mode, (.ok | tostring), (.problems | length | tostring), "
                             "(.links[0] | [.link, .value, .source] | join(\"/\")), "
                             "(.links[] | select(.link == \"driver\") | .source), "
                             "(.links | map(.link) | index(\"answer\") > 0 | tostring)] | .[]"),
              Lines({good, driver, "tab", "true", "0", "printer/" + good + "/",
                     InstalledDriverDirectory(EnvNative, 3) + "zrtestdrv.dll", "true"}));

    ProgramRun broken = host.Run("diagnose \"" + bad + "\" --json");
    EXPECT_EQ(broken.exitCode, 1u) << broken.out << broken.err;
    EXPECT_EQ(Query(broken.out, "[.printer, (.ok | tostring), (.problems | length | tostring), "
                                "(.problems[0].problem | startswith(\"no capability file\") | tostring), "
                                "(.links | map(.link) | index(\"problem\") | tostring)] | .[]"),
              Lines({std::string(BueroUtf8) + " P", "false", "1", "true", "null"}));

    ProgramRun all = host.Run("diagnose --all --json");
    EXPECT_EQ(all.exitCode, 1u) << "one printer has a problem\n" << all.out << all.err;
    EXPECT_EQ(Query(all.out, "map(select(.printer | startswith(\"ZR Json\"))) | sort_by(.printer) | .[] | "
                             "[.printer, .driver, .mode, (.idFrom | startswith(\"account file\") | tostring), (.ok | tostring)] | "
                             "join(\"|\")"),
              Lines({good + "|" + driver + "|tab|true|true",
                     std::string(BueroUtf8) + " P|ZR Json None|none|false|false"}));

    for (const char* arguments : {"diagnose --json", "drivers --json --json", "list --json --fixed"}) {
        ProgramRun usage = host.Run(arguments);
        EXPECT_EQ(usage.exitCode, 2u) << arguments << "\n" << usage.out << usage.err;
        EXPECT_EQ(usage.out, "") << arguments;
    }
}

// A script must not take a half answer for the whole: without one, stdout stays empty (a parser then
// fails too), and --all names the printer whose diagnosis is missing.
TEST(JobacctJson, AnAnswerTheModuleCouldNotMakeLeavesNoDocument)
{
    InstalledDriver driver(DriverSpec{"ZR Json None", {"vtjobac1.dat"}});
    InstalledPrinter printer("ZR Json P", "ZR Json None");
    const std::string directory = FreshTestDirectory();
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "jobacct.exe").c_str(), (directory + "jobacct.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "zrnomemory.dll").c_str(), (directory + "zrlogext.dll").c_str(), FALSE));
    for (const char* arguments : {"drivers --json", "list --json", "diagnose \"ZR Json P\" --json"}) {
        ProgramRun run = RunHost(directory, arguments);
        EXPECT_EQ(run.exitCode, 1u) << arguments << "\n" << run.out << run.err;
        EXPECT_EQ(run.out, "") << arguments;
        EXPECT_NE(run.err.find("could not be made (error 8)"), std::string::npos) << arguments << "\n" << run.err;
    }
    ProgramRun all = RunHost(directory, "diagnose --all --json");
    EXPECT_EQ(all.exitCode, 1u) << all.out << all.err;
    EXPECT_EQ(Query(all.out, ".[] | select(.printer == \"ZR Json P\") | [(.ok | tostring), .error] | join(\"|\")"),
              "false|the diagnosis could not be made (error 8)\n");
}
