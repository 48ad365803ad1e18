// The export that explains a printer's job accounting: the resolver's own walk, traced.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "resolve/resolve.h"
#include "capability/trace.h"
#include "settings/export_barrier.h"
#include "settings/text.h"

namespace {

std::string Diagnose(const char* printerName)
{
    ResolveTrace trace;
    trace.Link("printer", printerName);
    JobAccountInfo* info = ResolveJobAccount(printerName, 0, &trace);
    if (!info) {
        trace.Link("answer", "no job accounting: ReadJobAccountID answers 0");
        if (trace.Problems() == 0)
            trace.Problem("the resolution ended without an answer (out of memory, or a popup could not be created)", "");
        if (trace.Incomplete())
            throw std::bad_alloc();
        return trace.Text();
    }
    char answer[64 + UserIDChars] = {};
    std::snprintf(answer, sizeof answer, "ID %lu, user \"%s\"", static_cast<unsigned long>(info->JobAccountID),
                  info->UserID);
    ReleaseJobAccountInfo(info);
    trace.Link("answer", answer);
    if (trace.Incomplete())
        throw std::bad_alloc();
    return trace.Text();
}

}  // namespace

// Fills `text` (`size` bytes) with the diagnosis of the printer, one link a line: the link's name,
// the value found and the file or registry value it came from, tab-separated, ending in CR LF.
// Lines named "problem" say what to change; the line named "answer" holds what ReadJobAccountID
// would answer. Returns the bytes the whole text needs with its terminator (0 for no printer
// name, or when memory runs out); a smaller buffer receives nothing.
extern "C" DWORD WINAPI DiagnoseJobAccount(const char* printerName, char* text, DWORD size)
{
    if (!printerName)
        return 0;
    return ExportAnswer(DWORD{0}, [&] {
        const std::string diagnosis = Diagnose(printerName);
        const DWORD needed = static_cast<DWORD>(diagnosis.size() + 1);
        if (text && size >= needed)
            std::memcpy(text, diagnosis.c_str(), needed);
        return needed;
    });
}
