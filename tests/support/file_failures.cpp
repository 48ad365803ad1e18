#include "file_failures.h"

#include <gtest/gtest.h>

FileFailures* FileFailures::current_ = nullptr;

FileFailures::FileFailures(HMODULE module)
    : hook_(module, "kernel32.dll", "CreateFileA", reinterpret_cast<void*>(&FileFailures::Open))
{
    EXPECT_TRUE(hook_.ok());
    current_ = this;
}

FileFailures::~FileFailures() { current_ = nullptr; }

void FileFailures::FailReads(const std::string& path, DWORD error)
{
    readPath_ = path;
    readError_ = error;
}

void FileFailures::FailNewFiles(DWORD error) { newFileError_ = error; }

HANDLE WINAPI FileFailures::Open(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile)
{
    FileFailures* self = current_;
    DWORD error = 0;
    if (self && self->newFileError_ && disposition == CREATE_NEW)
        error = self->newFileError_;
    else if (self && self->readError_ && (access & GENERIC_READ) && name && lstrcmpiA(name, self->readPath_.c_str()) == 0)
        error = self->readError_;
    if (error) {
        ++self->failed_;
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto original = reinterpret_cast<decltype(&CreateFileA)>(self ? self->hook_.original() : nullptr);
    if (!original) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return INVALID_HANDLE_VALUE;
    }
    return original(name, access, share, security, disposition, flags, templateFile);
}
