#include "capability/spooler.h"

#include <algorithm>

bool PrinterHandle::OpenForUse(const char* printerName)
{
    Close();
    if (!printerName)
        return false;
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ACCESS_USE};
    HANDLE handle = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printerName), &handle, &defaults))
        return false;
    handle_ = handle;
    return true;
}

void PrinterHandle::Close()
{
    if (handle_)
        ClosePrinter(handle_);
    handle_ = nullptr;
}

namespace {

// Most records fit in this; a first call into a buffer of it spares the spooler the sizing call,
// which costs as much as the query itself.
const DWORD FirstGuessBytes = 4096;

// A record or list can grow between the answer that sizes it and the call that reads it (jobs
// arrive all the time on a busy spooler): asked again while it keeps growing, a few times at most.
const int MostSizings = 8;

// Calls `query(buffer, size, &needed)` into a first-guess buffer, then into one of the size the
// spooler asked for while the buffer is too small and the need grew. Empty when it fails or when
// the record the spooler would give is shorter than `leastBytes`.
template <typename Query>
std::vector<BYTE> QuerySized(size_t leastBytes, Query query)
{
    std::vector<BYTE> block(FirstGuessBytes, 0);
    for (int sizing = 0; sizing <= MostSizings; ++sizing) {
        DWORD needed = 0;
        if (query(block.data(), static_cast<DWORD>(block.size()), &needed))
            return block;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < leastBytes || needed <= block.size())
            return {};
        block.assign(needed, 0);
    }
    return {};
}

}  // namespace

std::vector<BYTE> QueryPrinterDriver3(HANDLE printer)
{
    return QuerySized(sizeof(DRIVER_INFO_3A), [printer](BYTE* buffer, DWORD size, DWORD* needed) {
        return GetPrinterDriverA(printer, nullptr, 3, buffer, size, needed) != FALSE;
    });
}

std::vector<BYTE> QueryPrinter(HANDLE printer, DWORD level, size_t leastBytes)
{
    return QuerySized(leastBytes, [printer, level](BYTE* buffer, DWORD size, DWORD* needed) {
        return GetPrinterA(printer, level, buffer, size, needed) != FALSE;
    });
}

std::vector<BYTE> EnumJobs1(HANDLE printer, DWORD* count)
{
    *count = 0;
    DWORD returned = 0;
    std::vector<BYTE> block = QuerySized(0, [printer, &returned](BYTE* buffer, DWORD size, DWORD* needed) {
        return EnumJobsA(printer, 0, 0xFFFFFFFF, 1, buffer, size, needed, &returned) != FALSE;
    });
    // The records stand at the start of the block; no more are read than it holds.
    if (!block.empty())
        *count = static_cast<DWORD>(std::min<size_t>(returned, block.size() / sizeof(JOB_INFO_1A)));
    return block;
}

std::vector<BYTE> EnumDrivers3(const char* server, const char* environment, DWORD* count)
{
    *count = 0;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPrinterDriversA(const_cast<char*>(server), const_cast<char*>(environment), 3, nullptr, 0, &needed,
                        &returned);
    if (needed == 0)
        return {};
    std::vector<BYTE> block(needed, 0);
    if (!EnumPrinterDriversA(const_cast<char*>(server), const_cast<char*>(environment), 3, block.data(),
                             needed, &needed, &returned))
        return {};
    *count = returned;
    return block;
}
