// Stand-in for the spooler's job list, which Wine's EnumJobs never fills: while it lives, the
// module's EnumJobsA answers with one job of the given owner, machine and status. A busy spooler's
// list can grow between the answer that sizes it and the next call: the stand-in can answer "too
// small" that many times in each listing, each time asking for more than the buffer it was given.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>

#include "iat_hook.h"

class JobStandIn {
public:
    JobStandIn(HMODULE module, const std::string& user, const std::string& machine = "",
               DWORD status = JOB_STATUS_PRINTING, int growths = 0);
    bool ok() const { return hook_.ok(); }

private:
    ImportHook hook_;
};
