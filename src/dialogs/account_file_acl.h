// The access list of the per-user account file, set by the Job Account page after it stored its
// entries. The shared file in the Windows directory, which every user without a profile here shares,
// is opened to everyone so that every process printing for them (the spooler, other sessions) can
// read and update it; a file in a user's profile is that user's, the system's and the
// administrators' alone.
#pragma once

#include <windows.h>

// An access list of two Everyone entries with GENERIC_ALL: inherit-only object inheritance, then
// container inheritance. `buffer` must hold AccountFileAclSize(everyone) bytes.
DWORD AccountFileAclSize(PSID everyone);
bool BuildAccountFileAcl(PSID everyone, ACL* buffer, DWORD size);
// An access list granting full access to the user, the system and the administrators, in this order.
// `buffer` must hold ProfileFileAclSize(...) bytes.
DWORD ProfileFileAclSize(PSID user, PSID system, PSID administrators);
bool BuildProfileFileAcl(PSID user, PSID system, PSID administrators, ACL* buffer, DWORD size);
// True when an access-allowed entry for `everyone` grants GENERIC_ALL or all standard rights.
bool AclGrantsEveryoneAll(const ACL* acl, PSID everyone);
