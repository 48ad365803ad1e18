#include "dialogs/account_file_acl.h"

#include <cstring>
#include <memory>
#include <vector>

#include "dialogs/entry_dialogs.h"
#include "settings/account_file.h"
#include "settings/file_handle.h"
#include "settings/profile_cache.h"
#include "settings/user_account.h"

namespace {

enum : DWORD { SecurityBufferSize = 65556, StandardRightsAll = 0x001F0000 };

struct SidDeleter {
    void operator()(void* sid) const { FreeSid(sid); }
};
using OwnedSid = std::unique_ptr<void, SidDeleter>;

OwnedSid NewSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0)
{
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid))
        return OwnedSid();
    return OwnedSid(sid);
}

OwnedSid EveryoneSid() { return NewSid(SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID); }

OwnedSid SystemSid() { return NewSid(SECURITY_NT_AUTHORITY, 1, SECURITY_LOCAL_SYSTEM_RID); }

OwnedSid AdministratorsSid()
{
    return NewSid(SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
}

bool KeepsPersistentAcls(const std::string& location)
{
    if (location.size() < 3)
        return false;
    const char root[4] = {location[0], location[1], location[2], '\0'};
    DWORD fileSystemFlags = 0;
    return GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &fileSystemFlags, nullptr, 0) &&
           (fileSystemFlags & FILE_PERSISTENT_ACLS);
}

// Writes `acl` as the file's whole access list; `protect` keeps the folder's inheritable entries
// off it.
bool ReplaceAcl(HANDLE file, ACL* acl, bool protect)
{
    SECURITY_DESCRIPTOR replacement = {};
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    if (!InitializeSecurityDescriptor(&replacement, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&replacement, TRUE, acl, FALSE))
        return false;
    if (protect) {
        if (!SetSecurityDescriptorControl(&replacement, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return false;
        what |= PROTECTED_DACL_SECURITY_INFORMATION;
    }
    return SetKernelObjectSecurity(file, what, &replacement) != FALSE;
}

// The shared file: everyone may read and write it, as every user without a profile here shares it.
int OpenSharedFileToEveryone(HANDLE file)
{
    std::unique_ptr<BYTE[]> descriptor(new (std::nothrow) BYTE[SecurityBufferSize]());
    if (!descriptor)
        return -1;
    DWORD needed = 0;
    if (!GetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, descriptor.get(), SecurityBufferSize, &needed))
        return -1;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* current = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &current, &defaulted))
        return -1;

    OwnedSid everyone = EveryoneSid();
    if (!everyone)
        return -1;
    if (present && AclGrantsEveryoneAll(current, everyone.get()))
        return 1;

    DWORD aclSize = AccountFileAclSize(everyone.get());
    std::unique_ptr<BYTE[]> aclBuffer(new (std::nothrow) BYTE[aclSize]());
    if (!aclBuffer)
        return -1;
    auto* acl = reinterpret_cast<ACL*>(aclBuffer.get());
    if (!BuildAccountFileAcl(everyone.get(), acl, aclSize) || !ReplaceAcl(file, acl, false))
        return -1;
    return 1;
}

// A file in a user's profile is that user's alone, with the system and its administrators; one that
// an earlier version opened to everyone is closed again here.
int KeepProfileFileToItsUser(HANDLE file)
{
    std::vector<BYTE> user;
    OwnedSid system = SystemSid();
    OwnedSid administrators = AdministratorsSid();
    if (!CallerSid(&user) || !system || !administrators)
        return -1;
    const DWORD aclSize = ProfileFileAclSize(user.data(), system.get(), administrators.get());
    std::unique_ptr<BYTE[]> aclBuffer(new (std::nothrow) BYTE[aclSize]());
    if (!aclBuffer)
        return -1;
    auto* acl = reinterpret_cast<ACL*>(aclBuffer.get());
    if (!BuildProfileFileAcl(user.data(), system.get(), administrators.get(), acl, aclSize) || !ReplaceAcl(file, acl, true))
        return -1;
    return 1;
}

}  // namespace

DWORD AccountFileAclSize(PSID everyone)
{
    return 2 * (8 + GetLengthSid(everyone)) + 8;
}

bool BuildAccountFileAcl(PSID everyone, ACL* buffer, DWORD size)
{
    if (!InitializeAcl(buffer, size, ACL_REVISION))
        return false;
    return AddAccessAllowedAceEx(buffer, ACL_REVISION, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, GENERIC_ALL,
                                 everyone) &&
           AddAccessAllowedAceEx(buffer, ACL_REVISION, CONTAINER_INHERIT_ACE, GENERIC_ALL, everyone);
}

DWORD ProfileFileAclSize(PSID user, PSID system, PSID administrators)
{
    return 3 * 8 + GetLengthSid(user) + GetLengthSid(system) + GetLengthSid(administrators) + 8;
}

bool BuildProfileFileAcl(PSID user, PSID system, PSID administrators, ACL* buffer, DWORD size)
{
    if (!InitializeAcl(buffer, size, ACL_REVISION))
        return false;
    for (PSID sid : {user, system, administrators})
        if (!AddAccessAllowedAce(buffer, ACL_REVISION, FILE_ALL_ACCESS, sid))
            return false;
    return true;
}

bool AclGrantsEveryoneAll(const ACL* acl, PSID everyone)
{
    if (!acl)
        return false;
    ACL_SIZE_INFORMATION information = {};
    if (!GetAclInformation(const_cast<ACL*>(acl), &information, sizeof information, AclSizeInformation))
        return false;
    for (DWORD i = 0; i < information.AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), i, &entry))
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        if (!EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), everyone))
            continue;
        if ((allowed->Mask & GENERIC_ALL) || (allowed->Mask & StandardRightsAll) == StandardRightsAll)
            return true;
    }
    return false;
}

int SetAccountFileAccess(const char* path)
{
    if (!path || !path[0] || !KeepsPersistentAcls(ProfileFileLocation(path)))
        return -1;
    // The list is set through the file itself, opened without following a link.
    FileHandle file(OpenAccountFileForAccess(path, READ_CONTROL | WRITE_DAC));
    if (!file.ok())
        return -1;
    return IsSharedAccountFile(path) ? OpenSharedFileToEveryone(file.get()) : KeepProfileFileToItsUser(file.get());
}
