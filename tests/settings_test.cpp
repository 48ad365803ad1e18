// Module start-up settings and the shared helpers, against the real DLL and Wine's registry.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "file_failures.h"
#include "host_run.h"
#include "iat_hook.h"
#include "sandbox.h"
#include "settings/helpers.h"
#include "settings/module_state.h"
#include "settings/profile.h"
#include "settings/profile_cache.h"
#include "settings/profile_text.h"
#include "settings/registry.h"
#include "settings/settings_file.h"
#include "settings/system_library.h"

namespace {

const char DefaultRoot[] = "SOFTWARE\\Tavrodata\\TAVRO Jobtally Client";

// Every text field of the state is terminated within its width.
void ExpectTerminated(const ModuleState& s)
{
#define ZR_CHECK_FIELD(f) EXPECT_LT(strnlen(s.f, sizeof s.f), sizeof s.f) << #f
    ZR_CHECK_FIELD(ModuleDirectory);
    ZR_CHECK_FIELD(ModuleFileName);
    ZR_CHECK_FIELD(StringFilePath);
    ZR_CHECK_FIELD(RegistryRoot);
    ZR_CHECK_FIELD(HelpFilePath);
    ZR_CHECK_FIELD(ModPath64);
    ZR_CHECK_FIELD(ModPath32);
    ZR_CHECK_FIELD(DatFile1);
    ZR_CHECK_FIELD(DatFile2);
    ZR_CHECK_FIELD(DatFile4);
    ZR_CHECK_FIELD(AccountFile);
    ZR_CHECK_FIELD(MfHeader);
    ZR_CHECK_FIELD(AppName);
#undef ZR_CHECK_FIELD
}

}  // namespace

TEST(ModuleStart, WithoutStringFileEveryKeyTakesItsDefault)
{
    DeleteRegistryTree(DefaultRoot);
    ModuleSandbox::Options options;
    options.addRegRoot = false;
    ModuleSandbox sandbox(options);

    EXPECT_EQ(Module.ModuleInstance, sandbox.Handle());
    EXPECT_STREQ(Module.ModuleDirectory, sandbox.Directory().c_str());
    EXPECT_STREQ(Module.ModuleFileName, "zrlogext.dll");
    EXPECT_EQ(std::string(Module.StringFilePath), sandbox.Directory() + "zrjobacs.ini");
    EXPECT_STREQ(Module.RegistryRoot, DefaultRoot);
    EXPECT_EQ(std::string(Module.HelpFilePath), sandbox.Directory() + "vtlogext.hlp");
    EXPECT_STREQ(Module.ModPath64, "");
    EXPECT_STREQ(Module.ModPath32, "");
    EXPECT_STREQ(Module.DatFile1, "vtjobac1.dat");
    EXPECT_STREQ(Module.DatFile2, "vtjobac2.dat");
    EXPECT_STREQ(Module.DatFile4, "vtjobac4.dat");
    EXPECT_STREQ(Module.AccountFile, "vtjobac.ini");
    EXPECT_STREQ(Module.MfHeader, "TV");
    EXPECT_STREQ(Module.AppName, "TAVRO Jobtally Client");
}

TEST(ModuleStart, StringFileChoice)
{
    struct Row {
        const char* name;
        bool str;
        bool ini;
        const char* chosen;
        const char* appName;
    } rows[] = {
        {"both", true, true, "zrjobacs.str", "from str"},
        {"str only", true, false, "zrjobacs.str", "from str"},
        {"ini only", false, true, "zrjobacs.ini", "from ini"},
        {"neither", false, false, "zrjobacs.ini", "TAVRO Jobtally Client"},
    };
    for (const Row& row : rows) {
        ModuleSandbox::Options options;
        options.addRegRoot = false;
        options.directoryTag = std::to_string(&row - rows);
        ModuleSandbox sandbox(options);
        if (row.str)
            WriteFileBytes(sandbox.Directory() + "zrjobacs.str", "[string]\r\nAppName=from str\r\n");
        if (row.ini)
            WriteFileBytes(sandbox.Directory() + "zrjobacs.ini", "[string]\r\nAppName=from ini\r\n");
        sandbox.Reload();
        EXPECT_EQ(std::string(Module.StringFilePath), sandbox.Directory() + row.chosen) << row.name;
        EXPECT_STREQ(Module.AppName, row.appName) << row.name;
    }
}

