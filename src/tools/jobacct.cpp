// The command-line host of zrlogext.dll, which it loads from beside itself as a printer driver
// does:
//   jobacct read "<printer>"                          the job account ID and user ID of a job
//   jobacct drivers [--json]                          every driver with its mode and settings file
//   jobacct set-mode "<driver>" [--environment "<environment>"] <tab|popup|hide|none>
//                                                     switches one driver
//   jobacct set-mode --all <tab|popup|hide|none>       switches every supporting driver
//   jobacct import "<file.csv>"                       registers the IDs of an ID file
//   jobacct list [--fixed] [--json]                   the registered (or fixed) IDs as an ID file
//   jobacct diagnose "<printer>" [--json]             why a printer does (or does not) account
//   jobacct diagnose --all [--json]                   one line per printer: the first problem
// With --json the answer is one JSON document in UTF-8 on stdout, for scripts.
// Exit codes: 0 done (diagnose: accounting works); 1 no job accounting (read), the change failed
// (set-mode), the import failed, a problem was found or the module could not make its answer (out
// of memory: diagnose, drivers, list); 2 bad arguments; 3 the module
// cannot be loaded; 4 unknown driver; 5 bad mode word; 6 not an administrator; 7 lines of the ID
// file were refused (the others were imported); 8 the mode was changed, but the print spooler
// could not be restarted: restart the computer before printing (set-mode).
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/json_text.h"

namespace {

enum ExitCode {
    ExitDone = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitNoModule = 3,
    ExitUnknownDriver = 4,
    ExitBadMode = 5,
    ExitNotAdministrator = 6,
    ExitLinesRefused = 7,
    ExitRestartNeeded = 8,
};

struct JobAccountResult {
    DWORD JobAccountID;
    char UserID[81];
    char Spare[47];
};
using ReadJobAccountIDFn = int(WINAPI*)(const char*, DWORD, JobAccountResult*);
using SetJobAccountModeFn = int(WINAPI*)(const char*, DWORD);
using SetDriverJobAccountModeFn = int(WINAPI*)(const char*, const char*, DWORD);
using ListJobAccountDriversFn = DWORD(WINAPI*)(char*, DWORD);
using IDFileRefusalFn = void(WINAPI*)(void*, DWORD, DWORD);
using ImportJobAccountIDFileFn = int(WINAPI*)(const char*, IDFileRefusalFn, void*);
using ListJobAccountIDsFn = DWORD(WINAPI*)(DWORD, char*, DWORD);
using DiagnoseJobAccountFn = DWORD(WINAPI*)(const char*, char*, DWORD);

int Usage()
{
    std::fprintf(stderr,
                 "usage: jobacct read \"<printer name>\"\n"
                 "       jobacct drivers [--json]\n"
                 "       jobacct set-mode \"<driver name>\" [--environment \"<environment>\"] <tab|popup|hide|none>\n"
                 "       jobacct set-mode --all <tab|popup|hide|none>\n"
                 "       jobacct import \"<file.csv>\"\n"
                 "       jobacct list [--fixed] [--json]\n"
                 "       jobacct diagnose \"<printer name>\" [--json]\n"
                 "       jobacct diagnose --all [--json]\n");
    return ExitUsage;
}

class ModuleBeside {
public:
    ModuleBeside()
    {
        char path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
        // A cut or missing name would name another directory, or leave the search to the system.
        if (length == 0 || length >= sizeof path || !strchr(path, '\\')) {
            std::fprintf(stderr, "jobacct: cannot tell the directory it runs from\n");
            return;
        }
        path_ = path;
        path_ = path_.substr(0, path_.rfind('\\') + 1) + "zrlogext.dll";
        module_ = LoadLibraryA(path_.c_str());
        if (!module_)
            std::fprintf(stderr, "jobacct: cannot load %s (error %lu)\n", path_.c_str(), GetLastError());
    }
    ~ModuleBeside()
    {
        if (module_)
            FreeLibrary(module_);
    }
    ModuleBeside(const ModuleBeside&) = delete;
    ModuleBeside& operator=(const ModuleBeside&) = delete;

