#include "host_run.h"

#include "sandbox.h"

#include <atomic>

bool StartProgram(const char* program, const std::string& commandLine, BOOL inheritHandles, const char* directory,
                  STARTUPINFOA* startup, PROCESS_INFORMATION* process)
{
    for (int attempt = 0;; ++attempt) {
        std::string line = commandLine;  // CreateProcessA may write into its command line
        if (CreateProcessA(program, line.data(), nullptr, nullptr, inheritHandles, 0, nullptr, directory, startup,
                           process))
            return true;
        if (attempt == 4)
            return false;
        const DWORD error = GetLastError();
        Sleep(200 * (attempt + 1));
        SetLastError(error);
    }
}

ProgramRun RunProgram(const std::string& program, const std::string& arguments, const std::string& directory)
{
    ProgramRun run;
    // Each run writes files of its own, so no handle of an earlier run can stand in the way.
    static std::atomic<unsigned> runs{0};
    const std::string number = std::to_string(++runs);
    const std::string outPath = directory + "out" + number + ".txt", errPath = directory + "err" + number + ".txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    const DWORD outputError = out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    const bool started =
        StartProgram(program.c_str(), "\"" + program + "\" " + arguments, TRUE, directory.c_str(), &startup, &process);
    const DWORD startError = started ? 0 : GetLastError();
    if (started) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE)
        CloseHandle(err);
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    if (outputError)
        run.err += "(the output files in " + directory + " could not be made: error " + std::to_string(outputError) + ")\n";
    if (!started)
        run.err += "(" + program + " could not be started: error " + std::to_string(startError) + ")\n";
    return run;
}

ProgramRun RunHost(const std::string& directory, const std::string& arguments)
{
    return RunProgram(directory + "jobacct.exe", arguments, directory);
}