TEST(ModuleStart, RegRootRedirectsEveryRegistryAccess)
{
    ModuleSandbox sandbox;  // its string file names a key of this test's own
    EXPECT_EQ(std::string(Module.RegistryRoot), sandbox.RegistryRoot());

    WriteRegistryDword("AllMode", 3);
    DWORD stored = 0;
    RegKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, sandbox.RegistryRoot().c_str(), KEY_READ), ERROR_SUCCESS);
    EXPECT_TRUE(key.ReadDword("AllMode", &stored));
    EXPECT_EQ(stored, 3u);
    EXPECT_EQ(ReadRegistryDword("AllMode", 7), 3u);

    SetRegistryString(sandbox.RegistryRoot(), "HelpPath", "C:\\help");
    sandbox.Reload();
    EXPECT_STREQ(Module.HelpFilePath, "C:\\help\\vtlogext.hlp");
}

TEST(ModuleStart, RegistryPathsAndTheirFallbacks)
{
    // The module's own width: "ModPath32" in the 32-bit build, "ModPath64" in the x64 build.
    const bool x64 = sizeof(void*) == 8;
    const char* ownName = x64 ? "ModPath64" : "ModPath32";
    const char* otherName = x64 ? "ModPath32" : "ModPath64";
    struct Row {
        const char* name;
        bool key;
        const char* helpPath;  // null: value absent
        const char* own;
        const char* other;
        const char* expectHelpDir;  // null: the module directory
        const char* expectOwn;      // null: the module directory
        const char* expectOther;
    } rows[] = {
        {"no key", false, nullptr, nullptr, nullptr, nullptr, "", ""},
        {"empty key", true, nullptr, nullptr, nullptr, nullptr, nullptr, ""},
        {"all values", true, "D:\\docs", "C:\\own", "C:\\other", "D:\\docs\\", "C:\\own", "C:\\other"},
        {"only the other width", true, nullptr, nullptr, "C:\\other", nullptr, nullptr, "C:\\other"},
    };
    for (const Row& row : rows) {
        ModuleSandbox::Options options;
        options.stringFile = "HelpFile=manual.chm\r\n";
        options.directoryTag = std::to_string(&row - rows);
        ModuleSandbox sandbox(options);
        std::string root = sandbox.RegistryRoot();
        if (row.key)
            SetRegistryString(root, "Unrelated", "x");
        if (row.helpPath)
            SetRegistryString(root, "HelpPath", row.helpPath);
        if (row.own)
            SetRegistryString(root, ownName, row.own);
        if (row.other)
            SetRegistryString(root, otherName, row.other);
        sandbox.Reload();

        std::string helpDir = row.expectHelpDir ? row.expectHelpDir : sandbox.Directory();
        EXPECT_EQ(std::string(Module.HelpFilePath), helpDir + "manual.chm") << row.name;
        const char* own = x64 ? Module.ModPath64 : Module.ModPath32;
        const char* other = x64 ? Module.ModPath32 : Module.ModPath64;
        EXPECT_EQ(std::string(own), row.expectOwn ? row.expectOwn : sandbox.Directory()) << row.name;
        EXPECT_STREQ(other, row.expectOther) << row.name;
    }
}

