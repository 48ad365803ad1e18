// Opening the per-user account file to everyone, so that every process printing for the user
// (the spooler, other sessions) can read and update it.
#pragma once

#include <windows.h>

// An access list of two Everyone entries with GENERIC_ALL: inherit-only object inheritance, then
// container inheritance. `buffer` must hold AccountFileAclSize(everyone) bytes.
DWORD AccountFileAclSize(PSID everyone);
bool BuildAccountFileAcl(PSID everyone, ACL* buffer, DWORD size);
// True when an access-allowed entry for `everyone` grants GENERIC_ALL or all standard rights.
bool AclGrantsEveryoneAll(const ACL* acl, PSID everyone);
