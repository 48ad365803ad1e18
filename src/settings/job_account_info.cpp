#include "settings/job_account_info.h"

#include <initializer_list>

#include "settings/helpers.h"

JobAccountInfo* AllocateJobAccountInfo()
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(JobAccountInfo));
    if (!block)
        return nullptr;
    auto* info = static_cast<JobAccountInfo*>(GlobalLock(block));
    if (!info) {
        GlobalFree(block);
        return nullptr;
    }
    info->RecordHandle = block;
    return info;
}

void ReleaseJobAccountStrings(JobAccountInfo* info)
{
    if (!info)
        return;
    for (char** field : {&info->PrinterName, &info->AccountFilePath, &info->ReservedPath, &info->SettingsFilePath,
                         &info->TabTitle}) {
        FreeString(*field);
        *field = nullptr;
    }
}

void ReleaseJobAccountInfo(JobAccountInfo* info)
{
    if (!info)
        return;
    ReleaseJobAccountStrings(info);
    HGLOBAL block = info->RecordHandle;
    GlobalUnlock(block);
    GlobalFree(block);
}
