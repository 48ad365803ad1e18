#include "job_standin.h"

#include <cstring>

namespace {

std::string jobUser;
std::string jobMachine;
DWORD jobStatus;
int growthsPerListing;
int growthsLeft;
DWORD lastBufferSize;

BOOL WINAPI EnumJobsStub(HANDLE, DWORD, DWORD, DWORD level, BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned)
{
    DWORD bytes = sizeof(JOB_INFO_1A) + static_cast<DWORD>(jobUser.size() + jobMachine.size() + 2);
    *needed = bytes;
    *returned = 0;
    // A call into a buffer no larger than the last one starts another listing.
    if (buffer && size <= lastBufferSize)
        growthsLeft = growthsPerListing;
    if (buffer)
        lastBufferSize = size;
    if (growthsLeft > 0 && buffer) {
        --growthsLeft;
        *needed = (size > bytes ? size : bytes) + 1024;  // jobs arrived since the last answer
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (level != 1 || !buffer || size < bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(buffer, 0, size);
    auto* job = reinterpret_cast<JOB_INFO_1A*>(buffer);
    char* strings = reinterpret_cast<char*>(buffer + sizeof(JOB_INFO_1A));
    job->JobId = 7;
    job->Status = jobStatus;
    memcpy(strings, jobUser.c_str(), jobUser.size() + 1);
    job->pUserName = strings;
    strings += jobUser.size() + 1;
    memcpy(strings, jobMachine.c_str(), jobMachine.size() + 1);
    job->pMachineName = jobMachine.empty() ? nullptr : strings;
    *returned = 1;
    return TRUE;
}

}  // namespace

JobStandIn::JobStandIn(HMODULE module, const std::string& user, const std::string& machine, DWORD status,
                       int growths)
    : hook_(module, "winspool.drv", "EnumJobsA", reinterpret_cast<void*>(&EnumJobsStub))
{
    jobUser = user;
    jobMachine = machine;
    jobStatus = status;
    growthsPerListing = growths;
    growthsLeft = growths;
    lastBufferSize = 0;
}
