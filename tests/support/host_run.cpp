#include "host_run.h"

#include "sandbox.h"

#include <atomic>

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
    std::string command = "\"" + program + "\" " + arguments;
    // A loaded machine can refuse a new process for a moment; that says nothing of the program, so
    // the start is tried again, and a start that never happens is reported with its error.
    DWORD startError = ERROR_SUCCESS;
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt)
            Sleep(200 * attempt);
        std::string line = command;
        started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 directory.c_str(), &startup, &process) != FALSE;
        if (outputError)
        run.err += "(the output files in " + directory + " could not be made: error " + std::to_string(outputError) + ")\n";
    if (!started)
            startError = GetLastError();
    }
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
