#include "host_run.h"

#include "sandbox.h"

ProgramRun RunProgram(const std::string& program, const std::string& arguments, const std::string& directory)
{
    ProgramRun run;
    std::string outPath = directory + "out.txt", errPath = directory + "err.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + program + "\" " + arguments;
    if (CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(),
                       &startup, &process)) {
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
    return run;
}

ProgramRun RunHost(const std::string& directory, const std::string& arguments)
{
    return RunProgram(directory + "jobacct.exe", arguments, directory);
}
