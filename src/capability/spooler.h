// Owners and sized queries for the print spooler's records.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <vector>

class PrinterHandle {
public:
    PrinterHandle() = default;
    ~PrinterHandle() { Close(); }
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;

    // Opens with use access, no data type and no device mode.
    bool OpenForUse(const char* printerName);
    void Close();
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// Each query sizes its zero-filled buffer by a first call; an empty result means failure.
std::vector<BYTE> QueryPrinterDriver3(HANDLE printer);
// The printer's record of `level` (2, 4...), empty when it cannot be had or is shorter than
// `leastBytes`.
std::vector<BYTE> QueryPrinter(HANDLE printer, DWORD level, size_t leastBytes);
// The printer's jobs as JOB_INFO_1A records; `count` is how many the block holds.
std::vector<BYTE> EnumJobs1(HANDLE printer, DWORD* count);
std::vector<BYTE> EnumDrivers3(const char* server, const char* environment, DWORD* count);

inline const DRIVER_INFO_3A* AsDriver3(const std::vector<BYTE>& block)
{
    return block.size() >= sizeof(DRIVER_INFO_3A) ? reinterpret_cast<const DRIVER_INFO_3A*>(block.data())
                                                  : nullptr;
}
