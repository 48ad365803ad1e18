// Owns a file handle opened with CreateFile: closed once, on every path.
#pragma once

#include <windows.h>

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle()
    {
        if (ok())
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes now, for a caller that needs to know whether the close (and so the last write) held.
    bool Close()
    {
        bool closed = ok() && CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};
