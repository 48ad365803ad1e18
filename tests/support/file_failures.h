// The stand-in for file failures this platform does not give the tests: an access list that lets
// an administrator replace a file but not read it, another process holding it, a share that went
// away, a full disk. Wine's user here is root and file access lists do not hold (wine-notes), so a
// module's CreateFileA import is replaced for the stand-in's lifetime.
#pragma once

#include <windows.h>

#include <string>

#include "iat_hook.h"

class FileFailures {
public:
    // `module`: the module whose opens fail (null: the test program, with the module's code linked in).
    explicit FileFailures(HMODULE module);
    ~FileFailures();
    FileFailures(const FileFailures&) = delete;
    FileFailures& operator=(const FileFailures&) = delete;

    bool ok() const { return hook_.ok(); }
    // Opens for reading of `path` (compared without regard to case) fail with `error`.
    void FailReads(const std::string& path, DWORD error);
    // New files (CREATE_NEW, as every replacement of a file writes its temporary file) fail with `error`.
    void FailNewFiles(DWORD error);
    // How many opens failed so far.
    int Failed() const { return failed_; }

private:
    static HANDLE WINAPI Open(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile);

    static FileFailures* current_;
    std::string readPath_;
    DWORD readError_ = 0;
    DWORD newFileError_ = 0;
    int failed_ = 0;
    ImportHook hook_;
};
