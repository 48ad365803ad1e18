// Who printed the job, from where, and where that user's account file lies.
#pragma once

#include <windows.h>

#include <string>

#include "settings/job_account_info.h"
#include "settings/user_account.h"

// The owner of the job being spooled or printed on the printer (the calling user's own where
// several are), else, and always for a record of the calling user's own (JAF_CALLER), the calling user.
bool GetJobUserName(JobAccountInfo* info);
// Whether that job comes from another computer; Winsock is started only for a job that names a
// machine other than this computer by name.
bool IsRemoteJob(const char* printerName);
// Sets AccountFilePath (and on NT, through GetJobUserName, UserID); false when no memory is left
// for the path, which is then null.
bool ComposeAccountFilePath(JobAccountInfo* info);
// Dotted IPv4 address of this computer into `address` (at least 16 bytes). Asked of Winsock at
// the first call of the module's load and remembered for the rest of it.
bool GetHostAddress(char* address, DWORD size);
// The logon server of the calling user's workstation logon (empty where there is none), asked at
// the first call of the module's load and remembered for the rest of it.
bool GetLogonServer(char* server, DWORD size);
// The value of the first relative distinguished name of `type` ("CN", "T") in the text of a
// certificate name, up to the next comma outside quotes; an attribute inside another one's value
// does not count. False when the name has none.
bool FindNameAttribute(const char* name, const char* type, char* value, size_t size);
// The certificate library beside the module ("GetVexaIDDll"); empty when the path does not fit.
std::string CertificateLibraryPath();
bool CertificateMatches(const JobAccountInfo* info);