TEST(ModuleStart, OverlongValuesAreCutAtTheirWidths)
{
    std::string longText(400, 'x');
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("MfHeader=ABCD\r\n"
                                     "DatFile1=abcdefghijklmnopqrst.dat\r\n"
                                     "DatFile2=12345678901234\r\n"
                                     "DatFile4=123456789012345\r\n"
                                     "AccountFile=" + longText + "\r\n"
                                     "HelpFile=" + longText + "\r\n"
                                     "[string]\r\nAppName=" + longText + "\r\n"));
    EXPECT_STREQ(Module.MfHeader, "AB");
    EXPECT_STREQ(Module.DatFile1, "abcdefghijklmn");
    EXPECT_STREQ(Module.DatFile2, "12345678901234");
    EXPECT_STREQ(Module.DatFile4, "12345678901234");
    EXPECT_EQ(strlen(Module.AccountFile), 14u);
    EXPECT_EQ(strlen(Module.AppName), 255u);
    EXPECT_STREQ(Module.HelpFilePath, "") << "a cut help path would name another file";
    ExpectTerminated(Module);

    // Registry paths longer than their buffers are cut too, except the help path.
    SetRegistryString(sandbox.RegistryRoot(), "ModPath32", std::string(300, 'p'));
    SetRegistryString(sandbox.RegistryRoot(), "HelpPath", std::string(300, 'h'));
    sandbox.Reload();
    EXPECT_EQ(strlen(Module.ModPath32), 259u);
    EXPECT_STREQ(Module.HelpFilePath, "");
    ExpectTerminated(Module);
}

TEST(ModuleStart, HelpPathFitsWholeOrNamesNoFile)
{
    struct Row {
        const char* name;
        size_t directoryLength;  // of "HelpPath"; the help file name fills the rest
        size_t pathLength;
        bool named;
    } rows[] = {
        {"exactly at the limit", 200, MAX_PATH - 1, true},
        {"one past the limit", 200, MAX_PATH, false},
        {"HelpPath alone too long", MAX_PATH, MAX_PATH + 20, false},
    };
    for (const Row& row : rows) {
        std::string helpPath = "C:\\" + std::string(row.directoryLength - 3, 'h');
        std::string helpFile = std::string(row.pathLength - row.directoryLength - 1 - 4, 'f') + ".chm";
        ModuleSandbox::Options options;
        options.stringFile = "HelpFile=" + helpFile + "\r\n";
        options.directoryTag = std::to_string(&row - rows);
        ModuleSandbox sandbox(options);
        SetRegistryString(sandbox.RegistryRoot(), "HelpPath", helpPath);
        sandbox.Reload();
        EXPECT_EQ(std::string(Module.HelpFilePath), row.named ? helpPath + "\\" + helpFile : "") << row.name;
    }
}

TEST(ProfileNumbers, SaturateInsteadOfWrapping)
{
    std::string file = FreshTestDirectory() + "numbers.ini";
    const DWORD fallback = 9;
    struct Row {
        const char* name;
        std::string value;  // "-": no key at all
        DWORD expected;
    } rows[] = {
        {"plain", "5", 5},
        {"2^32 + 5 is no 5", "4294967301", 0xFFFFFFFFu},
        {"2^32 is no 0", "4294967296", 0xFFFFFFFFu},
        {"largest", "4294967295", 0xFFFFFFFFu},
        {"very many digits", std::string(40, '9'), 0xFFFFFFFFu},
        {"many leading zeros", std::string(60, '0') + "7", 7},
        {"negative", "-1", 0xFFFFFFFFu},
        {"negative beyond 32 bits stays large", "-4294967295", 0x80000000u},
        {"sign", "+12", 12},
        {"digits up to the first non-digit", "42abc", 42},
        {"garbage", "abc", 0},
        {"empty value", "", fallback},
        {"missing key", "-", fallback},
    };
    std::string contents = "[n]\r\n";
    for (const Row& row : rows)
        if (row.value != "-")
            contents += std::to_string(&row - rows) + "=" + row.value + "\r\n";
    WriteFileBytes(file, contents);
    for (const Row& row : rows)
        EXPECT_EQ(ReadProfileNumber(file.c_str(), "n", std::to_string(&row - rows).c_str(), fallback), row.expected)
            << row.name;
    EXPECT_EQ(ParseDecimal("4294967301"), 0xFFFFFFFFu) << "IDs read the same way";
    EXPECT_EQ(ParseDecimal("-4294967297"), 0x80000000u);
}

