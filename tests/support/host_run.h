// Runs a program, such as the command-line host copied into a directory as an administrator's
// script would, and collects what it printed.
#pragma once

#include <windows.h>

#include <string>

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};

// Runs `program` with `arguments` in `directory` (ending in a backslash), where its output is kept
// while it runs; waits up to two minutes.
ProgramRun RunProgram(const std::string& program, const std::string& arguments, const std::string& directory);

// `directory` (ending in a backslash) holds jobacct.exe beside the module it loads.
ProgramRun RunHost(const std::string& directory, const std::string& arguments);