    explicit operator bool() const { return module_ != nullptr; }

    // The export, or null after saying on stderr that it is missing.
    template <typename T>
    T Get(const char* name) const
    {
        T entry = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (!entry)
            std::fprintf(stderr, "jobacct: %s has no %s\n", path_.c_str(), name);
        return entry;
    }

private:
    std::string path_;
    HMODULE module_ = nullptr;
};

std::string SystemText(DWORD error)
{
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
    return length ? text : "no text for this error";
}

bool IsAdministrator()
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

// The JobAccountMode of a mode word in any letter case, or -1.
int ModeOfWord(const char* word)
{
    const char* const words[] = {"none", "tab", "popup", "hide"};
    for (int mode = 0; mode < 4; ++mode)
        if (lstrcmpiA(word, words[mode]) == 0)
            return mode;
    return -1;
}

int ReadAccount(const char* printer)
{
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    auto read = module.Get<ReadJobAccountIDFn>("ReadJobAccountID");
    if (!read)
        return ExitNoModule;
    JobAccountResult result = {};
    if (!read(printer, 0, &result)) {
        std::fprintf(stderr, "jobacct: printer \"%s\" has no job accounting (or does not exist)\n", printer);
        return ExitFailed;
    }
    result.UserID[sizeof result.UserID - 1] = '\0';
    std::printf("printer \"%s\": job account ID %lu, user ID \"%s\"\n", printer,
                static_cast<unsigned long>(result.JobAccountID), result.UserID);
    return ExitDone;
}

// One line per driver: name, environment, mode, driver flag, settings file, tab-separated.
// The text of an export that fills a buffer of the caller's (each answers the bytes its text needs
// with the terminator, 0 when it failed), asked again while the text grew between two calls. False
// when the export failed: the thread's last error says why.
template <typename Ask>
bool ReadExportText(Ask ask, size_t firstGuess, std::vector<char>* text)
{
    text->assign(firstGuess, '\0');
    for (;;) {
        const DWORD needed = ask(text->data(), static_cast<DWORD>(text->size()));
        if (needed == 0)
            return false;
        if (needed <= text->size())
            return true;
        text->assign(needed + (needed >> 3), '\0');
    }
}

int ReportExportFailure(const char* what)
{
    std::fprintf(stderr, "jobacct: %s could not be made (error %lu)\n", what, static_cast<unsigned long>(GetLastError()));
    return ExitFailed;
}

// The lines of an export's text, each without its CR LF.
std::vector<std::string> TextLines(const char* text)
{
    std::vector<std::string> lines;
    for (const char* line = text; *line;) {
        const char* end = std::strstr(line, "\r\n");
        lines.emplace_back(end ? std::string(line, end) : std::string(line));
        line = end ? end + 2 : line + lines.back().size();
    }
    return lines;
}

std::vector<std::string> TabFields(const std::string& line)
{
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// The fields of an ID file's line as the module writes it: a field that starts with a double quote
// runs to the quote before the next comma or the line's end.
std::vector<std::string> IdFileFields(const std::string& line)
{
    std::vector<std::string> fields;
    for (size_t p = 0;;) {
        std::string field;
        if (p < line.size() && line[p] == '"') {
            size_t close = p + 1;
            while (close < line.size() && !(line[close] == '"' && (close + 1 == line.size() || line[close + 1] == ',')))
                ++close;
            field = line.substr(p + 1, close - p - 1);
            p = close + 1;
        } else {
            const size_t comma = line.find(',', p);
            field = line.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
            p = comma == std::string::npos ? line.size() : comma;
        }
        fields.push_back(field);
        if (p >= line.size())
            return fields;
        ++p;  // the comma
    }
}

int WriteJson(const JsonValue& document)
{
    const std::string text = document.Format();
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return ExitDone;
}

JsonValue DriversAsJson(const char* text)
{
    JsonValue drivers = JsonValue::Array();
    for (const std::string& line : TextLines(text)) {
        std::vector<std::string> fields = TabFields(line);
        fields.resize(5);
        JsonValue& driver = drivers.Add(JsonValue::Object());
        driver.Set("name", JsonValue::Text(fields[0]));
        driver.Set("environment", JsonValue::Text(fields[1]));
        driver.Set("mode", JsonValue::Text(fields[2]));
        driver.Set("driverFlag", JsonValue::Number(std::strtoul(fields[3].c_str(), nullptr, 10)));
        driver.Set("settingsFile", JsonValue::Text(fields[4]));
    }
    return drivers;
}

int ListDrivers(bool json)
{
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    auto list = module.Get<ListJobAccountDriversFn>("ListJobAccountDrivers");
    if (!list)
        return ExitNoModule;
    std::vector<char> text;
    if (!ReadExportText(list, 64 * 1024, &text))
        return ReportExportFailure("the driver list");
    if (json)
        return WriteJson(DriversAsJson(text.data()));
    std::printf("%s", text.data());
    return ExitDone;
}

// One installed driver as ListJobAccountDrivers names it.
struct InstalledDriverLine {
    std::string name, environment, mode;
};

std::vector<InstalledDriverLine> ParseDriverLines(const char* text)
{
    std::vector<InstalledDriverLine> drivers;
    for (const char* line = text; *line;) {
        const char* end = std::strstr(line, "\r\n");
        const std::string whole = end ? std::string(line, end) : std::string(line);
        line = end ? end + 2 : line + whole.size();
        const size_t first = whole.find('\t');
        const size_t second = first == std::string::npos ? std::string::npos : whole.find('\t', first + 1);
        const size_t third = second == std::string::npos ? std::string::npos : whole.find('\t', second + 1);
        if (third == std::string::npos)
            continue;
        drivers.push_back({whole.substr(0, first), whole.substr(first + 1, second - first - 1),
                           whole.substr(second + 1, third - second - 1)});
    }
    return drivers;
}

std::string EnvironmentsOf(const std::vector<const InstalledDriverLine*>& drivers)
{
    std::string text;
    for (const InstalledDriverLine* driver : drivers)
        text += (text.empty() ? "\"" : ", \"") + driver->environment + "\"";
    return text;
}

// The environment of the one supporting driver the arguments name; false after saying on stderr
// why there is none (no such driver, not one with job accounting, or a name that stands for two).
bool ChooseDriver(const std::vector<InstalledDriverLine>& installed, const char* driver, const char* environment,
                  std::string* chosen)
{
    std::vector<const InstalledDriverLine*> named, supporting;
    for (const InstalledDriverLine& line : installed) {
        if (line.name != driver)
            continue;
        named.push_back(&line);
        if ((!environment || line.environment == environment) && line.mode != "unsupported")
            supporting.push_back(&line);
    }
    if (supporting.size() == 1) {
        *chosen = supporting.front()->environment;
        return true;
    }
    if (named.empty())
        std::fprintf(stderr, "jobacct: no printer driver named \"%s\" is installed\n", driver);
    else if (supporting.size() > 1)
        std::fprintf(stderr,
                     "jobacct: printer drivers named \"%s\" are installed for %s: name one with --environment "
                     "\"<environment>\"\n",
                     driver, EnvironmentsOf(supporting).c_str());
    else if (environment && std::none_of(named.begin(), named.end(), [&](const InstalledDriverLine* line) {
                 return line->environment == environment;
             }))
        std::fprintf(stderr, "jobacct: printer driver \"%s\" is not installed for \"%s\", only for %s\n", driver,
                     environment, EnvironmentsOf(named).c_str());
    else
        std::fprintf(stderr,
                     "jobacct: printer driver \"%s\" has no job accounting (no capability file among its dependent "
                     "files declares it)\n",
                     driver);
    return false;
}

int ReportSetModeFailure(const char* driver)
{
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_UNKNOWN_PRINTER_DRIVER:
        if (driver)
            std::fprintf(stderr, "jobacct: printer driver \"%s\" is no longer installed\n", driver);
        else
            std::fprintf(stderr, "jobacct: no printer driver with job accounting is installed\n");
        return ExitUnknownDriver;
    case ERROR_SUCCESS_REBOOT_REQUIRED:
        std::fprintf(stderr,
                     "jobacct: the mode was changed, but the print spooler could not be restarted: restart the "
                     "computer before printing\n");
        return ExitRestartNeeded;
    default:
        std::fprintf(stderr, "jobacct: changing the mode failed: error %lu: %s\n", error, SystemText(error).c_str());
        return ExitFailed;
    }
}

// `driver` null: every driver with job accounting. `environment` null: the one driver of that name
// with job accounting, in whichever environment it is installed.
int SetMode(const char* driver, const char* environment, const char* word)
{
    const int mode = ModeOfWord(word);
    if (mode < 0) {
        std::fprintf(stderr, "jobacct: unknown mode \"%s\" (use tab, popup, hide or none)\n", word);
        return ExitBadMode;
    }
    if (!IsAdministrator()) {
        std::fprintf(stderr, "jobacct: changing a driver's mode needs an administrator\n");
        return ExitNotAdministrator;
    }
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    if (!driver) {
        auto set = module.Get<SetJobAccountModeFn>("SetJobAccountMode");
        if (!set)
            return ExitNoModule;
        return set(nullptr, static_cast<DWORD>(mode)) ? ExitDone : ReportSetModeFailure(nullptr);
    }
    auto list = module.Get<ListJobAccountDriversFn>("ListJobAccountDrivers");
    auto set = module.Get<SetDriverJobAccountModeFn>("SetDriverJobAccountMode");
    if (!list || !set)
        return ExitNoModule;
    std::vector<char> text;
    if (!ReadExportText(list, 64 * 1024, &text))
        return ReportExportFailure("the driver list");
    std::string chosen;
    if (!ChooseDriver(ParseDriverLines(text.data()), driver, environment, &chosen))
        return ExitUnknownDriver;
    return set(driver, chosen.c_str(), static_cast<DWORD>(mode)) ? ExitDone : ReportSetModeFailure(driver);
}

// jobacct set-mode <"<driver>" [--environment "<environment>"] | --all> <mode>
int SetModeCommand(int argc, char** argv)
{
    const char* driver = nullptr;
    const char* environment = nullptr;
    bool all = false;
    for (int i = 2; i < argc - 1; ++i) {
        if (std::strcmp(argv[i], "--all") == 0 && !all && !driver)
            all = true;
        else if (std::strcmp(argv[i], "--environment") == 0 && !environment && i + 1 < argc - 1 && argv[i + 1][0])
            environment = argv[++i];
        else if (argv[i][0] && !driver && !all)
            driver = argv[i];
        else
            return Usage();
    }
    // A mode word is never an option: "--environment" without its value lands there.
    if (argc < 4 || all == (driver != nullptr) || (all && environment) || std::strncmp(argv[argc - 1], "--", 2) == 0)
        return Usage();
    return SetMode(driver, environment, argv[argc - 1]);
}

const char* RefusalReason(DWORD code)
{
    switch (code) {
    case 2:
        return "the name or user name holds a character a list does not take, or is longer than 80 bytes";
    case 3:
        return "the job account ID holds a character other than a decimal digit";
    case 4:
        return "the job account ID is longer than 10 digits or outside 1 to 999999999";
    default:
        return "refused";
    }
}

struct ImportReport {
    const char* file;
    DWORD refused;
};

void WINAPI ReportRefusedLine(void* context, DWORD line, DWORD code)
{
    auto* report = static_cast<ImportReport*>(context);
    ++report->refused;
    std::fprintf(stderr, "%s:%lu: refused (code %lu): %s\n", report->file, static_cast<unsigned long>(line),
                 static_cast<unsigned long>(code), RefusalReason(code));
}

int ImportIDFile(const char* file)
{
    if (!IsAdministrator()) {
        std::fprintf(stderr, "jobacct: importing IDs needs an administrator\n");
        return ExitNotAdministrator;
    }
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    auto import = module.Get<ImportJobAccountIDFileFn>("ImportJobAccountIDFile");
    if (!import)
        return ExitNoModule;
    ImportReport report{file, 0};
    const int result = import(file, &ReportRefusedLine, &report);
    const DWORD error = GetLastError();
    switch (result) {
    case -1:
        std::fprintf(stderr, "jobacct: cannot read \"%s\": error %lu: %s\n", file, error, SystemText(error).c_str());
        return ExitFailed;
    case -2:
        std::fprintf(stderr, "jobacct: cannot write the printer settings file beside the module: error %lu: %s\n",
                     error, SystemText(error).c_str());
        return ExitFailed;
    case -3:
        std::fprintf(stderr, "jobacct: the IDs were registered, but a printer driver's copy could not be updated\n");
        return ExitFailed;
    case -4:
        std::fprintf(stderr, "jobacct: \"%s\" is larger than 64 MB, too large for an ID file; nothing was imported\n",
                     file);
        return ExitFailed;
    case -5:
        std::fprintf(stderr,
                     "jobacct: \"%s\" is Unicode (UTF-16) text, which cannot be imported; save it as CSV or CSV "
                     "UTF-8; nothing was imported\n",
                     file);
        return ExitFailed;
    default:
        if (report.refused > 0) {
            std::fprintf(stderr, "jobacct: %lu line(s) refused; the other lines were imported\n",
                         static_cast<unsigned long>(report.refused));
            return ExitLinesRefused;
        }
        return ExitDone;
    }
}

// The list's rows: login name (or the candidate's name), ID and the user name put on the job; a
// registered name without its own user name puts the login name on the job.
JsonValue IDsAsJson(const char* text, bool fixed)
{
    JsonValue rows = JsonValue::Array();
    for (const std::string& line : TextLines(text)) {
        std::vector<std::string> fields = IdFileFields(line);
        if (fields.size() < 3)
            fields.push_back(fixed ? "" : fields[0]);
        fields.resize(3);
        JsonValue& row = rows.Add(JsonValue::Object());
        row.Set("name", JsonValue::Text(fields[0]));
        row.Set("id", JsonValue::Text(fields[1]));
        row.Set("userName", JsonValue::Text(fields[2]));
    }
    return rows;
}

int ListIDs(bool fixed, bool json)
{
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    auto list = module.Get<ListJobAccountIDsFn>("ListJobAccountIDs");
    if (!list)
        return ExitNoModule;
    std::vector<char> text;
    if (!ReadExportText([&](char* buffer, DWORD size) { return list(fixed ? 1 : 0, buffer, size); }, 1 << 20, &text))
        return ReportExportFailure("the ID list");
    if (json)
        return WriteJson(IDsAsJson(text.data(), fixed));
    // The text already ends its lines with CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text.data(), 1, strlen(text.data()), stdout);
    return ExitDone;
}

// One link of a diagnosis: its name, the value found and where it came from.
struct DiagnosisLine {
    std::string link, value, source;
};

// The printer's diagnosis as its lines; false when the module could not make it (out of memory).
bool DiagnosisLines(DiagnoseJobAccountFn diagnose, const char* printer, std::vector<DiagnosisLine>* lines)
{
    std::vector<char> text;
    if (!ReadExportText([&](char* buffer, DWORD size) { return diagnose(printer, buffer, size); }, 8192, &text))
        return false;
    lines->clear();
    for (const char* line = text.data(); *line;) {
        const char* end = std::strstr(line, "\r\n");
        std::string whole = end ? std::string(line, end) : std::string(line);
        line = end ? end + 2 : line + whole.size();
        DiagnosisLine parsed;
        size_t first = whole.find('\t');
        size_t second = first == std::string::npos ? std::string::npos : whole.find('\t', first + 1);
        parsed.link = whole.substr(0, first);
        if (first != std::string::npos)
            parsed.value = whole.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (second != std::string::npos)
            parsed.source = whole.substr(second + 1);
        lines->push_back(parsed);
    }
    return true;
}

const DiagnosisLine* FindLink(const std::vector<DiagnosisLine>& lines, const char* link)
{
    for (const DiagnosisLine& line : lines)
        if (line.link == link)
            return &line;
    return nullptr;
}

// The last line of a link: the chain names the final one last (a later capability file, the
// settings file's list after its Path).
const DiagnosisLine* FindLastLink(const std::vector<DiagnosisLine>& lines, const char* link)
{
    const DiagnosisLine* found = nullptr;
    for (const DiagnosisLine& line : lines)
        if (line.link == link)
            found = &line;
    return found;
}

// The diagnosis as data: the summary --all prints, then every link with its value and source, and
// the problems apart, each with the file to look at.
JsonValue DiagnosisAsJson(const std::string& printer, const std::vector<DiagnosisLine>& lines)
{
    const DiagnosisLine* driver = FindLink(lines, "driver");
    const DiagnosisLine* mode = FindLink(lines, "mode");
    const DiagnosisLine* source = FindLastLink(lines, "ID from");
    JsonValue diagnosis = JsonValue::Object();
    diagnosis.Set("printer", JsonValue::Text(printer));
    diagnosis.Set("driver", JsonValue::Text(driver ? driver->value : ""));
    diagnosis.Set("mode", JsonValue::Text(mode ? mode->value : "none"));
    diagnosis.Set("idFrom", JsonValue::Text(source ? source->value : "no ID"));
    diagnosis.Set("ok", JsonValue::Bool(!FindLink(lines, "problem")));
    JsonValue& links = diagnosis.Set("links", JsonValue::Array());
    JsonValue& problems = diagnosis.Set("problems", JsonValue::Array());
    for (const DiagnosisLine& line : lines) {
        JsonValue& entry = line.link == "problem" ? problems.Add(JsonValue::Object()) : links.Add(JsonValue::Object());
        if (line.link == "problem") {
            entry.Set("problem", JsonValue::Text(line.value));
        } else {
            entry.Set("link", JsonValue::Text(line.link));
            entry.Set("value", JsonValue::Text(line.value));
        }
        entry.Set("source", JsonValue::Text(line.source));
    }
    return diagnosis;
}

int DiagnosePrinter(const char* printer, bool json)
{
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    auto diagnose = module.Get<DiagnoseJobAccountFn>("DiagnoseJobAccount");
    if (!diagnose)
        return ExitNoModule;
    std::vector<DiagnosisLine> lines;
    if (!DiagnosisLines(diagnose, printer, &lines))
        return ReportExportFailure(("the diagnosis of \"" + std::string(printer) + "\"").c_str());
    const int status = FindLink(lines, "problem") ? ExitFailed : ExitDone;
    if (json) {
        WriteJson(DiagnosisAsJson(printer, lines));
        return status;
    }
    for (const DiagnosisLine& line : lines) {
        if (line.source.empty())
            std::printf("%-22s %s\n", line.link.c_str(), line.value.c_str());
        else
            std::printf("%-22s %s\n%-22s   in %s\n", line.link.c_str(), line.value.c_str(), "", line.source.c_str());
    }
    return status;
}

std::vector<std::string> InstalledPrinters()
{
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, returned = 0;
    EnumPrintersA(flags, nullptr, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> block(needed ? needed : 1, 0);
    if (!EnumPrintersA(flags, nullptr, 2, block.data(), needed, &needed, &returned))
        returned = 0;
    std::vector<std::string> names;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
    for (DWORD i = 0; i < returned; ++i)
        if (printers[i].pPrinterName)
            names.push_back(printers[i].pPrinterName);
    return names;
}

// One line per printer, tab-separated: printer, driver, mode, where its ID would come from, the
// first problem and the file to look at.
int DiagnoseAllPrinters(bool json)
{
    ModuleBeside module;
    if (!module)
        return ExitNoModule;
    auto diagnose = module.Get<DiagnoseJobAccountFn>("DiagnoseJobAccount");
    if (!diagnose)
        return ExitNoModule;
    int status = ExitDone;
    JsonValue all = JsonValue::Array();
    for (const std::string& printer : InstalledPrinters()) {
        std::vector<DiagnosisLine> lines;
        if (!DiagnosisLines(diagnose, printer.c_str(), &lines)) {
            status = ExitFailed;
            if (json) {
                JsonValue& failed = all.Add(JsonValue::Object());
                failed.Set("printer", JsonValue::Text(printer));
                failed.Set("ok", JsonValue::Bool(false));
                failed.Set("error", JsonValue::Text("the diagnosis could not be made (error " +
                                                    std::to_string(GetLastError()) + ")"));
                continue;
            }
            std::printf("%s\t\tnone\tno ID\tthe diagnosis could not be made (error %lu)\n", printer.c_str(),
                        static_cast<unsigned long>(GetLastError()));
            continue;
        }
        if (FindLink(lines, "problem"))
            status = ExitFailed;
        if (json) {
            all.Add(DiagnosisAsJson(printer, lines));
            continue;
        }
        const DiagnosisLine* driver = FindLink(lines, "driver");
        const DiagnosisLine* mode = FindLink(lines, "mode");
        const DiagnosisLine* source = FindLastLink(lines, "ID from");
        const DiagnosisLine* problem = FindLink(lines, "problem");
        std::printf("%s\t%s\t%s\t%s\t%s\n", printer.c_str(), driver ? driver->value.c_str() : "",
                    mode ? mode->value.c_str() : "none", source ? source->value.c_str() : "no ID",
                    problem ? (problem->value + (problem->source.empty() ? "" : " (" + problem->source + ")")).c_str()
                            : "ok");
    }
    if (json)
        WriteJson(all);
    return status;
}

}  // namespace

// Takes a trailing "--json" off the arguments of the commands that answer with data.
bool TakeJsonSwitch(int* argc, char** argv)
{
    if (*argc < 3 || std::strcmp(argv[*argc - 1], "--json") != 0)
        return false;
    for (const char* command : {"drivers", "list", "diagnose"})
        if (std::strcmp(argv[1], command) == 0) {
            --*argc;
            return true;
        }
    return false;
}

int main(int argc, char** argv)
{
    const bool json = TakeJsonSwitch(&argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "read") == 0 && argv[2][0])
        return ReadAccount(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "drivers") == 0)
        return ListDrivers(json);
    if (argc == 3 && std::strcmp(argv[1], "import") == 0 && argv[2][0])
        return ImportIDFile(argv[2]);
    if ((argc == 2 || (argc == 3 && std::strcmp(argv[2], "--fixed") == 0)) && std::strcmp(argv[1], "list") == 0)
        return ListIDs(argc == 3, json);
    if (argc == 3 && std::strcmp(argv[1], "diagnose") == 0 && argv[2][0])
        return std::strcmp(argv[2], "--all") == 0 ? DiagnoseAllPrinters(json) : DiagnosePrinter(argv[2], json);
    if (argc >= 4 && std::strcmp(argv[1], "set-mode") == 0)
        return SetModeCommand(argc, argv);
    return Usage();
}