TEST(ProfileFunctions, NoFileNameReadsTheFallbackAndWritesNothing)
{
    char text[16] = "sentinel";
    for (const char* file : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(ReadProfileText(file, "windows", "device", "fallback", text), 8u);
        EXPECT_STREQ(text, "fallback");
        EXPECT_EQ(ReadProfileNumber(file, "windows", "BorderWidth", 77), 77u);
        EXPECT_FALSE(WriteProfileText(file, "ZR section", "ZR key", "x"));
    }
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(ReadFileBytes(std::string(windows) + "\\win.ini").find("ZR key"), std::string::npos);
}

// The file the profile functions would open, as the remembered reads key it: none for no name.
TEST(ProfileFileLocation, NamesNoFileWithoutAName)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    struct Case {
        const char* name;
        const char* file;
        std::string location;
    } cases[] = {
        {"null", nullptr, ""},
        {"empty", "", ""},
        {"a bare name: the Windows directory's", "vtjobac.ini", std::string(windows) + "\\vtjobac.ini"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProfileFileLocation(c.file), c.location) << c.name;
}

TEST(ModuleStart, JunkStringFileNeverOverrunsTheState)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 37 + 11) & 0xFF);
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("MfHeader=\x01\xff\xfe\r\nDatFile1=\r\n[string]\r\n" + junk));
    ExpectTerminated(Module);
    EXPECT_STREQ(Module.DatFile1, "");  // present but empty: no data file can match it by accident
    EXPECT_STREQ(Module.DatFile2, "vtjobac2.dat");
}

// The string file's keys read at load come from one read of its text wherever the text is plain,
// and what is read there is what the profile functions read; anything else goes to them.
TEST(PlainProfileValues, AgreeWithTheProfileFunctions)
{
    struct Row {
        const char* name;
        const char* text;
        const char* key;
        bool answeredFromText;  // whether the text alone may answer
    } rows[] = {
        {"plain", "[common]\r\nDatFile1=one.dat\r\n", "DatFile1", true},
        {"case and blanks", "[ComMon]\r\n  datfile1 \t=\t one two.dat  \r\n", "DatFile1", true},
        {"empty value", "[common]\r\nDatFile1=\r\n", "DatFile1", true},
        {"first of two", "[common]\r\nDatFile1=a\r\nDATFILE1=b\r\n", "DatFile1", true},
        {"other section", "[string]\r\nDatFile1=s\r\n[common]\r\nDatFile2=c\r\n", "DatFile1", true},
        {"comment", "[common]\r\n;DatFile1=no\r\nDatFile1=yes\r\n", "DatFile1", true},
        {"no section", "DatFile1=x\r\n", "DatFile1", true},
        {"bare LF lines", "[common]\nDatFile1=lf.dat\n", "DatFile1", true},
        {"no last line end", "[common]\r\nDatFile1=end.dat", "DatFile1", true},
        {"text after bracket", "[common] ; note\r\nDatFile1=n\r\n", "DatFile1", true},
        {"double quotes", "[common]\r\nDatFile1=\"q.dat\"\r\n", "DatFile1", false},
        {"single quotes", "[common]\r\nDatFile1='q.dat'\r\n", "DatFile1", false},
        {"bare key", "[common]\r\nDatFile1\r\n", "DatFile1", false},
        {"section twice", "[common]\r\nA=1\r\n[common]\r\nDatFile1=2\r\n", "DatFile1", false},
        {"blanks in brackets", "[ common ]\r\nDatFile1=b\r\n", "DatFile1", false},
        {"unclosed header", "[common\r\nDatFile1=u\r\n", "DatFile1", false},
        {"byte-order mark", "\xEF\xBB\xBF[common]\r\nDatFile1=m\r\n", "DatFile1", false},
        {"lone CR", "[common]\rDatFile1=r\r\n", "DatFile1", false},
        {"high bytes", "[common]\r\nAppName=\x93\xfa\x96\x7b\r\n", "AppName", false},
    };
    const std::string directory = FreshTestDirectory("plainprofile");
    int index = 0;
    for (const Row& row : rows) {
        const std::string path = directory + "s" + std::to_string(index++) + ".ini";
        WriteFileBytes(path, row.text);
        char platform[64] = {};
        GetPrivateProfileStringA("common", row.key, "FALLBACK", platform, sizeof platform, path.c_str());
        std::string value;
        const ProfileAnswer answer = FindPlainProfileValue(row.text, "common", row.key, &value);
        EXPECT_EQ(answer != ProfileAnswer::Unsure, row.answeredFromText) << row.name;
        if (answer == ProfileAnswer::Value) {
            EXPECT_EQ(value, platform) << row.name;
        } else if (answer == ProfileAnswer::Absent) {
            EXPECT_STREQ(platform, "FALLBACK") << row.name;
        }
    }
}

