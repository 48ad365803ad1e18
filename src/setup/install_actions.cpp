// The Windows Installer package's custom actions, run deferred as the local system by msiexec,
// without any window. They work only through the installed jobacct.exe (which loads the installed
// module as a driver does), so the package switches drivers exactly as an administrator's script
// would, and they write what each step said into the installer's log.
//
// SwitchDriversAtInstall, CustomActionData "<x64 folder>|<x86 folder>|<mode>|<all drivers>|<string
// file>|<ID file>": copies the administrator's string file into both folders, puts every supporting
// driver into the mode (and records those it switched in the x64 folder's switched-drivers.txt),
// then imports the ID file into the master copy. A failed step fails the installation.
//
// KeepAdministratorsFiles and RestoreAdministratorsFiles, CustomActionData "<x64 folder>|<x86
// folder>", run around InstallFiles in an upgrade: the string file and the master copy are the
// administrator's, and an installer engine that overwrites an edited unversioned file (Wine's does,
// whatever the component's never-overwrite bit says) would otherwise put the package's defaults in
// their place.
//
// ReturnDriversAtUninstall, CustomActionData "<x64 folder>": returns every recorded driver to No
// Support. A driver that cannot be returned is reported in the log and the removal goes on, so
// that the package never stays half removed. Then the files those switches put beside the drivers
// (the module, the string file, the mode's data file) leave the drivers' folders where no installed
// driver lists them any more: the spooler keeps a file a driver no longer lists.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "settings/file_handle.h"

namespace {

const char RecordFileName[] = "switched-drivers.txt";

class MsiRecord {
public:
    explicit MsiRecord(UINT fields) : handle_(MsiCreateRecord(fields)) {}
    ~MsiRecord()
    {
        if (handle_)
            MsiCloseHandle(handle_);
    }
    MsiRecord(const MsiRecord&) = delete;
    MsiRecord& operator=(const MsiRecord&) = delete;
    MSIHANDLE get() const { return handle_; }

private:
    MSIHANDLE handle_;
};

// One line in the installer's log.
void Log(MSIHANDLE install, const std::string& text)
{
    MsiRecord record(1);
    MsiRecordSetStringA(record.get(), 0, ("zrlogext: " + text).c_str());
    MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

std::string CustomActionData(MSIHANDLE install)
{
    DWORD size = 0;
    char probe[1] = {};
    MsiGetPropertyA(install, "CustomActionData", probe, &size);
    std::vector<char> text(size + 1, '\0');
    size = static_cast<DWORD>(text.size());
    if (MsiGetPropertyA(install, "CustomActionData", text.data(), &size) != ERROR_SUCCESS)
        return std::string();
    return text.data();
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string WithBackslash(std::string folder)
{
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string ReadWholeFile(const std::string& path)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (!file.ok())
        return text;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), block, sizeof block, &got, nullptr) && got > 0)
        text.append(block, got);
    return text;
}

