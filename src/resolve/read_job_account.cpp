// The export printer drivers call while a job prints.
#include <windows.h>

#include "resolve/resolve.h"
#include "settings/export_barrier.h"
#include "settings/text.h"

// The driver's record: the ID, then at least 81 bytes for the user ID.
struct JobAccountResult {
    DWORD JobAccountID;
    char UserID[UserIDChars];
};

extern "C" int WINAPI ReadJobAccountID(const char* printerName, DWORD reserved, JobAccountResult* result)
{
    if (reserved != 0 || !result)
        return 0;
    return ExportAnswer(0, [&] {
        JobAccountInfo* info = ResolveJobAccount(printerName, 0);
        if (!info)
            return 0;
        result->JobAccountID = info->JobAccountID;
        CopyCut(result->UserID, info->UserID);
        ReleaseJobAccountInfo(info);
        return 1;
    });
}