// The module reads its string file whole only up to a limit; a larger file is not read at all.
TEST(ReadWholeFile, TakesAFileUpToItsLimitAndNoMore)
{
    const std::string path = FreshTestDirectory("whole") + "ten.txt";
    WriteFileBytes(path, "0123456789");
    struct Row {
        size_t mostBytes;
        bool read;
    } rows[] = {{SIZE_MAX, true}, {10, true}, {9, false}, {0, false}};
    for (const Row& row : rows) {
        std::string bytes = "sentinel";
        EXPECT_EQ(ReadWholeFile(path.c_str(), &bytes, row.mostBytes), row.read) << row.mostBytes;
        EXPECT_EQ(bytes, row.read ? "0123456789" : "") << row.mostBytes;
    }
}

// A settings file is rewritten from what it held: only a file (or folder) that is not there reads
// as empty. One that is there but cannot be read is left as it was, and the reason is the thread's
// last error.
TEST(UpdateSettingsFile, AFileThatCannotBeReadIsLeftAsItWas)
{
    const std::string directory = FreshTestDirectory("update");
    const std::string before = "[JobAccount]\r\nMode=6\r\nPath=C:\\share\r\n[JobAccountID]\r\nalice=1\r\n";
    struct Row {
        const char* name;
        bool exists;
        DWORD readError;  // 0: the read succeeds
        bool written;
    } rows[] = {
        {"a readable file", true, 0, true},
        {"a missing file", false, 0, true},
        {"reading denied by the file's access list", true, ERROR_ACCESS_DENIED, false},
        {"held by another process without read sharing", true, ERROR_SHARING_VIOLATION, false},
        {"a share that went away", true, ERROR_NETNAME_DELETED, false},
    };
    int index = 0;
    for (const Row& row : rows) {
        const std::string path = directory + "s" + std::to_string(index++) + ".dat";
        if (row.exists)
            WriteFileBytes(path, before);
        bool written = false;
        DWORD error = 0;
        {
            // The test program's own reads go through the same import: only the call is under it.
            FileFailures failures(nullptr);
            ASSERT_TRUE(failures.ok());
            if (row.readError)
                failures.FailReads(path, row.readError);
            SetLastError(0);
            written = SetProfileKeys(path.c_str(), "JobAccountID", {{"bob", "2"}});
            error = GetLastError();
        }
        EXPECT_EQ(written, row.written) << row.name;
        if (!row.written) {
            EXPECT_EQ(error, row.readError) << row.name;
            EXPECT_EQ(ReadFileBytes(path), before) << row.name << ": nothing may be lost";
            continue;
        }
        const std::string after = ReadFileBytes(path);
        EXPECT_NE(after.find("bob=2"), std::string::npos) << row.name << "\n" << after;
        EXPECT_EQ(after.find("Path=C:\\share") != std::string::npos, row.exists) << row.name << "\n" << after;
    }
}

