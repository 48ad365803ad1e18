#include "jq_run.h"

#include <windows.h>

#include "host_run.h"
#include "sandbox.h"

namespace {

// One argument of a command line as the program's runtime splits it again: backslashes are
// doubled only before a double quote, which itself is escaped.
std::string QuotedArgument(const std::string& argument)
{
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

const char ExitMark[] = "jq-exit=";

}  // namespace

JqAnswer RunJq(const std::string& document, const std::string& filter)
{
    JqAnswer answer;
    const std::string directory = FreshTestDirectory("jq");
    const std::string input = directory + "document.json", output = directory + "answer.txt";
    WriteFileBytes(input, document);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE in = CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
        answer.output = "(the files in " + directory + " could not be made)";
        return answer;
    }
    // Wine starts a Unix program named by its Unix path with the standard handles given, but hands
    // back no process handle to wait on: the shell around jq writes jq's exit status last, and that
    // line marks the end of its run.
    const std::string command = std::string("/bin/sh -c ") +
                                QuotedArgument(std::string("/usr/bin/jq -r \"$1\" 2>&1; echo \"") + ExitMark + "$?\"") +
                                " sh " + QuotedArgument(filter);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    const bool started = StartProgram(nullptr, command, TRUE, nullptr, &startup, &process);
    CloseHandle(in);
    CloseHandle(out);
    if (!started) {
        answer.output = "(/bin/sh could not be started: error " + std::to_string(GetLastError()) + ")";
        return answer;
    }
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    std::string text;
    for (DWORD waited = 0; waited < 30000; waited += 20) {
        text = ReadFileBytes(output);
        const size_t mark = text.rfind(ExitMark);
        if (mark != std::string::npos && !text.empty() && text.back() == '\n') {
            answer.finished = true;
            answer.exitCode = std::stoi(text.substr(mark + sizeof ExitMark - 1));
            answer.output = text.substr(0, mark);
            break;
        }
        Sleep(20);
    }
    if (!answer.finished)
        answer.output = text + "(jq did not finish within 30 s)";
    RemoveTree(directory);
    return answer;
}
