// Stand-in for the spooler's job list, which Wine's EnumJobs never fills: while it lives, the
// module's EnumJobsA answers with one job of the given owner, machine and status.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>

#include "iat_hook.h"

class JobStandIn {
public:
    JobStandIn(HMODULE module, const std::string& user, const std::string& machine = "",
               DWORD status = JOB_STATUS_PRINTING);
    bool ok() const { return hook_.ok(); }

private:
    ImportHook hook_;
};