// A replacement that fails reports its own reason, not that of cleaning up its temporary file.
TEST(ReplaceFileContents, AFailedWriteKeepsItsOwnError)
{
    const std::string directory = FreshTestDirectory("replace");
    const std::string path = directory + "target.dat";
    for (DWORD error : {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_DISK_FULL)}) {
        WriteFileBytes(path, "[A]\r\nk=v\r\n");
        bool replaced = true;
        DWORD reported = 0;
        int failed = 0;
        {
            FileFailures failures(nullptr);
            ASSERT_TRUE(failures.ok());
            failures.FailNewFiles(error);
            SetLastError(0);
            replaced = ReplaceFileContents(path.c_str(), "[B]\r\n");
            reported = GetLastError();
            failed = failures.Failed();
        }
        EXPECT_FALSE(replaced) << error;
        EXPECT_EQ(reported, error);
        EXPECT_EQ(failed, 1) << error;
        EXPECT_EQ(ReadFileBytes(path), "[A]\r\nk=v\r\n") << error;
    }
}

TEST(ModuleStart, KeysTheTextCannotAnswerComeFromTheProfileFunctions)
{
    ModuleSandbox sandbox(ModuleSandbox::WithStringFile("DatFile1=\"quoted.dat\"\r\nDatFile2\r\n"
                                                        "MfHeader= Z \r\n[string]\r\nAppName='Name'\r\n"));
    char expected[64] = {};
    GetPrivateProfileStringA("common", "DatFile1", "", expected, sizeof expected, Module.StringFilePath);
    EXPECT_STREQ(Module.DatFile1, expected);
    EXPECT_STREQ(Module.DatFile1, "quoted.dat");
    GetPrivateProfileStringA("common", "DatFile2", "vtjobac2.dat", expected, sizeof expected, Module.StringFilePath);
    EXPECT_STREQ(Module.DatFile2, expected);
    EXPECT_STREQ(Module.MfHeader, "Z");
    GetPrivateProfileStringA("string", "AppName", "", expected, sizeof expected, Module.StringFilePath);
    EXPECT_STREQ(Module.AppName, expected);
}

TEST(TheDll, LoadsAndCarriesItsResources)
{
    ModuleSandbox sandbox;
    char text[32] = {};
    EXPECT_GT(LoadStringA(sandbox.Handle(), IDS_STRING_FILE, text, sizeof text), 0);
    EXPECT_STREQ(text, "zrjobacs.str");
    EXPECT_GT(LoadStringA(sandbox.Handle(), IDS_STRING_FILE_ALT, text, sizeof text), 0);
    EXPECT_STREQ(text, "zrjobacs.ini");
    EXPECT_NE(LoadIconA(sandbox.Handle(), MAKEINTRESOURCEA(IDI_MODULE)), nullptr);

    std::string path = sandbox.Directory() + "zrlogext.dll";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    for (const char* name : {"ProductVersion", "LegalCopyright"}) {
        char* value = nullptr;
        UINT length = 0;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        EXPECT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << name;
        EXPECT_GT(length, 1u) << name;
    }
}

TEST(OwnedStrings, DuplicateAndFree)
{
    char* empty = DuplicateString("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(LocalSize(empty), 1u);
    EXPECT_EQ(empty[0], '\0');
    EXPECT_TRUE(FreeString(empty));

    char* copy = DuplicateString("printer");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(LocalSize(copy), 8u);
    EXPECT_STREQ(copy, "printer");
    EXPECT_TRUE(FreeString(copy));

    EXPECT_EQ(DuplicateString(nullptr), nullptr);
    EXPECT_FALSE(FreeString(nullptr));
}

TEST(RegistryDword, OnlyAFourByteDwordIsRead)
{
    ModuleSandbox sandbox;
    EXPECT_EQ(ReadRegistryDword("AllFlag", 0), 0u) << "no key at all";
    EXPECT_EQ(ReadRegistryDword("AllFlag", 9), 9u);

    SetRegistryString(sandbox.RegistryRoot(), "AllMode", "1");
    EXPECT_EQ(ReadRegistryDword("AllMode", 5), 5u) << "REG_SZ";

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, sandbox.RegistryRoot().c_str(), 0, KEY_WRITE, &key), ERROR_SUCCESS);
    const BYTE eight[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    RegSetValueExA(key, "Wide", 0, REG_BINARY, eight, sizeof eight);
    RegSetValueExA(key, "Short", 0, REG_DWORD, eight, 2);
    RegCloseKey(key);
    EXPECT_EQ(ReadRegistryDword("Wide", 4), 4u) << "8-byte binary";
    EXPECT_EQ(ReadRegistryDword("Short", 4), 4u) << "2-byte dword";

    WriteRegistryDword("DefaultMode", 0xFFFFFFFFu);
    EXPECT_EQ(ReadRegistryDword("DefaultMode", 0), 0xFFFFFFFFu);
}