bool WriteWholeFile(const std::string& path, const std::string& text)
{
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.ok() && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

// The one place the package asks jobacct to switch drivers. A driver is named with its
// environment: an x86 and an x64 driver may share a name.
std::string SetModeArguments(const std::string& driver, const std::string& environment, const std::string& mode)
{
    if (driver.empty())
        return "set-mode --all " + mode;
    return "set-mode " + Quoted(driver) + (environment.empty() ? "" : " --environment " + Quoted(environment)) + " " +
           mode;
}

struct HostRun {
    bool started = false;
    DWORD exitCode = 0;
    std::string output;  // stdout and stderr together
};

// jobacct's exit code when the mode was changed but the spooler could not be started again: the
// change holds, and printing needs the computer restarted, which the log says.
const DWORD ChangedRestartNeeded = 8;

bool SetModeSucceeded(MSIHANDLE install, const HostRun& run)
{
    if (run.started && run.exitCode == ChangedRestartNeeded)
        Log(install, "the print spooler could not be restarted: restart the computer before printing");
    return run.started && (run.exitCode == 0 || run.exitCode == ChangedRestartNeeded);
}

// Runs the installed jobacct.exe with `arguments`, without a window, and collects what it printed.
HostRun RunHost(MSIHANDLE install, const std::string& folder, const std::string& arguments)
{
    HostRun run;
    char tempFolder[MAX_PATH] = {}, outputPath[MAX_PATH] = {};
    if (!GetTempPathA(sizeof tempFolder, tempFolder) || !GetTempFileNameA(tempFolder, "zrl", 0, outputPath)) {
        Log(install, "no temporary file for jobacct's output (error " + std::to_string(GetLastError()) + ")");
        return run;
    }
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        FileHandle output(CreateFileA(outputPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_TEMPORARY, nullptr));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
        PROCESS_INFORMATION process = {};
        const std::string program = folder + "jobacct.exe";
        std::string commandLine = Quoted(program) + " " + arguments;
        run.started = output.ok() && CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                                       CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &process);
        if (!run.started) {
            Log(install, "jobacct " + arguments + " could not be started (error " + std::to_string(GetLastError()) + ")");
        } else {
            WaitForSingleObject(process.hProcess, INFINITE);
            GetExitCodeProcess(process.hProcess, &run.exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    run.output = ReadWholeFile(outputPath);
    DeleteFileA(outputPath);
    if (run.started) {
        Log(install, "jobacct " + arguments + ": exit code " + std::to_string(run.exitCode));
        for (const std::string& line : Split(run.output, '\n'))
            if (!line.empty() && line != "\r")
                Log(install, "  " + line.substr(0, line.size() - (line.back() == '\r' ? 1 : 0)));
    }
    return run;
}

struct DriverMode {
    std::string name, environment, mode;
};

// The drivers `jobacct drivers` lists: name, environment and mode of each.
bool ListDrivers(MSIHANDLE install, const std::string& folder, std::vector<DriverMode>* drivers)
{
    HostRun run = RunHost(install, folder, "drivers");
    if (!run.started || run.exitCode != 0)
        return false;
    drivers->clear();
    for (std::string line : Split(run.output, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() >= 3)
            drivers->push_back({fields[0], fields[1], fields[2]});
    }
    return true;
}

// The recorded drivers, one "name<TAB>environment<TAB>mode set" line each.
std::vector<std::string> RecordedDrivers(const std::string& recordPath)
{
    std::vector<std::string> lines;
    for (std::string line : Split(ReadWholeFile(recordPath), '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

UINT SwitchDrivers(MSIHANDLE install, const std::string& folder, const std::string& mode)
{
    std::vector<DriverMode> before, after;
    if (!ListDrivers(install, folder, &before))
        return ERROR_INSTALL_FAILURE;
    HostRun run = RunHost(install, folder, SetModeArguments("", "", mode));
    // Drivers switched before a failure are recorded all the same, so that a removal returns them.
    const bool listed = ListDrivers(install, folder, &after);
    std::vector<std::string> record = RecordedDrivers(folder + RecordFileName);
    for (const DriverMode& now : after) {
        for (const DriverMode& was : before) {
            if (was.name != now.name || was.environment != now.environment || was.mode == now.mode)
                continue;
            const std::string driver = now.name + "\t" + now.environment + "\t";
            bool known = false;
            for (std::string& recorded : record) {
                // A driver switched again keeps one line, with the mode it has now.
                if (recorded.compare(0, driver.size(), driver) == 0) {
                    recorded = driver + now.mode;
                    known = true;
                }
            }
            if (!known)
                record.push_back(driver + now.mode);
        }
    }
    std::string text;
    for (const std::string& line : record)
        text += line + "\r\n";
    if (!WriteWholeFile(folder + RecordFileName, text)) {
        Log(install, "cannot record the switched drivers in " + folder + RecordFileName);
        return ERROR_INSTALL_FAILURE;
    }
    // jobacct's exit code 4 for all drivers: no driver with job accounting, so none to switch; a
    // machine without such a driver yet installs like any other.
    const DWORD noSupportingDriver = 4;
    if (!(SetModeSucceeded(install, run) || (run.started && run.exitCode == noSupportingDriver)) || !listed)
        return ERROR_INSTALL_FAILURE;
    return ERROR_SUCCESS;
}

UINT InstallSteps(MSIHANDLE install)
{
    std::vector<std::string> data = Split(CustomActionData(install), '|');
    data.resize(6);
    const std::string folder64 = WithBackslash(data[0]), folder32 = WithBackslash(data[1]);
    const std::string& mode = data[2];
    const bool allDrivers = data[3] == "1";
    const std::string &stringFile = data[4], &idFile = data[5];
    if (folder64.empty()) {
        Log(install, "no installation folder in CustomActionData");
        return ERROR_INSTALL_FAILURE;
    }
    if (!stringFile.empty()) {
        for (const std::string& folder : {folder64, folder32}) {
            if (folder.empty())
                continue;
            const std::string target = folder + "zrjobacs.str";
            if (!CopyFileA(stringFile.c_str(), target.c_str(), FALSE)) {
                Log(install, "cannot copy the string file " + stringFile + " to " + target + " (error " +
                                 std::to_string(GetLastError()) + ")");
                return ERROR_INSTALL_FAILURE;
            }
            Log(install, "string file " + stringFile + " copied to " + target);
        }
    }
    if (!mode.empty()) {
        if (!allDrivers) {
            Log(install, "MODE=" + mode + " without ALLDRIVERS=1 switches no driver");
        } else if (SwitchDrivers(install, folder64, mode) != ERROR_SUCCESS) {
            return ERROR_INSTALL_FAILURE;
        }
    }
    if (!idFile.empty()) {
        HostRun run = RunHost(install, folder64, "import " + Quoted(idFile));
        // Exit code 7: some lines were refused (each is in the log), the others imported.
        if (!run.started || (run.exitCode != 0 && run.exitCode != 7))
            return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}

// The data file a switch to the mode puts beside a driver, or "".
std::string DataFileOfMode(const std::string& mode)
{
    if (lstrcmpiA(mode.c_str(), "tab") == 0)
        return "vtjobac1.dat";
    if (lstrcmpiA(mode.c_str(), "popup") == 0)
        return "vtjobac2.dat";
    if (lstrcmpiA(mode.c_str(), "hide") == 0)
        return "vtjobac4.dat";
    return "";
}

std::string LowerFileName(const char* path)
{
    const char* slash = std::strrchr(path, '\\');
    std::string name = slash ? slash + 1 : path;
    CharLowerBuffA(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

// The lower-case file names every installed driver of the environment lists, or false.
bool ListedFileNames(const char* environment, std::vector<std::string>* names)
{
    DWORD needed = 0, returned = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, nullptr, 0, &needed, &returned);
    std::vector<BYTE> block(needed ? needed : 1);
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, block.data(), needed, &needed, &returned))
        return false;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(block.data());
    for (DWORD i = 0; i < returned; ++i) {
        for (const char* file : {drivers[i].pDriverPath, drivers[i].pDataFile, drivers[i].pConfigFile, drivers[i].pHelpFile})
            if (file)
                names->push_back(LowerFileName(file));
        for (const char* file = drivers[i].pDependentFiles; file && *file; file += std::strlen(file) + 1)
            names->push_back(LowerFileName(file));
    }
    return true;
}

void RemoveUnlistedFiles(MSIHANDLE install, const std::vector<std::string>& names)
{
    for (const char* environment : {"Windows x64", "Windows NT x86"}) {
        char directory[MAX_PATH] = {};
        DWORD needed = 0;
        std::vector<std::string> listed;
        if (!GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                                        sizeof directory - 8, &needed) ||
            !ListedFileNames(environment, &listed))
            continue;
        for (const std::string& name : names) {
            bool inUse = false;
            for (const std::string& file : listed)
                inUse = inUse || file == name;
            const std::string path = std::string(directory) + "\\3\\" + name;
            if (inUse || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            // A module still loaded by the spooler goes at the next start of the system.
            if (DeleteFileA(path.c_str()))
                Log(install, "removed " + path + ", which no driver lists");
            else if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
                Log(install, path + " is in use; it is removed when the system starts again");
            else
                Log(install, "cannot remove " + path + " (error " + std::to_string(GetLastError()) + ")");
        }
    }
}

UINT UninstallSteps(MSIHANDLE install)
{
    const std::string folder = WithBackslash(CustomActionData(install));
    const std::string recordPath = folder + RecordFileName;
    std::vector<std::string> placed = {"zrlogext.dll", "zrjobacs.str"};
    for (const std::string& line : RecordedDrivers(recordPath)) {
        const std::vector<std::string> fields = Split(line, '\t');
        HostRun run = RunHost(install, folder, SetModeArguments(fields[0], fields.size() > 1 ? fields[1] : "", "none"));
        if (!SetModeSucceeded(install, run))
            Log(install, "the driver \"" + fields[0] + "\" (" + (fields.size() > 1 ? fields[1] : "") +
                             ") could not be returned to No Support; it keeps the module among its dependent files");
        const std::string dataFile = DataFileOfMode(fields.size() > 2 ? fields[2] : "");
        if (!dataFile.empty() && std::find(placed.begin(), placed.end(), dataFile) == placed.end())
            placed.push_back(dataFile);
    }
    if (!RecordedDrivers(recordPath).empty())
        RemoveUnlistedFiles(install, placed);
    return ERROR_SUCCESS;
}

const char* const AdministratorsFiles[] = {"zrjobacs.str", "vtjobac4.dat"};
const char KeptSuffix[] = ".kept";

std::vector<std::string> Folders(MSIHANDLE install)
{
    std::vector<std::string> folders;
    for (const std::string& folder : Split(CustomActionData(install), '|'))
        if (!folder.empty())
            folders.push_back(WithBackslash(folder));
    return folders;
}

UINT KeepSteps(MSIHANDLE install)
{
    for (const std::string& folder : Folders(install)) {
        for (const char* name : AdministratorsFiles) {
            const std::string path = folder + name;
            if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            if (!CopyFileA(path.c_str(), (path + KeptSuffix).c_str(), FALSE)) {
                Log(install, "cannot keep " + path + " (error " + std::to_string(GetLastError()) + ")");
                return ERROR_INSTALL_FAILURE;
            }
            Log(install, "kept " + path);
        }
    }
    return ERROR_SUCCESS;
}

UINT RestoreSteps(MSIHANDLE install)
{
    for (const std::string& folder : Folders(install)) {
        for (const char* name : AdministratorsFiles) {
            const std::string path = folder + name, kept = path + KeptSuffix;
            if (GetFileAttributesA(kept.c_str()) == INVALID_FILE_ATTRIBUTES)
                continue;
            if (!MoveFileExA(kept.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                Log(install, "cannot put back " + path + " (error " + std::to_string(GetLastError()) + ")");
                return ERROR_INSTALL_FAILURE;
            }
            Log(install, "put back " + path);
        }
    }
    return ERROR_SUCCESS;
}

template <typename Steps>
UINT Guarded(MSIHANDLE install, Steps steps, UINT onException)
{
    try {
        return steps(install);
    } catch (...) {
        Log(install, "the step ran out of memory");
        return onException;
    }
}

}  // namespace

extern "C" UINT WINAPI SwitchDriversAtInstall(MSIHANDLE install)
{
    return Guarded(install, InstallSteps, ERROR_INSTALL_FAILURE);
}

extern "C" UINT WINAPI KeepAdministratorsFiles(MSIHANDLE install)
{
    return Guarded(install, KeepSteps, ERROR_INSTALL_FAILURE);
}

extern "C" UINT WINAPI RestoreAdministratorsFiles(MSIHANDLE install)
{
    return Guarded(install, RestoreSteps, ERROR_INSTALL_FAILURE);
}

extern "C" UINT WINAPI ReturnDriversAtUninstall(MSIHANDLE install)
{
    return Guarded(install, UninstallSteps, ERROR_SUCCESS);
}
