#include "resolve/spooler.h"

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

std::vector<BYTE> QueryPrinterDriver3(HANDLE printer)
{
    DWORD needed = 0;
    GetPrinterDriverA(printer, nullptr, 3, nullptr, 0, &needed);
    if (needed < sizeof(DRIVER_INFO_3A))
        return {};
    std::vector<BYTE> block(needed, 0);
    if (!GetPrinterDriverA(printer, nullptr, 3, block.data(), needed, &needed))
        return {};
    return block;
}

std::vector<BYTE> QueryPrinter(HANDLE printer, DWORD level, size_t leastBytes)
{
    DWORD needed = 0;
    GetPrinterA(printer, level, nullptr, 0, &needed);
    if (needed < leastBytes)
        return {};
    std::vector<BYTE> block(needed, 0);
    if (!GetPrinterA(printer, level, block.data(), needed, &needed))
        return {};
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