TEST(RegistryDword, FirstWriteCreatesTheKey)
{
    ModuleSandbox sandbox;
    DeleteRegistryTree(sandbox.RegistryRoot());
    WriteRegistryDword("AllFlag", 1);
    EXPECT_EQ(ReadRegistryDword("AllFlag", 0), 1u);
}

namespace {

// Runs a copy of version_probe.exe that Wine is told to run as `version` ("" for the default).
std::string ProbeAs(const std::string& version)
{
    std::string dir = FreshTestDirectory(version.empty() ? "default" : version);
    std::string exe = "zrprobe_" + (version.empty() ? std::string("default") : version) + ".exe";
    CopyFileA((ProgramDirectory() + "version_probe.exe").c_str(), (dir + exe).c_str(), FALSE);
    std::string appKey = "Software\\Wine\\AppDefaults\\" + exe;
    if (!version.empty()) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                       static_cast<DWORD>(version.size() + 1));
        RegCloseKey(key);
    }

    std::string output = RunProgram(dir + exe, "", dir).out;
    RegDeleteTreeA(HKEY_CURRENT_USER, appKey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, appKey.c_str());
    RemoveTree(dir);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

}  // namespace

TEST(VersionProbes, FollowTheVersionTheSystemReports)
{
    struct Row {
        const char* version;
        const char* expected;
    } rows[] = {
        {"win98", "nt=0 2000=0 xp=0 vista=0"},
        {"nt40", "nt=1 2000=0 xp=0 vista=0"},
        {"win2k", "nt=1 2000=1 xp=0 vista=0"},
        {"winxp", "nt=1 2000=1 xp=1 vista=0"},
        {"win2003", "nt=1 2000=1 xp=1 vista=0"},
        {"vista", "nt=1 2000=1 xp=1 vista=1"},
        {"", "nt=1 2000=1 xp=1 vista=1"},
    };
    // The probe is built in this program's width; only the x64 build says it is one.
    const std::string width = sizeof(void*) == 8 ? " x64=1" : " x64=0";
    for (const Row& row : rows)
        EXPECT_EQ(ProbeAs(row.version), row.expected + width) << (row.version[0] ? row.version : "default");
}

namespace {

// Stand-in for the loader of Windows Vista and 7 without update KB2533623, which knows no search
// flags and refuses a call that names one.
namespace without_search_flags {

decltype(&LoadLibraryExW) realLoad;

HMODULE WINAPI LoadLibraryExStub(LPCWSTR name, HANDLE file, DWORD flags)
{
    if (flags & 0xFF00) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return realLoad(name, file, flags);
}

}  // namespace without_search_flags

std::wstring FolderOf(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : 0);
    folder.erase(folder.empty() ? 0 : folder.rfind(L'\\'));
    CharLowerW(folder.data());
    return folder;
}

// A manifest that asks for the common controls of version 6, as a printing application's does.
const char CommonControls6Manifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
    "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" "
    "version=\"6.0.0.0\" processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>"
    "</dependentAssembly></dependency>\r\n"
    "</assembly>\r\n";

// A file that stands beside the test program while it lives.
class PlantedBesideProgram {
public:
    PlantedBesideProgram(const std::string& source, const std::string& name) : path_(ProgramDirectory() + name)
    {
        EXPECT_TRUE(CopyFileA((ProgramDirectory() + source).c_str(), path_.c_str(), FALSE)) << name;
    }
    ~PlantedBesideProgram() { DeleteFileA(path_.c_str()); }
    PlantedBesideProgram(const PlantedBesideProgram&) = delete;
    PlantedBesideProgram& operator=(const PlantedBesideProgram&) = delete;

private:
    std::string path_;
};

}  // namespace

