#include "dialogs/account_file_acl.h"

#include <cstring>
#include <memory>

#include "dialogs/entry_dialogs.h"

namespace {

enum : DWORD { SecurityBufferSize = 65556, StandardRightsAll = 0x001F0000 };

struct SidDeleter {
    void operator()(void* sid) const { FreeSid(sid); }
};
using OwnedSid = std::unique_ptr<void, SidDeleter>;

OwnedSid EveryoneSid()
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid))
        return OwnedSid();
    return OwnedSid(sid);
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

int OpenAccountFileToEveryone(const char* path)
{
    if (!path || strlen(path) < 3)
        return -1;
    char root[4] = {path[0], path[1], path[2], '\0'};
    DWORD fileSystemFlags = 0;
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &fileSystemFlags, nullptr, 0) ||
        !(fileSystemFlags & FILE_PERSISTENT_ACLS))
        return -1;

    std::unique_ptr<BYTE[]> descriptor(new (std::nothrow) BYTE[SecurityBufferSize]());
    if (!descriptor)
        return -1;
    DWORD needed = 0;
    if (!GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor.get(), SecurityBufferSize, &needed))
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
    if (!BuildAccountFileAcl(everyone.get(), acl, aclSize))
        return -1;
    SECURITY_DESCRIPTOR replacement = {};
    if (!InitializeSecurityDescriptor(&replacement, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&replacement, TRUE, acl, FALSE) ||
        !SetFileSecurityA(path, DACL_SECURITY_INFORMATION, &replacement))
        return -1;
    return 1;
}
