// Runs a program, such as the command-line host copied into a directory as an administrator's
// script would, and collects what it printed.
#pragma once

#include <windows.h>

#include <string>

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};

// CreateProcessA with `commandLine` (and `program`, or null to take it from the line), tried again
// for a moment while the platform refuses to start it: a loaded machine can refuse a new process
// briefly, which says nothing of the program. False leaves the last error of the final attempt.
bool StartProgram(const char* program, const std::string& commandLine, BOOL inheritHandles, const char* directory,
                  STARTUPINFOA* startup, PROCESS_INFORMATION* process);

// Runs `program` with `arguments` in `directory` (ending in a backslash), where its output is kept
// while it runs; waits up to two minutes. A program that could not be started has exit code
// 0xFFFFFFFF and the reason in `err`.
ProgramRun RunProgram(const std::string& program, const std::string& arguments, const std::string& directory);

// `directory` (ending in a backslash) holds jobacct.exe beside the module it loads.
ProgramRun RunHost(const std::string& directory, const std::string& arguments);
