// Stand-in for the spooler's job list, which Wine's EnumJobs never fills: while it lives, the
// module's EnumJobsA answers with the given jobs (one by default) of chosen owners, machines and
// states, in the order given. A busy spooler's list can grow between the answer that sizes it and
// the next call: the stand-in can answer "too small" that many times in each listing, each time
// asking for more than the buffer it was given.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "iat_hook.h"

struct StandInJob {
    StandInJob(std::string owner, std::string machineName = "", DWORD jobStatus = JOB_STATUS_PRINTING)
        : user(std::move(owner)), machine(std::move(machineName)), status(jobStatus)
    {
    }
    std::string user;
    std::string machine;  // empty: the job names no machine
    DWORD status;
};

class JobStandIn {
public:
    JobStandIn(HMODULE module, const std::string& user, const std::string& machine = "",
               DWORD status = JOB_STATUS_PRINTING, int growths = 0);
    JobStandIn(HMODULE module, std::vector<StandInJob> jobs);
    bool ok() const { return hook_.ok(); }

private:
    ImportHook hook_;
};
