#include "settings/user_account.h"

#include <cstdio>
#include <string>

#include "settings/file_handle.h"
#include "settings/registry.h"

bool CallerName(char (&name)[UNLEN + 1])
{
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) {
        name[0] = '\0';
        return false;
    }
    name[UNLEN] = '\0';
    return true;
}

bool CallerSid(std::vector<BYTE>* sid)
{
    KernelHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.receive())) {
        // Any other failure leaves the thread acting for a client whose token cannot be read; the
        // process's user would be the wrong one.
        if (GetLastError() != ERROR_NO_TOKEN || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive()))
            return false;
    }
    DWORD needed = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    if (needed < sizeof(TOKEN_USER))
        return false;
    std::vector<BYTE> buffer(needed);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &needed))
        return false;
    PSID user = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    if (!user || !IsValidSid(user))
        return false;
    const BYTE* bytes = static_cast<const BYTE*>(user);
    sid->assign(bytes, bytes + GetLengthSid(user));
    return true;
}

bool SidToText(PSID sid, char* text, DWORD* length)
{
    if (!sid || !IsValidSid(sid) || !length)
        return false;
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    DWORD subCount = *GetSidSubAuthorityCount(sid);
    DWORD needed = 28 + 12 * subCount;
    if (!text || *length < needed) {
        *length = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    int used = snprintf(text, *length, "S-%lu-", static_cast<unsigned long>(SID_REVISION));
    const BYTE* v = authority->Value;
    if (v[0] || v[1])
        used += snprintf(text + used, *length - used, "0x%02hx%02hx%02hx%02hx%02hx%02hx",
                         static_cast<unsigned short>(v[0]), static_cast<unsigned short>(v[1]),
                         static_cast<unsigned short>(v[2]), static_cast<unsigned short>(v[3]),
                         static_cast<unsigned short>(v[4]), static_cast<unsigned short>(v[5]));
    else
        used += snprintf(text + used, *length - used, "%lu",
                         static_cast<unsigned long>(v[5]) + (static_cast<unsigned long>(v[4]) << 8) +
                             (static_cast<unsigned long>(v[3]) << 16) + (static_cast<unsigned long>(v[2]) << 24));
    for (DWORD i = 0; i < subCount; ++i)
        used += snprintf(text + used, *length - used, "-%lu", static_cast<unsigned long>(*GetSidSubAuthority(sid, i)));
    return true;
}

bool GetProfileDirectory(const char* sidText, char* directory, DWORD size)
{
    if (!directory || size == 0)
        return false;
    directory[0] = '\0';
    std::string key = std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + sidText;
    RegKey profile;
    if (profile.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ) != ERROR_SUCCESS)
        return false;
    char raw[MAX_PATH] = {};
    if (!profile.ReadText("ProfileImagePath", raw, sizeof raw))
        return false;
    DWORD length = ExpandEnvironmentStringsA(raw, directory, size);
    if (length == 0 || length > size) {
        directory[0] = '\0';
        return false;
    }
    return directory[0] != '\0';
}

bool CallerProfileDirectory(char* directory, DWORD size)
{
    if (!directory || size == 0)
        return false;
    directory[0] = '\0';
    std::vector<BYTE> sid;
    char sidText[256] = {};
    DWORD sidLength = sizeof sidText;
    return CallerSid(&sid) && SidToText(sid.data(), sidText, &sidLength) &&
           GetProfileDirectory(sidText, directory, size);
}