// A system DLL comes from the system folder of the process's width (where kernel32 lies), never
// from the application's folder, with the loader's search flags and without them (Windows Vista and
// 7 without update KB2533623). A bare name's search would find the hhctrl.ocx beside this program
// (Wine then names the DLL with that folder, even where it loads its own).
TEST(SystemLibraries, ComeFromTheSystemFolder)
{
    const std::wstring systemFolder = FolderOf(GetModuleHandleW(L"kernel32.dll"));
    ASSERT_FALSE(systemFolder.empty());
    PlantedBesideProgram planted("zrplanted.dll", "hhctrl.ocx");
    for (bool searchFlags : {true, false}) {
        const char* route = searchFlags ? "with search flags" : "without search flags";
        std::unique_ptr<ImportHook> oldLoader;
        if (!searchFlags) {
            oldLoader = std::make_unique<ImportHook>(nullptr, "kernel32.dll", "LoadLibraryExW",
                                                     reinterpret_cast<void*>(&without_search_flags::LoadLibraryExStub));
            ASSERT_TRUE(oldLoader->ok());
            without_search_flags::realLoad = reinterpret_cast<decltype(&LoadLibraryExW)>(oldLoader->original());
        }
        for (const char* name : {"hhctrl.ocx", "netapi32.dll", "comctl32.dll"}) {
            HMODULE module = LoadSystemLibrary(name);
            ASSERT_NE(module, nullptr) << route << ": " << name << ", error " << GetLastError();
            EXPECT_EQ(FolderOf(module), systemFolder) << route << ": " << name;
            FreeLibrary(module);
        }
    }
}

// An application whose manifest asks for comctl32 version 6 gets that version from the side-by-side
// store on either road (the loader applies the activation context to a bare name only). It runs in
// the host program, which has no comctl32 loaded before: Wine keeps one comctl32 per process.
TEST(SystemLibraries, TheActivationContextsComctl32StaysInForce)
{
    const std::string directory = FreshTestDirectory("host");
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "zrhost.exe").c_str(), (directory + "zrhost.exe").c_str(), FALSE));
    WriteFileBytes(directory + "app.manifest", CommonControls6Manifest);
    std::string systemFolder(MAX_PATH, '\0');
    systemFolder.resize(GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), systemFolder.data(), MAX_PATH));
    systemFolder.erase(systemFolder.rfind('\\') + 1);
    CharLowerBuffA(systemFolder.data(), static_cast<DWORD>(systemFolder.size()));
    struct Row {
        const char* name;
        std::string arguments;
        bool sideBySide;
    } rows[] = {
        {"with search flags, no manifest", "library comctl32.dll - flags", false},
        {"with search flags, version 6", "library comctl32.dll \"" + directory + "app.manifest\" flags", true},
        {"without search flags, version 6", "library comctl32.dll \"" + directory + "app.manifest\" no-flags", true},
    };
    for (const Row& row : rows) {
        const ProgramRun run = RunProgram(directory + "zrhost.exe", row.arguments, directory);
        ASSERT_EQ(run.exitCode, 0u) << row.name << ": " << run.out << run.err;
        std::string path = run.out.substr(0, run.out.find_first_of("\r\n"));
        CharLowerBuffA(path.data(), static_cast<DWORD>(path.size()));
        const bool inSystemFolder = path == systemFolder + "comctl32.dll";
        const bool inSideBySideStore = path.find("\\winsxs\\") != std::string::npos &&
                                       path.find("common-controls") != std::string::npos;
        EXPECT_EQ(inSystemFolder, !row.sideBySide) << row.name << ": " << path;
        EXPECT_EQ(inSideBySideStore, row.sideBySide) << row.name << ": " << path;
    }
}
