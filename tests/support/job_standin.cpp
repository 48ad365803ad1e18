#include "job_standin.h"

#include <cstring>

namespace {

std::vector<StandInJob> listedJobs;
int growthsPerListing;
int growthsLeft;
DWORD lastBufferSize;

DWORD ListingBytes()
{
    DWORD bytes = static_cast<DWORD>(listedJobs.size() * sizeof(JOB_INFO_1A));
    for (const StandInJob& job : listedJobs)
        bytes += static_cast<DWORD>(job.user.size() + job.machine.size() + 2);
    return bytes;
}

BOOL WINAPI EnumJobsStub(HANDLE, DWORD, DWORD, DWORD level, BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned)
{
    const DWORD bytes = ListingBytes();
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
    auto* entries = reinterpret_cast<JOB_INFO_1A*>(buffer);
    char* strings = reinterpret_cast<char*>(buffer + listedJobs.size() * sizeof(JOB_INFO_1A));
    for (size_t i = 0; i < listedJobs.size(); ++i) {
        const StandInJob& job = listedJobs[i];
        JOB_INFO_1A& entry = entries[i];
        entry.JobId = static_cast<DWORD>(7 + i);
        entry.Status = job.status;
        memcpy(strings, job.user.c_str(), job.user.size() + 1);
        entry.pUserName = strings;
        strings += job.user.size() + 1;
        memcpy(strings, job.machine.c_str(), job.machine.size() + 1);
        entry.pMachineName = job.machine.empty() ? nullptr : strings;
        strings += job.machine.size() + 1;
    }
    *returned = static_cast<DWORD>(listedJobs.size());
    return TRUE;
}

}  // namespace

JobStandIn::JobStandIn(HMODULE module, const std::string& user, const std::string& machine, DWORD status,
                       int growths)
    : JobStandIn(module, {StandInJob{user, machine, status}})
{
    growthsPerListing = growths;
    growthsLeft = growths;
}

JobStandIn::JobStandIn(HMODULE module, std::vector<StandInJob> jobs)
    : hook_(module, "winspool.drv", "EnumJobsA", reinterpret_cast<void*>(&EnumJobsStub))
{
    listedJobs = std::move(jobs);
    growthsPerListing = 0;
    growthsLeft = 0;
    lastBufferSize = 0;
}
