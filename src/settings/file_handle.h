// Owners of the kernel handles the module opens.
#pragma once

#include <windows.h>

// A file handle opened with CreateFile: closed once, on every path.
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

// Owns a handle whose empty value is null (an access token, an event): closed once, on every path.
class KernelHandle {
public:
    KernelHandle() = default;
    ~KernelHandle()
    {
        if (handle_)
            CloseHandle(handle_);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    HANDLE get() const { return handle_; }
    // Where a function that opens one stores it.
    HANDLE* receive() { return &handle_; }

private:
    HANDLE handle_ = nullptr;
};
