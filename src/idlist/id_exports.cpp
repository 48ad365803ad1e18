#include "idlist/id_exports.h"

#include <cstring>

#include "idlist/id_import.h"
#include "settings/export_barrier.h"

namespace {

struct Refusals {
    IDFileRefusalFn report;
    void* context;
};

void PassOn(size_t line, int code, void* context)
{
    auto* refusals = static_cast<Refusals*>(context);
    if (refusals->report)
        refusals->report(refusals->context, static_cast<DWORD>(line), static_cast<DWORD>(code));
}

}  // namespace

extern "C" int WINAPI ImportJobAccountIDFile(const char* idFile, IDFileRefusalFn refused, void* context)
{
    if (!idFile || !idFile[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return IdImportUnreadable;
    }
    Refusals refusals{refused, context};
    return ExportAnswer(static_cast<int>(IdImportUnreadable),
                        [&] { return ImportIDFileIntoMaster(idFile, &PassOn, &refusals); });
}

extern "C" DWORD WINAPI ListJobAccountIDs(DWORD fixed, char* buffer, DWORD size)
{
    return ExportAnswer(DWORD{0}, [&] {
        const std::string text = MasterListAsIDFile(fixed != 0);
        const DWORD needed = static_cast<DWORD>(text.size() + 1);
        if (buffer && size >= needed)
            memcpy(buffer, text.c_str(), needed);
        return needed;
    });
}
